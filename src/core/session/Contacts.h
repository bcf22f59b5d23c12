#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Signal.h"

// The status texts every list of the program shows, by StatusMode.
inline constexpr const char* StatusText[5] = {"Available", "Busy", "Invisible", "Away", "Unavailable"};

// A status text back to its StatusMode digit; any other text ("Offline" and
// the empty text among them) gives "0". Case matters.
std::string StatusModeFromText(const std::string& text);

// One user of a UserRecord ("id{$}name{$}online{$}status{$}ip{$}port"), read
// once at the edge. Fields the server left out read as empty.
struct TUserRecord {
  std::string UserID, UserName, Online, StatusMode, ListenIP, ListenPort;

  // Nothing when the record has fewer than six fields.
  static bool Parse(const std::string& record, TUserRecord& out);
  // The StatusMode's decimal value ("03" is 3) when it is 0..4, or -1 for
  // another number; raises platform::EConvertError for a StatusMode that is
  // no number (the directory link then logs and ends the link).
  int Mode() const;
};

// The records of a UserList ("rec||rec||..."), which a line break also ends;
// empty pieces are skipped.
std::vector<std::string> SplitUserList(const std::string& text);

// One contact as a list shows it. The status picture and text are kept as
// written, not derived from a status mode: the writers decide how an offline,
// invisible or unknown state looks.
struct TContact {
  std::string UserName;
  int Image = -1;       // the StatusMode picture 0..4, or -1 for none
  std::string Status;   // the status text shown: a StatusText, "Offline" or ""
  std::string ListenIP, ListenPort, UserID;
  std::string Online;   // "1" online, "0" offline, as the server wrote it

  // Online means exactly "1", whatever the status text says.
  bool IsOnline() const { return Online == "1"; }
  // The ContactRow: "name{$}status digit{$}ip{$}port{$}id{$}online".
  std::string Row() const;
  bool operator==(const TContact&) const = default;
};

// The three lists of the main window.
enum class TContactListKind { Friends, Online, Incoming };

// One contact list: the friends, the chosen group's listing or the users who
// sent a message. Entries keep the order they were added in (the views sort
// them); each has a key that stays its own while it lives, and the user id
// finds the first entry added with it (a server may list one twice).
//
// Views follow the events. Between BeginUpdate and EndUpdate a view may hold
// its redraw back: the changes of a whole listing then arrive as one batch.
class TContacts {
 public:
  using Key = std::uint64_t;

  explicit TContacts(TContactListKind kind) : kind_(kind) {}
  TContacts(const TContacts&) = delete;
  TContacts& operator=(const TContacts&) = delete;

  TContactListKind Kind() const { return kind_; }
  // "ListF", "ListO" or "ListIn", as the main window names the list.
  const char* Name() const;

  int Count() const { return static_cast<int>(entries_.size()); }
  // The first entry with this user id; 0 when none.
  Key FindById(const std::string& userId) const;
  // Null for a key that is not (or no longer) in the list.
  const TContact* Find(Key key) const;
  const TContact& At(Key key) const;  // the key must be in the list
  // Every entry in the order added.
  const std::map<Key, TContact>& Entries() const { return entries_; }

  Key Add(TContact contact);
  void Change(Key key, TContact contact);
  void Remove(Key key);
  void Clear();

  // Nested pairs count once; EndUpdate without BeginUpdate does nothing.
  void BeginUpdate();
  void EndUpdate();
  bool Updating() const { return updating_ > 0; }

  // Each with the entry as it stands (Removed: before it goes).
  platform::TSignal<Key, TContact> Added;
  platform::TSignal<Key, TContact> Changed;
  platform::TSignal<Key, TContact> Removed;
  platform::TSignal<> Cleared;     // raised after every entry went
  platform::TSignal<> UpdateBegun;
  platform::TSignal<> UpdateEnded;

 private:
  void IndexAgain(const std::string& userId);

  TContactListKind kind_;
  std::map<Key, TContact> entries_;
  std::unordered_map<std::string, Key> byId_;
  Key next_ = 1;
  int updating_ = 0;
};

// Ends a batch however the scope is left.
class TContactsUpdate {
 public:
  explicit TContactsUpdate(TContacts& list) : list_(list) { list_.BeginUpdate(); }
  ~TContactsUpdate() { list_.EndUpdate(); }
  TContactsUpdate(const TContactsUpdate&) = delete;
  TContactsUpdate& operator=(const TContactsUpdate&) = delete;

 private:
  TContacts& list_;
};

// A group listing or friends' states merged into `list`: a record whose user
// id is already there goes to `update`, any other is added while the list
// holds fewer than `limit` entries. One batch, which ends also when `update`
// raises. Returns the number of records left out for the limit.
template <class UpdateFn>
int MergeUserList(TContacts& list, const std::string& userList, UpdateFn&& update,
                  int limit = std::numeric_limits<int>::max());

// Adds one record (nothing for a record of fewer than six fields). A user who
// is offline shows "Offline"; one the server lists as online shows the status
// it gives, "Invisible" too. An unknown status gets no picture and no text
// (the columns after it stay in place); one that is no number raises.
void AddContactItem(TContacts& list, const std::string& record);

// The entry takes the record's name, address and state: offline or invisible
// shows "Offline", an unknown status leaves picture and text as they were.
// True when the status text changed.
bool ChangeContactItem(TContacts& list, TContacts::Key key, const TUserRecord& record);

// Every entry without picture and with the status "Offline"; the other
// fields, the online flag among them, stay.
void MarkAllOffline(TContacts& list);

// For the end-to-end tests: "list <name> <count>" and, for short lists, each
// entry's "id=status".
void TraceContacts(const TContacts& list);

template <class UpdateFn>
int MergeUserList(TContacts& list, const std::string& userList, UpdateFn&& update, int limit) {
  TContactsUpdate batch(list);
  int dropped = 0;
  for (const std::string& record : SplitUserList(userList)) {
    const auto sep = record.find("{$}");
    const std::string key = sep == std::string::npos ? std::string() : record.substr(0, sep);
    if (list.FindById(key) != 0) update(record);
    else if (list.Count() < limit) AddContactItem(list, record);
    else ++dropped;
  }
  return dropped;
}
