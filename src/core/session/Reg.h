#pragma once

#include <string>

// Default of one value of the "Settings" section; type 'S' string, 'I' integer,
// 'B' boolean ("0"/"1").
struct TSettingDefault {
  const char* Name;
  char Type;
  const char* Value;
};

#ifndef PARLO_DEFAULT_SERVER_IP
#define PARLO_DEFAULT_SERVER_IP "127.0.0.1"
#endif

inline constexpr TSettingDefault SettingDefaults[] = {
    {"BusyTimer", 'I', "60"},          {"WaitTimer", 'I', "60"},
    {"HideAppStart", 'B', "0"},        {"WindowsStart", 'B', "1"},
    {"NoSound", 'B', "0"},             {"InTextMsgWav", 'S', "textin.wav"},
    {"OutTextMsgWav", 'S', "textout.wav"}, {"InPChatRequestWav", 'S', "incoming.wav"},
    {"InPChatTextWav", 'S', "textin.wav"}, {"OutPChatTextWav", 'S', "textout.wav"},
    {"PChatClosedWav", 'S', "closed.wav"}, {"FileInRequestWav", 'S', "transfer.wav"},
    {"FileDoneWav", 'S', "complete.wav"}, {"FriendWav", 'S', "friend.wav"},
    {"AutoPChat", 'B', "0"},           {"AutoPChatOnly", 'B', "0"},
    {"AutoInCam", 'B', "0"},           {"AutoInCamOnly", 'B', "0"},
    {"AutoOutCam", 'B', "0"},          {"AutoOutCamOnly", 'B', "0"},
    {"LogHistory", 'B', "1"},          {"LogHistoryOnly", 'B', "0"},
    {"ShowMsg", 'B', "1"},             {"MinMsg", 'B', "0"},
    {"UserID", 'S', ""},               {"StatusMode", 'I', "0"},
    {"UserPass", 'S', ""},             {"RemUserPass", 'B', "1"},
    {"RequireStartPass", 'B', "0"},    {"StartupPass", 'S', ""},
    {"RemStartPass", 'B', "0"},        {"ChatPort", 'S', "2959"},
    {"ChatLimit", 'B', "0"},           {"ChatLimitCount", 'I', "10"},
    {"ChatYes", 'B', "1"},             {"ChatYesOnly", 'B', "0"},
    {"ServerIP", 'S', PARLO_DEFAULT_SERVER_IP}, {"ServerPort", 'S', "9961"},
    {"AutoLogon", 'B', "1"},           {"AutoUpdate", 'B', "1"},
    {"ListenPort", 'S', "2960"},       {"AutoListen", 'B', "1"},
    {"ListenIP", 'S', ""},             {"CurrentProfile", 'S', ""},
    {"CurrentGroup", 'S', "General"},  {"AwayText", 'S', ""},
    {"UnavText", 'S', ""},
};

// The settings store. It keeps nothing itself: every operation opens its key in
// the user's settings afresh, so it works before (and without) any instance, and a
// value written anywhere is what the next read sees.
//
// Reads never create anything. A value stored with another type than the one read
// is logged and read as the default, so that one bad value cannot stop the
// program from starting. Writes that cannot be saved raise
// platform::ERegistryException.
class TReg {
 public:
  static constexpr const char* SettingsSection = "Settings";
  static constexpr const char* FontsSection = "Settings\\Fonts";

  static std::string KeyPath();

  static std::string ReadString(const std::string& section, const std::string& name, const std::string& def);
  static int ReadInteger(const std::string& section, const std::string& name, int def);
  static bool ReadBool(const std::string& section, const std::string& name, bool def);
  static void WriteString(const std::string& section, const std::string& name, const std::string& value);
  static void WriteInteger(const std::string& section, const std::string& name, int value);
  static void WriteBool(const std::string& section, const std::string& name, bool value);

  // A value of the "Settings" section read with its default from SettingDefaults;
  // raises platform::Exception for a name that has none.
  static std::string ReadSettingString(const std::string& name);
  static int ReadSettingInteger(const std::string& name);
  static bool ReadSettingBool(const std::string& name);
  static const TSettingDefault& SettingDefault(const std::string& name);

  // Starting with the desktop session: an autostart entry of this home's own
  // that runs this program. Homes side by side each have theirs.
  static void SetRunAtStartup(bool on);
  // True when this home's entry is there and starts this home.
  static bool RunsAtStartup();
};
