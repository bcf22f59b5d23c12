#include "core/session/Preferences.h"

#include "core/session/ErrorLog.h"
#include "core/session/Reg.h"
#include "core/session/Registration.h"
#include "core/session/Session.h"

namespace {

void Write(const char* name, int value) { TReg::WriteInteger(TReg::SettingsSection, name, value); }
void Write(const char* name, bool value) { TReg::WriteBool(TReg::SettingsSection, name, value); }
void Write(const char* name, const std::string& value) { TReg::WriteString(TReg::SettingsSection, name, value); }

// Writes one changed value; a failure is kept for the user and the rest go on.
class TWriter {
 public:
  template <class T>
  bool Put(const char* name, const T& shown, const T& edited) {
    if (shown == edited) return false;
    try {
      Write(name, edited);
      return true;
    } catch (const std::exception& e) {
      Fail(std::string("The setting ") + name + " could not be saved: " + e.what());
      return false;
    }
  }
  void Fail(const std::string& problem) {
    LogError("None", "None", problem);
    Problems.push_back(problem);
  }
  std::vector<std::string> Problems;
};

// The nine event sounds, in SoundEvent order.
void SaveSoundEvents(TWriter& w, TSession& session, const TPreferenceValues& shown, const TPreferenceValues& edited) {
  for (int i = 0; i < SoundEventCount; ++i) {
    const auto n = static_cast<size_t>(i);
    if (w.Put(SoundEvent[i].Value, shown.Sounds[n], edited.Sounds[n])) session.Paths().EventSounds[n] = edited.Sounds[n];
  }
}

}  // namespace

TPreferenceValues TPreferences::Read() {
  TPreferenceValues v;
  v.BusyTimer = TReg::ReadSettingInteger("BusyTimer");
  v.WaitTimer = TReg::ReadSettingInteger("WaitTimer");
  v.HideAppStart = TReg::ReadSettingBool("HideAppStart");
  v.WindowsStart = TReg::ReadSettingBool("WindowsStart");
  v.NoSound = TReg::ReadSettingBool("NoSound");
  for (int i = 0; i < SoundEventCount; ++i) v.Sounds[static_cast<size_t>(i)] = TReg::ReadSettingString(SoundEvent[i].Value);
  v.AutoPChat = TReg::ReadSettingBool("AutoPChat");
  v.AutoPChatOnly = TReg::ReadSettingBool("AutoPChatOnly");
  v.AutoInCam = TReg::ReadSettingBool("AutoInCam");
  v.AutoInCamOnly = TReg::ReadSettingBool("AutoInCamOnly");
  v.AutoOutCam = TReg::ReadSettingBool("AutoOutCam");
  v.AutoOutCamOnly = TReg::ReadSettingBool("AutoOutCamOnly");
  v.LogHistory = TReg::ReadSettingBool("LogHistory");
  v.LogHistoryOnly = TReg::ReadSettingBool("LogHistoryOnly");
  v.ShowMsg = TReg::ReadSettingBool("ShowMsg");
  v.MinMsg = TReg::ReadSettingBool("MinMsg");
  v.UserID = TReg::ReadSettingString("UserID");
  v.RemUserPass = TReg::ReadSettingBool("RemUserPass");
  if (v.RemUserPass) v.UserPass = TReg::ReadSettingString("UserPass");
  v.RequireStartPass = TReg::ReadSettingBool("RequireStartPass");
  v.StartupPass = TReg::ReadSettingString("StartupPass");
  v.RemStartPass = TReg::ReadSettingBool("RemStartPass");
  v.ChatPort = TReg::ReadSettingString("ChatPort");
  v.ChatLimit = TReg::ReadSettingBool("ChatLimit");
  v.ChatLimitCount = TReg::ReadSettingInteger("ChatLimitCount");
  v.ChatYes = TReg::ReadSettingBool("ChatYes");
  v.ChatYesOnly = TReg::ReadSettingBool("ChatYesOnly");
  v.ServerIP = TReg::ReadSettingString("ServerIP");
  v.ServerPort = TReg::ReadSettingString("ServerPort");
  v.AutoLogon = TReg::ReadSettingBool("AutoLogon");
  v.AutoUpdate = TReg::ReadSettingBool("AutoUpdate");
  v.ListenPort = TReg::ReadSettingString("ListenPort");
  v.AutoListen = TReg::ReadSettingBool("AutoListen");
  return v;
}

