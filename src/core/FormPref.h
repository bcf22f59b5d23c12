#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "core/session/Preferences.h"

class QCheckBox;
class QComboBox;
class QKeyEvent;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class TSession;

// "Parlo - Preferences": every setting of the session in nine pages, the
// event sounds and the blocked users. It reads the stored values when it
// opens; Apply writes back what the user changed (TPreferences). The blocked
// page is read from its file when the dialog opens; a removal takes effect at once.
class TFormPref : public QWidget {
  Q_OBJECT

 public:
  // The open one to the front, or a new one (not modal; it frees itself when closed).
  static TFormPref* ActionPrefExecute(TSession& session);

  explicit TFormPref(TSession& session, QWidget* parent = nullptr);
  ~TFormPref() override;

  TSession& Session;
  // Message boxes; tests replace it.
  std::function<void(const std::string& text, const std::string& caption)> ShowMessage;

  QTreeWidget* Tree;
  QStackedWidget* Page;
  QPushButton *Button1, *Button2, *SpeedButton2;
  QSpinBox *UpDownBusy, *UpDownWait;
  QRadioButton *RadioShow, *RadioHideApp;
  QCheckBox* CheckWinStart;
  QCheckBox* CheckNoSound;
  QTreeWidget* ListSound;
  QComboBox* ComboSounds;
  QToolButton *SpeedPreview, *SpeedApply;
  QCheckBox *CheckAutoPChat, *CheckAutoPChatOnly, *CheckAutoInCam, *CheckAutoInCamOnly, *CheckAutoOutCam,
      *CheckAutoOutCamOnly;
  QTreeWidget* ListBlocked;
  QPushButton* SpeedBlocked;
  QCheckBox *CheckLogHistory, *CheckLogHistoryOnly, *CheckShowMsg, *CheckMinMsg;
  QLineEdit *EditUserID, *EditUserPass, *EditStartPass;
  QCheckBox *CheckRemUserPass, *CheckRequireStartPass, *CheckRemStartPass;
  QCheckBox* CheckChatLimit;
  QSpinBox* UpDownChat;
  QLineEdit* EditChatPort;
  QCheckBox *CheckChatYes, *CheckChatYesOnly;
  QLineEdit *EditServerIP, *EditServerPort, *EditListenPort;
  QCheckBox *CheckAutoLogon, *CheckAutoUpdate, *CheckAutoListen;

  void LoadPreferences();
  void LoadBlockedList();
  void FillSoundChoices();
  void FillSoundEvents();
  // What the controls hold now, as it would be stored.
  TPreferenceValues Edited() const;

  // Apply: false (nothing written, the dialog stays) when the password is refused.
  bool Button1Click();
  void TreeChange();
  // Each master check box: what depends on it is usable exactly while it is on.
  void CheckAutoPChatClick();
  void CheckAutoInCamClick();
  void CheckAutoOutCamClick();
  void CheckLogHistoryClick();
  void CheckShowMsgClick();
  void CheckChatYesClick();
  void CheckRequireStartPassClick();
  void CheckChatLimitClick();
  void CheckNoSoundClick();
  void ListSoundClick();
  void SpeedApplyClick();
  void SpeedPreviewClick();
  void ListBlockedClick();
  void SpeedBlockedClick();
  // True when the key is consumed.
  bool EditUserPassKeyPress(QKeyEvent* key);

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  QWidget* AddPage(const char* entry);
  void AddSoundChoice(const std::string& name);
  void SetEventSound(QTreeWidgetItem* item, const QByteArray& name);
  TPreferenceValues shown_;
};
