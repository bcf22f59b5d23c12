#include "Conversations_helpers.h"

#include <gtest/gtest.h>

#include <QFile>
#include <cstdlib>
#include <regex>

#include "platform/EventLoop.h"
#include "platform/Exception.h"
#include "platform/FileNames.h"

namespace testing_support {

std::string TRecordingTranscript::Marked() const {
  static const std::regex clock(R"(\(\d{1,2}:\d\d [AP]M\))");
  return std::regex_replace(marked_, clock, "(t)");
}

void TRecordingTranscript::SetSelText(const std::string& text) {
  OnlyAppended = OnlyAppended && SelStart == Length && SelLength == 0;
  // A looked run that ends its line is marked before the line break.
  const bool lineEnd = text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
  const char* mark = Attributes.Bold ? "*" : Attributes.Underline ? "_" : "";
  marked_ += mark + text.substr(0, text.size() - (lineEnd ? 2 : 0)) + mark + (lineEnd ? "\r\n" : "");
  Plain += text;
  text_ += text;
  Fonts.push_back(Attributes);
  SelStart = Length += static_cast<int>(text.size());
}

void TRecordingTranscript::InsertImageFromFile(const std::string& fileName) {
  OnlyAppended = OnlyAppended && SelStart == Length;
  const std::size_t slash = fileName.find_last_of('\\') + 1;
  marked_ += "{" + fileName.substr(slash, fileName.size() - slash - 4) + "}";
  Pictures.push_back(fileName);
  text_ += '\x01';
  SelStart = ++Length;
}

std::string TRecordingTranscript::Text(const std::function<std::string(const std::string&)>& picture) {
  std::string text;
  std::size_t next = 0;
  for (char c : text_) text += c != '\x01' ? std::string(1, c) : picture(platform::ExtractFileName(Pictures[next++]));
  return text;
}

TRecordingFactory::TRecordingFactory() {
  SetTranscriptFactory([](QWidget* parent) {
    auto* widget = new TRecordingTranscriptWidget(parent);
    return TTranscriptControl{widget, widget};
  });
}

TScriptedPeer::TScriptedPeer(Mode mode, int port, const std::string& scriptJson) : port_(port) {
  const char* source = std::getenv("PARLO_SOURCE_DIR");
  QFile script(dir_.filePath("script.json"));
  if (!script.open(QIODevice::WriteOnly) || script.write(scriptJson.data(), static_cast<qint64>(scriptJson.size())) < 0)
    ADD_FAILURE() << "cannot write the peer's script";
  script.close();
  QStringList args{QString::fromStdString(std::string(source ? source : ".") + "/tests/support/peer.py")};
  if (mode == Listen) args << "--listen";
  args << "127.0.0.1" << QString::number(port) << script.fileName();
  process_.setProcessChannelMode(QProcess::MergedChannels);
  process_.start("python3", args);
  if (mode != Listen) return;
  while (!process_.canReadLine() && process_.waitForReadyRead(10000)) {
  }
  const QStringList ready = QString::fromLatin1(process_.readLine()).trimmed().split(' ');
  if (ready.size() == 2 && ready[0] == "listening") port_ = ready[1].toInt();
  else ADD_FAILURE() << "the scripted peer does not listen";
}

TScriptedPeer::~TScriptedPeer() {
  process_.kill();
  process_.waitForFinished(5000);
}

bool TScriptedPeer::Passed(int ms) {
  platform::ProcessMessagesUntil([&] { return process_.state() == QProcess::NotRunning; }, ms);
  return process_.state() == QProcess::NotRunning && process_.exitStatus() == QProcess::NormalExit &&
         process_.exitCode() == 0;
}

std::string TScriptedPeer::Output() {
  const std::string out = process_.readAll().toStdString();
  return out.size() <= 2000 ? out : "..." + out.substr(out.size() - 2000);
}

}  // namespace testing_support
