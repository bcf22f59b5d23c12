#include "core/session/Settings.h"

#include "core/session/ErrorLog.h"
#include "core/session/Reg.h"

void TSettings::LoadCurrentSelections() {
  CurrentProfile = TReg::ReadSettingString("CurrentProfile");
  CurrentGroup = TReg::ReadSettingString("CurrentGroup");
  StatusMode = TReg::ReadSettingInteger("StatusMode");
  AwayText = TReg::ReadSettingString("AwayText");
  UnavText = TReg::ReadSettingString("UnavText");
}

void TSettings::Load() {
  BusyTimer = TReg::ReadSettingInteger("BusyTimer");
  WaitTimer = TReg::ReadSettingInteger("WaitTimer");
  HideAppStart = TReg::ReadSettingBool("HideAppStart");
  WindowsStart = TReg::ReadSettingBool("WindowsStart");
  AutoPChat = TReg::ReadSettingBool("AutoPChat");
  AutoPChatOnly = TReg::ReadSettingBool("AutoPChatOnly");
  AutoInCam = TReg::ReadSettingBool("AutoInCam");
  AutoInCamOnly = TReg::ReadSettingBool("AutoInCamOnly");
  AutoOutCam = TReg::ReadSettingBool("AutoOutCam");
  AutoOutCamOnly = TReg::ReadSettingBool("AutoOutCamOnly");
  LogHistory = TReg::ReadSettingBool("LogHistory");
  LogHistoryOnly = TReg::ReadSettingBool("LogHistoryOnly");
  ShowMsg = TReg::ReadSettingBool("ShowMsg");
  MinMsg = TReg::ReadSettingBool("MinMsg");
  UserID = TReg::ReadSettingString("UserID");
  HasUserID = !UserID.empty();
  StatusMode = TReg::ReadSettingInteger("StatusMode");
  UserPass = TReg::ReadSettingString("UserPass");
  RemUserPass = TReg::ReadSettingBool("RemUserPass");
  RequireStartPass = TReg::ReadSettingBool("RequireStartPass");
  StartupPass = TReg::ReadSettingString("StartupPass");
  RemStartPass = TReg::ReadSettingBool("RemStartPass");
  ChatPort = TReg::ReadSettingString("ChatPort");
  ChatLimit = TReg::ReadSettingBool("ChatLimit");
  ChatLimitCount = TReg::ReadSettingInteger("ChatLimitCount");
  ChatYes = TReg::ReadSettingBool("ChatYes");
  ChatYesOnly = TReg::ReadSettingBool("ChatYesOnly");
  ServerIP = TReg::ReadSettingString("ServerIP");
  ServerPort = TReg::ReadSettingString("ServerPort");
  AutoLogon = TReg::ReadSettingBool("AutoLogon");
  AutoUpdate = TReg::ReadSettingBool("AutoUpdate");
  ListenPort = TReg::ReadSettingString("ListenPort");
  AutoListen = TReg::ReadSettingBool("AutoListen");
  // The status travels to the server, which drops a link that sends one it
  // does not know: a damaged value would lock the user out for good.
  if (StatusMode < 0 || StatusMode > 4) {
    LogError("None", "None", "Setting StatusMode " + std::to_string(StatusMode) + " is no status; Available is used");
    StatusMode = 0;
  }
}

void TSettings::Save() const {
  const auto s = TReg::SettingsSection;
  TReg::WriteString(s, "UserID", UserID);
  if (RemUserPass) TReg::WriteString(s, "UserPass", UserPass);
  TReg::WriteString(s, "CurrentProfile", CurrentProfile);
  TReg::WriteString(s, "CurrentGroup", CurrentGroup);
  TReg::WriteString(s, "ListenPort", ListenPort);
  TReg::WriteString(s, "ListenIP", ListenIP);
  TReg::WriteString(s, "ServerIP", ServerIP);
  TReg::WriteString(s, "ServerPort", ServerPort);
  TReg::WriteInteger(s, "StatusMode", StatusMode);
  TReg::WriteString(s, "AwayText", AwayText);
  TReg::WriteString(s, "UnavText", UnavText);
}
