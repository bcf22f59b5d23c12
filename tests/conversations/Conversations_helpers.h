#pragma once

#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <string>
#include <vector>

#include "conversations/Transcript.h"
#include "conversations/TranscriptControl.h"

namespace testing_support {

// A transcript that keeps what is written into it. Text is held with each
// picture as one character (0x01), so positions count as the control's do.
class TRecordingTranscript : public TTranscript, public TTranscriptAttributes, public TTranscriptLines {
 public:
  std::string Text;
  std::vector<platform::TFont> Fonts;  // one per character of Text
  std::vector<std::string> Pictures;   // the files, in order
  int SelStart = 0, SelLength = 0;
  bool Modified = false;
  bool OnlyAppended = true;  // every insertion went to the end
  platform::TFont Attributes;

  // The text with its looks: *bold*, _underlined_, {n} for picture n.bmp,
  // and "(t)" in place of each header's clock.
  std::string Marked() const;

  int GetTextLen() override { return static_cast<int>(Text.size()); }
  void SetSelStart(int position) override;
  void SetSelLength(int length) override { SelLength = length; }
  void SetSelText(const std::string& text) override;
  TTranscriptAttributes& GetSelAttributes() override { return *this; }
  void Assign(const platform::TFont& font) override { Attributes = font; }
  void InsertImageFromFile(const std::string& fileName) override;
  void SetModified(bool modified) override { Modified = modified; }
  bool GetModified() override { return Modified; }
  TTranscriptLines& GetLines() override { return *this; }
  void SaveToFile(const platform::FileName& fileName) override;
  bool CanCopy() override { return SelLength > 0; }
  void CopyToClipboard() override {}
  void CutToClipboard() override {}
  void SelectAll() override;
};

// The widget a test factory hands the windows.
class TRecordingTranscriptWidget : public QWidget {
 public:
  using QWidget::QWidget;
  TRecordingTranscript Transcript;
};

// Installs a factory of recording widgets for the life of the object.
struct TRecordingFactory {
  TRecordingFactory();
  ~TRecordingFactory();
};

// tests/support/peer.py running a JSON script, either calling a port or
// listening for one caller (then Port() is the port it took). The event loop
// runs while a test waits for it.
class TScriptedPeer {
 public:
  enum Mode { Call, Listen };
  TScriptedPeer(Mode mode, int port, const std::string& scriptJson);
  ~TScriptedPeer();
  int Port() const { return port_; }
  // Waits for the script to end; true when every step passed. Output() (its
  // last lines) says why not.
  bool Passed(int ms = 15000);
  std::string Output();

 private:
  QTemporaryDir dir_;
  QProcess process_;
  std::string output_;
  int port_ = 0;
};

}  // namespace testing_support
