#pragma once

#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <string>
#include <vector>

#include "conversations/Transcript.h"
#include "conversations/TranscriptControl.h"

namespace testing_support {

// A transcript that keeps what is appended to it.
class TRecordingTranscript : public TTranscript, public TTranscriptAttributes, public TTranscriptLines {
 public:
  std::string Plain;                   // the text, pictures left out
  std::vector<std::string> Pictures;   // their files, in order
  std::vector<platform::TFont> Fonts;  // of each run
  int Length = 0, SelStart = 0, SelLength = 0;
  bool Modified = false, OnlyAppended = true;
  platform::TFont Attributes;

  // The text with its looks: *bold*, _underlined_, {n} for picture n.bmp,
  // and "(t)" for each header's clock.
  std::string Marked() const;

  int GetTextLen() override { return Length; }
  void SetSelStart(int position) override { SelStart = position, SelLength = 0; }
  void SetSelLength(int length) override { SelLength = length; }
  void SetSelText(const std::string& text) override;
  TTranscriptAttributes& GetSelAttributes() override { return *this; }
  void Assign(const platform::TFont& font) override { Attributes = font; }
  void InsertImageFromFile(const std::string& fileName) override;
  void SetModified(bool modified) override { Modified = modified; }
  bool GetModified() override { return Modified; }
  TTranscriptLines& GetLines() override { return *this; }
  std::string Text(const std::function<std::string(const std::string&)>& picture) override;
  bool CanCopy() override { return SelLength > 0; }
  void CopyToClipboard() override {}
  void CutToClipboard() override {}
  void SelectAll() override { SelStart = 0, SelLength = Length; }

 private:
  std::string marked_;
  std::string text_;  // the text with '\x01' where each picture stands
};

// What a test factory hands the windows.
struct TRecordingTranscriptWidget : QWidget, TRecordingTranscript {
  using QWidget::QWidget;
};

// Installs a factory of recording transcripts for the life of the object.
struct TRecordingFactory {
  TRecordingFactory();
  ~TRecordingFactory() { SetTranscriptFactory(nullptr); }
};

// tests/support/peer.py running a JSON script, calling a port or listening
// for one caller (Port() is then the port it took).
class TScriptedPeer {
 public:
  enum Mode { Call, Listen };
  TScriptedPeer(Mode mode, int port, const std::string& scriptJson);
  ~TScriptedPeer();
  int Port() const { return port_; }
  // Runs the event loop until the script ends; true when every step passed.
  bool Passed(int ms = 15000);
  // The end of the peer's report: which step failed and why.
  std::string Output();

 private:
  QTemporaryDir dir_;
  QProcess process_;
  int port_ = 0;
};

}  // namespace testing_support
