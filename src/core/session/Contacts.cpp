#include "core/session/Contacts.h"

#include "core/session/TestHooks.h"
#include "platform/Exception.h"
#include "platform/Strings.h"

namespace {

// A record's fields; like the string lists the records come from, a CR or LF
// inside a record also ends a field.
std::vector<std::string> SplitFields(const std::string& record) {
  std::vector<std::string> fields;
  std::string field;
  for (size_t i = 0; i < record.size();) {
    if (record.compare(i, 3, "{$}") == 0) {
      fields.push_back(std::move(field));
      field.clear();
      i += 3;
    } else if (record[i] == '\r' || record[i] == '\n') {
      fields.push_back(std::move(field));
      field.clear();
      i += (record[i] == '\r' && i + 1 < record.size() && record[i + 1] == '\n') ? 2 : 1;
    } else {
      field += record[i++];
    }
  }
  if (!field.empty()) fields.push_back(std::move(field));
  return fields;
}

}  // namespace

std::string StatusModeFromText(const std::string& text) {
  for (int i = 0; i < 5; ++i)
    if (text == StatusText[i]) return std::to_string(i);
  return "0";
}

bool TUserRecord::Parse(const std::string& record, TUserRecord& out) {
  const auto f = SplitFields(record);
  if (f.size() < 6) return false;
  out = {f[0], f[1], f[2], f[3], f[4], f[5]};
  return true;
}

int TUserRecord::Mode() const {
  const int mode = platform::StrToInt(StatusMode);
  return mode >= 0 && mode <= 4 ? mode : -1;
}

std::vector<std::string> SplitUserList(const std::string& text) {
  std::vector<std::string> records;
  std::string record;
  for (size_t i = 0; i < text.size();) {
    const bool lineEnd = text[i] == '\r' || text[i] == '\n';
    if (lineEnd || text.compare(i, 2, "||") == 0) {
      if (!record.empty()) records.push_back(std::move(record));
      record.clear();
      i += lineEnd && !(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 1 : 2;
    } else {
      record += text[i++];
    }
  }
  if (!record.empty()) records.push_back(std::move(record));
  return records;
}

std::string TContact::Row() const {
  return UserName + "{$}" + StatusModeFromText(Status) + "{$}" + ListenIP + "{$}" + ListenPort + "{$}" + UserID +
         "{$}" + Online;
}

// ----- TContacts ------------------------------------------------------------------

const char* TContacts::Name() const {
  switch (kind_) {
    case TContactListKind::Friends:
      return "ListF";
    case TContactListKind::Online:
      return "ListO";
    case TContactListKind::Incoming:
      break;
  }
  return "ListIn";
}

TContacts::Key TContacts::FindById(const std::string& userId) const {
  const auto it = byId_.find(userId);
  return it == byId_.end() ? 0 : it->second;
}

const TContact* TContacts::Find(Key key) const {
  const auto it = entries_.find(key);
  return it == entries_.end() ? nullptr : &it->second;
}

const TContact& TContacts::At(Key key) const {
  const TContact* c = Find(key);
  if (c == nullptr) throw platform::Exception("No contact " + std::to_string(key) + " in " + Name());
  return *c;
}

TContacts::Key TContacts::Add(TContact contact) {
  const Key key = next_++;
  byId_.emplace(contact.UserID, key);  // an id already listed keeps its first entry
  const auto it = entries_.emplace_hint(entries_.end(), key, std::move(contact));
  Added(key, it->second);
  return key;
}

void TContacts::Change(Key key, TContact contact) {
  const auto it = entries_.find(key);
  if (it == entries_.end()) return;
  const std::string oldId = it->second.UserID;
  it->second = std::move(contact);
  if (it->second.UserID != oldId) {
    IndexAgain(oldId);
    byId_.emplace(it->second.UserID, key);
    if (byId_[it->second.UserID] > key) byId_[it->second.UserID] = key;
  }
  Changed(key, it->second);
}

void TContacts::Remove(Key key) {
  const auto it = entries_.find(key);
  if (it == entries_.end()) return;
  Removed(key, it->second);
  const auto again = entries_.find(key);  // a subscriber may have changed the list
  if (again == entries_.end()) return;
  const std::string id = again->second.UserID;
  entries_.erase(again);
  IndexAgain(id);
}

void TContacts::Clear() {
  entries_.clear();
  // The index's buckets go too: a big listing replaced by a small one gives
  // its room back.
  std::unordered_map<std::string, Key>().swap(byId_);
  Cleared();
}

void TContacts::BeginUpdate() {
  if (updating_++ == 0) UpdateBegun();
}

void TContacts::EndUpdate() {
  if (updating_ == 0 || --updating_ > 0) return;
  UpdateEnded();
}

// The first remaining entry with this id takes the index over.
void TContacts::IndexAgain(const std::string& userId) {
  byId_.erase(userId);
  for (const auto& [key, contact] : entries_)
    if (contact.UserID == userId) {
      byId_.emplace(userId, key);
      return;
    }
}

// ----- filling from user lists ---------------------------------------------------------

void AddContactItem(TContacts& list, const std::string& record) {
  TUserRecord r;
  if (!TUserRecord::Parse(record, r)) return;
  TContact c{r.UserName, -1, "", r.ListenIP, r.ListenPort, r.UserID, r.Online};
  if (r.Online == "0") {
    c.Status = "Offline";
  } else if (const int mode = r.Mode(); mode >= 0) {
    c.Image = mode;
    c.Status = StatusText[mode];
  }
  list.Add(std::move(c));
}

bool ChangeContactItem(TContacts& list, TContacts::Key key, const TUserRecord& record) {
  TContact c = list.At(key);
  const std::string before = c.Status;
  if (record.StatusMode == "2" || record.Online == "0") {
    c.Image = -1;
    c.Status = "Offline";
  } else if (const int mode = record.Mode(); mode >= 0) {
    c.Image = mode;
    c.Status = StatusText[mode];
  }
  c.UserName = record.UserName;
  c.ListenIP = record.ListenIP;
  c.ListenPort = record.ListenPort;
  c.UserID = record.UserID;
  c.Online = record.Online;
  const bool changed = c.Status != before;
  list.Change(key, std::move(c));
  return changed;
}

void MarkAllOffline(TContacts& list) {
  TContactsUpdate batch(list);
  std::vector<TContacts::Key> keys;
  for (const auto& [key, contact] : list.Entries()) keys.push_back(key);
  for (const TContacts::Key key : keys) {
    TContact c = list.At(key);
    c.Image = -1;
    c.Status = "Offline";
    list.Change(key, std::move(c));
  }
}

void TraceContacts(const TContacts& list) {
  if (!testhooks::Enabled()) return;
  std::string line = std::string("list ") + list.Name() + " " + std::to_string(list.Count());
  if (list.Count() <= 20)
    for (const auto& [key, contact] : list.Entries()) line += " " + contact.UserID + "=" + contact.Status;
  testhooks::Trace(line);
}
