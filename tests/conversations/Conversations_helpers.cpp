#include "Conversations_helpers.h"

#include <gtest/gtest.h>

#include <QFile>
#include <cstdlib>
#include <regex>

#include "platform/EventLoop.h"
#include "platform/Exception.h"

namespace testing_support {

std::string TRecordingTranscript::Marked() const {
  std::string out;
  std::size_t picture = 0;
  for (std::size_t i = 0; i < Text.size();) {
    if (Text[i] == '\x01') {
      const std::string& file = Pictures.at(picture++);
      const std::size_t slash = file.find_last_of('\\');
      out += "{" + file.substr(slash + 1, file.size() - slash - 5) + "}";
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < Text.size() && Text[j] != '\x01' && Fonts[j] == Fonts[i]) ++j;
    std::string run = Text.substr(i, j - i);
    // A looked run that ends its line is marked before the line break.
    std::string end;
    if (run.size() >= 2 && run.compare(run.size() - 2, 2, "\r\n") == 0) {
      run.resize(run.size() - 2);
      end = "\r\n";
    }
    const char* mark = Fonts[i].Bold ? "*" : Fonts[i].Underline ? "_" : "";
    out += mark + run + mark + end;
    i = j;
  }
  static const std::regex clock(R"(\(\d{1,2}:\d\d [AP]M\))");
  return std::regex_replace(out, clock, "(t)");
}

void TRecordingTranscript::SetSelStart(int position) {
  SelStart = std::clamp(position, 0, GetTextLen());
  SelLength = 0;
}

void TRecordingTranscript::SetSelText(const std::string& text) {
  if (SelStart != GetTextLen()) OnlyAppended = false;
  Text.replace(static_cast<std::size_t>(SelStart), static_cast<std::size_t>(SelLength), text);
  Fonts.erase(Fonts.begin() + SelStart, Fonts.begin() + SelStart + SelLength);
  Fonts.insert(Fonts.begin() + SelStart, text.size(), Attributes);
  SelStart += static_cast<int>(text.size());
  SelLength = 0;
}

void TRecordingTranscript::InsertImageFromFile(const std::string& fileName) {
  if (SelStart != GetTextLen()) OnlyAppended = false;
  Pictures.push_back(fileName);
  Text.insert(Text.begin() + SelStart, '\x01');
  Fonts.insert(Fonts.begin() + SelStart, Attributes);
  ++SelStart;
}

void TRecordingTranscript::SaveToFile(const platform::FileName& fileName) {
  std::string plain;
  for (char c : Text)
    if (c != '\x01') plain += c;
  if (plain.size() < 2 || plain.compare(plain.size() - 2, 2, "\r\n") != 0) plain += "\r\n";
  QFile file(QString::fromStdString(fileName.Path().string()));
  if (!file.open(QIODevice::WriteOnly) || file.write(plain.data(), static_cast<qint64>(plain.size())) < 0)
    throw platform::EStreamError("Cannot write " + fileName.Display());
}

void TRecordingTranscript::SelectAll() {
  SelStart = 0;
  SelLength = GetTextLen();
}

TRecordingFactory::TRecordingFactory() {
  SetTranscriptFactory([](QWidget* parent) {
    auto* widget = new TRecordingTranscriptWidget(parent);
    return TTranscriptControl{widget, &widget->Transcript};
  });
}

TRecordingFactory::~TRecordingFactory() { SetTranscriptFactory(nullptr); }

TScriptedPeer::TScriptedPeer(Mode mode, int port, const std::string& scriptJson) {
  const char* source = std::getenv("PARLO_SOURCE_DIR");
  const QString peer = QString::fromStdString(std::string(source ? source : ".") + "/tests/support/peer.py");
  const QString script = dir_.filePath("script.json");
  QFile file(script);
  if (!file.open(QIODevice::WriteOnly)) ADD_FAILURE() << "cannot write the peer's script";
  file.write(scriptJson.data(), static_cast<qint64>(scriptJson.size()));
  file.close();
  QStringList args{peer};
  if (mode == Listen) args << "--listen";
  args << "127.0.0.1" << QString::number(port) << script;
  process_.setProcessChannelMode(QProcess::MergedChannels);
  process_.start("python3", args);
  if (!process_.waitForStarted(10000)) ADD_FAILURE() << "the scripted peer did not start";
  port_ = port;
  if (mode != Listen) return;
  while (!process_.canReadLine() && process_.waitForReadyRead(10000)) {
  }
  if (!process_.canReadLine()) {
    ADD_FAILURE() << "the scripted peer does not listen";
    return;
  }
  const QStringList ready = QString::fromLatin1(process_.readLine()).trimmed().split(' ');
  if (ready.size() == 2 && ready[0] == "listening") port_ = ready[1].toInt();
  else ADD_FAILURE() << "unexpected first line from the scripted peer";
}

TScriptedPeer::~TScriptedPeer() {
  if (process_.state() != QProcess::NotRunning) {
    process_.kill();
    process_.waitForFinished(5000);
  }
}

bool TScriptedPeer::Passed(int ms) {
  platform::ProcessMessagesUntil([&] { return process_.state() == QProcess::NotRunning; }, ms);
  return process_.state() == QProcess::NotRunning && process_.exitStatus() == QProcess::NormalExit &&
         process_.exitCode() == 0;
}

std::string TScriptedPeer::Output() {
  output_ += process_.readAll().toStdString();
  // The steps quote what they send; the end says what failed.
  return output_.size() <= 2000 ? output_ : "..." + output_.substr(output_.size() - 2000);
}

}  // namespace testing_support
