#pragma once

#include <string>

// The stored values the preferences dialog edits, kept once for both the
// live settings and the dialog's copy of them, so the two never disagree on
// what there is. Each field has the name of its stored value; the defaults
// are those of TReg's table, and these initial values only hold until the
// first load.
struct TStoredSettings {
  int BusyTimer = 60, WaitTimer = 60;
  bool HideAppStart = false, WindowsStart = true;
  bool AutoPChat = false, AutoPChatOnly = false, AutoInCam = false, AutoInCamOnly = false;
  bool AutoOutCam = false, AutoOutCamOnly = false;
  bool LogHistory = true, LogHistoryOnly = false, ShowMsg = true, MinMsg = false;
  std::string UserID, UserPass;
  bool RemUserPass = true, RequireStartPass = false;
  std::string StartupPass;
  bool RemStartPass = false;
  std::string ChatPort = "2959";
  bool ChatLimit = false;
  int ChatLimitCount = 10;
  bool ChatYes = true, ChatYesOnly = false;
  std::string ServerIP, ServerPort = "9961";
  bool AutoLogon = true, AutoUpdate = true;
  std::string ListenPort = "2960";
  bool AutoListen = true;

  bool operator==(const TStoredSettings&) const = default;
};

// The settings and the identity every window reads: loaded from the settings
// store (TReg) at start and written back at exit.
struct TSettings : TStoredSettings {
  // The current selections, read first at start.
  std::string CurrentProfile, CurrentGroup = "General", AwayText, UnavText;
  int StatusMode = 0;

  // Not stored as such: set as the program runs.
  bool HasUserID = false;  // an account id exists
  std::string UserName;    // of the current profile
  std::string ListenIP;    // the own address as the directory server sees it
  bool NoVideoDevice = false, DirectXMissing = false;
  bool AdmitNextViewer = false;  // the next cam viewer is let in without a question
  bool UpdateCheck = false;      // the user asked for the update check

  // CurrentProfile, CurrentGroup, StatusMode, AwayText and UnavText; the session then runs Load.
  void LoadCurrentSelections();
  // The other settings. A StatusMode outside 0..4 is logged and read as 0.
  void Load();
  // What the program changes while it runs; the account password only while
  // it is remembered. Raises when the store cannot be written.
  void Save() const;
};
