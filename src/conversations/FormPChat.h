#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "conversations/PrivateChat.h"
#include "platform/Font.h"

class QAction;
class TCamPictureLabel;
class TCamRoutes;
class TChatCam;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class TChatStatusBar;
class TEmoticonPicker;
class TParloSocket;
class TSession;
class TSoundPicker;
class TTranscript;

// The private chat window: the system lines, the transcript, the input, the
// pickers and the buttons around a TPrivateChat that owns the link. One window
// per conversation; it frees itself when closed and never reconnects.
class TFormPChat : public QWidget, public TPrivateChatView {
  Q_OBJECT

 public:
  // Side A passes a new socket, side B the one its listener accepted.
  TFormPChat(TSession& session, std::unique_ptr<TParloSocket> socket);
  ~TFormPChat() override;

  TPrivateChat& Chat() { return *chat_; }
  // The webcam channel, once the program's cam routes are known; null before.
  void AttachCam(TCamRoutes& routes);
  TChatCam* Cam() { return cam_.get(); }

  void SetOwnProfile(const std::string& record);
  // Side A: "Attempting connection to" the peer, then the connection.
  void ConnectToPeer(const std::string& peerName, const std::string& addr, const std::string& port);
  // Side B: shows the window and answers the caller's record.
  void AcceptIncomingChat(const std::string& peerRecord);

  // TPrivateChatView
  void AddSystemLine(const std::string& text) override;
  void SetCaption(const std::string& caption) override;
  void SetPanel(int panel, const std::string& text) override;
  void ShowPeerText(const std::string& text) override;
  void ShowOwnText(const std::string& text) override;
  void ShowInformation(const std::string& text, const std::string& caption) override;

  // What the user does.
  void SendText();
  void InsertEmoteCode(int entry);
  void SendChatSound(int index);
  void ShowEmoticons();
  void ShowSounds();
  // "Save Chat Session": false when cancelled or not written.
  bool SaveChat();
  void ActionMyFontExecute();
  void ActionPeerFontExecute();
  void BlockClick();
  void ActionAddFriendExecute();
  void ActionViewProfileExecute();
  void ActionHelpExecute();
  // "binary", "image" or "sound".
  void SendFileToPeer(const std::string& kind);

  // The question on closing a transcript with messages, and the save dialog;
  // tests answer in their place. False for "No" and when cancelled.
  std::function<bool()> AskSaveChat;
  std::function<bool(std::string& fileName)> AskSaveName;

  QPlainTextEdit* MemoSys;
  QWidget* Memo;            // the transcript control
  TTranscript* Transcript;  // its operations
  QPlainTextEdit* MemoGo;
  TChatStatusBar* Stat;
  TEmoticonPicker* PEm;
  TSoundPicker* PSound;
  QPushButton *ButtonEmote, *ButtonSounds, *ButtonFonts, *ButtonBlock, *ButtonSend;
  QTimer* Timer1;  // flashes the taskbar button until the window is in front
  TCamPictureLabel* ImgCam;
  QLabel* StatCam;
  QPushButton *ButtonSendCam, *ButtonSaveCam;
  platform::TFont Client, Peer;

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void BuildWindow();
  QWidget* BuildButtons();
  QWidget* BuildSideButtons();
  void BuildMenus();
  void WriteMessage(const std::string& name, platform::TFont& font, const std::string& text);
  // The input's keys: Tab and Enter as it is pressed, the rest once released.
  bool MemoGoKeyPress(QEvent* e);
  bool MemoGoKeyUp(QEvent* e);
  // Nothing is typed into the transcript.
  bool MemoKeyPress(QEvent* e);
  void ShowCharacterCount(const QString& text);
  void PopEditPopup(const QPoint& at);
  void PopEdit2Popup(const QPoint& at);

  TSession& session_;
  std::unique_ptr<TPrivateChat> chat_;
  std::unique_ptr<TChatCam> cam_;
  std::string iconsFolder_;
  QLabel* ImgLogo_ = nullptr;
  QMenu* PopFonts = nullptr;
  bool shown_ = false;
};