std::optional<TPreferenceProblem> TPreferences::Validate(const TPreferenceValues& v) {
  if (v.UserID.empty() || !v.RemUserPass) return std::nullopt;
  // The key filter lets letters and digits through; a pasted password may
  // hold more, only nothing that would end or split the log-on frame.
  if (v.UserPass.size() >= 6 && v.UserPass.size() <= 20 && TRegistration::FitsTheLogon(v.UserPass))
    return std::nullopt;
  return TPreferenceProblem{
      "Passwords must be between 6 and 20 characters long and contain only letters or numbers.",
      kInvalidPasswordCaption};
}

std::vector<std::string> TPreferences::SavePreferences(TSession& session, const TPreferenceValues& shown,
                                                       const TPreferenceValues& edited) {
  TWriter w;
  TSettings& live = session.Settings;
  auto setting = [&](const char* name, auto TStoredSettings::*value) {
    if (w.Put(name, shown.*value, edited.*value)) live.*value = edited.*value;
  };
  using S = TStoredSettings;
  setting("BusyTimer", &S::BusyTimer);
  setting("WaitTimer", &S::WaitTimer);
  setting("HideAppStart", &S::HideAppStart);
  setting("WindowsStart", &S::WindowsStart);
  // The entry follows the box even when the box did not change: it may have
  // been removed or damaged outside the program.
  try {
    TReg::SetRunAtStartup(edited.WindowsStart);
  } catch (const std::exception& e) {
    w.Fail(std::string("Starting Parlo with the desktop could not be ") + (edited.WindowsStart ? "set up" : "turned off") +
           ": " + e.what());
  }
  if (w.Put("NoSound", shown.NoSound, edited.NoSound)) session.Paths().NoSound = edited.NoSound;
  SaveSoundEvents(w, session, shown, edited);
  setting("AutoPChat", &S::AutoPChat);
  setting("AutoPChatOnly", &S::AutoPChatOnly);
  setting("AutoInCam", &S::AutoInCam);
  setting("AutoInCamOnly", &S::AutoInCamOnly);
  setting("AutoOutCam", &S::AutoOutCam);
  setting("AutoOutCamOnly", &S::AutoOutCamOnly);
  setting("LogHistory", &S::LogHistory);
  setting("LogHistoryOnly", &S::LogHistoryOnly);
  setting("ShowMsg", &S::ShowMsg);
  setting("MinMsg", &S::MinMsg);
  if (w.Put("UserID", shown.UserID, edited.UserID)) {
    live.UserID = edited.UserID;
    live.HasUserID = !edited.UserID.empty();
    session.IdentityChanged();
  }
  setting("RemUserPass", &S::RemUserPass);
  setting("UserPass", &S::UserPass);
  setting("RequireStartPass", &S::RequireStartPass);
  setting("RemStartPass", &S::RemStartPass);
  setting("StartupPass", &S::StartupPass);
  setting("ChatPort", &S::ChatPort);
  setting("ChatLimit", &S::ChatLimit);
  setting("ChatLimitCount", &S::ChatLimitCount);
  setting("ChatYes", &S::ChatYes);
  setting("ChatYesOnly", &S::ChatYesOnly);
  setting("ServerIP", &S::ServerIP);
  setting("ServerPort", &S::ServerPort);
  setting("AutoLogon", &S::AutoLogon);
  setting("AutoUpdate", &S::AutoUpdate);
  setting("ListenPort", &S::ListenPort);
  setting("AutoListen", &S::AutoListen);
  // The main window takes the values as they are now stored. The status is
  // the one the user chose and the server was told, stored or not: reading
  // it back would change it without telling anyone.
  const int status = live.StatusMode;
  session.LoadSettings();
  live.StatusMode = status;
  return w.Problems;
}
