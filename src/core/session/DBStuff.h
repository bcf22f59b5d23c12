#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Dataset.h"

class TTimer;

// What TDBStuff needs of the session around it. Each hook is optional; the
// session fills them in when it creates the module.
struct TDBStuffHooks {
  // One error-log entry (load failures, a profile save refused at exit).
  std::function<void(const std::string& message)> LogError;
  // The session's CurrentProfile and user name, and the profile list shown.
  std::function<void(const std::string& profileName)> SetCurrentProfile;
  std::function<void(const std::string& userName)> SetUserName;
  std::function<void()> RefreshProfileList;
  // One friends-list item: caption, then the sub-items Status, IP, Port, ID, Online.
  std::function<void(const std::string& caption, const std::vector<std::string>& subItems)> AddFriendItem;
  // The progress window while a history is cleared, and the closing notice.
  std::function<void(const std::string& caption, const std::string& text, int maximum)> ShowProgress;
  std::function<void(int position)> SetProgress;
  std::function<void()> HideProgress;
  std::function<void(const std::string& text, const std::string& caption)> ShowInformation;
};

// The program's three local tables (profiles, instant-message history and
// friends), each kept in its own file in the data folder, and the builder of
// the profile record that travels to the directory server and to peers.
//
// Look-ups match whole ids and names, never a leading part of them.
class TDBStuff {
 public:
  static constexpr const char* kProfilesFile = "Profiles.cds";
  static constexpr const char* kHistoryFile = "History.cds";
  static constexpr const char* kFriendsFile = "friends.cds";

  // Loads the three tables from dataFolder (created when missing). A missing
  // file gives an empty table; an unreadable one is kept aside and logged.
  explicit TDBStuff(const std::filesystem::path& dataFolder, TDBStuffHooks hooks = {});
  // Writes all three tables back, as the program's last act on them, unless
  // SaveAtExit did.
  ~TDBStuff();
  // The same at once, when the program starts to end: what follows may take
  // long, and whatever is still open may be cut off by a hard stop.
  void SaveAtExit();
  TDBStuff(const TDBStuff&) = delete;
  TDBStuff& operator=(const TDBStuff&) = delete;

  platform::Dataset Profiles;
  platform::Dataset History;
  platform::Dataset Friends;

  // Profiles. They are stored as typed; what would break a record or a frame
  // is taken out only of the texts built for the wire.
  void SaveProfiles();
  void NewProfile(const std::string& name);
  // Appends a row named `name` to a profiles table, its other fields as a
  // new profile starts.
  static void AppendProfile(platform::Dataset& profiles, const std::string& name);
  std::string ListProfileNames();
  void SelectProfile(const std::string& name);
  std::string BuildProfileRecord(const std::string& profileName, const std::string& userId,
                                 const std::string& group, int statusMode, const std::string& listenPort,
                                 const std::string& greeting);
  std::string ProfileField(const std::string& profileName, const std::string& fieldName);
  std::string BusyMessage() const;
  std::string ProfileGreeting() const;

  // Friends.
  std::string FriendIdList();
  // False (nothing stored) for an id that is empty or could break a frame.
  bool AddFriend(const std::string& userId, const std::string& userName, const std::string& listenIP,
                 const std::string& listenPort);
  // Stores as AddFriend does, but only for a friend already stored, and
  // writes the file soon after (kFriendsSaveDelayMs), only when a stored
  // field changed.
  void UpdateFriend(const std::string& userId, const std::string& userName, const std::string& listenIP,
                    const std::string& listenPort);
  void DeleteFriend(const std::string& userId);
  bool IsFriend(const std::string& userId);
  // A friend calling from the address the directory server last gave for it
  // (the stored ListenIP). Any record can claim a friend's id: from anywhere
  // else, the caller is a stranger.
  bool IsFriendAt(const std::string& userId, const std::string& address);
  std::string CurrentFriendID() const;
  void ShowFriendsOffline();

  // History.
  void AddHistory(const std::string& userId, const std::string& userName, const std::string& timeDay,
                  const std::string& message);
  void FilterHistory(const std::string& userId);
  void SaveHistory();
  void ClearHistory(const std::string& userId);

  // How long a changed friend waits to be written: the server may repeat a
  // friend's record thousands of times a second, and every change gathered
  // meanwhile costs one write of the file.
  static constexpr int kFriendsSaveDelayMs = 500;

  const std::filesystem::path& ProfilesFileName() const { return profilesFile_; }
  const std::filesystem::path& HistoryFileName() const { return historyFile_; }
  const std::filesystem::path& FriendsFileName() const { return friendsFile_; }

 private:
  void LocateProfile(const std::string& name);
  void SaveFriends();
  void SaveFriendsSoon();
  void SaveChangedFriends();
  void SaveAll();
  void Log(const std::string& message) const;

  TDBStuffHooks hooks_;
  std::filesystem::path profilesFile_;
  std::filesystem::path historyFile_;
  std::filesystem::path friendsFile_;
  std::unique_ptr<TTimer> friendsSave_;
  bool friendsChanged_ = false;
  bool savedAtExit_ = false;
};

extern TDBStuff* DBStuff;
