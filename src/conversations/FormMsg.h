#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "conversations/MessageConversation.h"
#include "platform/Font.h"

class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class TChatStatusBar;
class TEmoticonPicker;
class TSession;
class TTranscript;

// The instant-message window: the transcript, the input, the emoticon picker
// and the contact's commands around a TMessageConversation. One window per
// conversation ("FormMsg"); it frees itself when closed, and a message that
// arrives afterwards opens a new one.
class TFormMsg : public QWidget, public TMessageView {
  Q_OBJECT

 public:
  static constexpr int kHelpTopic = 5;

  explicit TFormMsg(TSession& session);
  ~TFormMsg() override;

  TMessageConversation& Conversation() { return *conversation_; }

  // TMessageView
  void ShowPeerText(const std::string& text) override;
  void PeerTextArrived() override;
  void ShowOwnText(const std::string& text) override;
  void SetCaption(const std::string& caption) override;
  void ShowStatus(const std::string& text, int image) override;
  void ShowInformation(const std::string& text, const std::string& caption) override;

  // What the user does.
  void SendMessage();
  void InsertEmoteCode(int entry);
  void ActionEmoteExecute();
  void FontButtonClick();
  void ActionMyFontExecute();
  void ActionPeerFontExecute();
  void ActionHelpExecute();
  void BlockButtonClick();
  void ActionAddFriendExecute();
  void ActionViewProfileExecute();
  void ActionFilesOutExecute();
  void ActionImgOutExecute();
  void ActionSoundOutExecute();

  QWidget* Memo;            // the transcript control
  TTranscript* Transcript;  // its operations
  QPlainTextEdit* MemoGo;
  TChatStatusBar* Stat;
  TEmoticonPicker* PEm;
  QPushButton *BlockButton, *EmoteButton, *FontButton, *FriendButton, *ProfButton, *SpeedButton1, *SpeedButton2;
  QTimer* Timer1;  // flashes the taskbar button until the window is in front
  platform::TFont Client, Peer;

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void BuildWindow();
  QWidget* BuildButtons();
  QWidget* BuildSideButtons();
  void WriteMessage(const std::string& name, const std::string& time, platform::TFont& font,
                    const std::string& text);
  void ShowCharacterCount(const QString& text);
  // The input's keys: Tab and Enter as it is pressed, the rest once released.
  bool MemoGoKeyPress(QEvent* e);
  bool MemoGoKeyUp(QEvent* e);
  // Nothing is typed into the transcript.
  bool MemoKeyPress(QEvent* e);

  TSession& session_;
  std::unique_ptr<TMessageConversation> conversation_;
  std::string iconsFolder_;
  QLabel* ImgLogo_ = nullptr;
  QMenu* PopFonts = nullptr;
  bool shown_ = false;
};
