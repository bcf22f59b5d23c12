#include "chatrooms/RoomMembers.h"

#include <QString>
#include <algorithm>
#include <cctype>
#include <set>

#include "core/session/Contacts.h"
#include "core/session/PeerBounds.h"
#include "platform/Charset.h"

namespace {

// Letters compare without case, and at a tie the lower-case name comes first,
// as the platform's list views sort their captions.
bool NameBefore(const std::string& a, const std::string& b) {
  const auto fold = [](unsigned char c) { return std::tolower(c); };
  const auto swap = [](unsigned char c) { return std::islower(c) ? std::toupper(c) : std::tolower(c); };
  const auto less = [](auto key) {
    return [key](char x, char y) { return key(static_cast<unsigned char>(x)) < key(static_cast<unsigned char>(y)); };
  };
  if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), less(fold))) return true;
  if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), less(fold))) return false;
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), less(swap));
}

bool Invisible(QChar c) {
  return c.category() == QChar::Other_Control || c.category() == QChar::Other_Format;
}

// A name as a reader of the list tells it from others: as far as a window
// shows it, without what does not show, blanks as one, case aside.
QString NameLook(const std::string& name) {
  QString look = platform::ToQString(CutPeerText(name, peerbounds::kShownName));
  look.removeIf(Invisible);
  return look.simplified().toCaseFolded();
}

// Past what a window shows, an id is no one's to imitate; and a crowd's ids
// of tens of kilobytes cost each newcomer no more than short ones.
QString IdLook(const std::string& id) {
  QString look = platform::ToQString(CutPeerText(id, peerbounds::kShownName));
  look.removeIf([](QChar c) { return c.isSpace() || Invisible(c); });
  qsizetype lead = 0;
  while (lead < look.size() && (look[lead] == u'+' || look[lead] == u'0')) ++lead;
  return look.mid(lead).toCaseFolded();
}

bool IsBlankOrInvisible(char c) {
  const QChar shown(platform::CodePointFromAnsi(static_cast<unsigned char>(c)));
  return shown.isSpace() || Invisible(shown);
}

}  // namespace

std::string DistinctRoomName(const std::string& name, const std::string& userId,
                             const std::vector<std::pair<std::string, std::string>>& present) {
  std::set<QString> names;
  bool sameId = false;
  const QString id = IdLook(userId);
  for (const auto& [presentName, presentId] : present) {
    names.insert(NameLook(presentName));
    sameId = sameId || IdLook(presentId) == id;
  }
  if (!sameId && names.count(NameLook(name)) == 0) return name;
  // The mark goes after what shows of the name, never after blanks or
  // invisible characters that would set it apart by their look alone.
  const auto first = std::find_if_not(name.begin(), name.end(), IsBlankOrInvisible);
  const auto last = std::find_if_not(name.rbegin(), std::make_reverse_iterator(first), IsBlankOrInvisible).base();
  const std::string base(first, last);
  // Each name present takes at most one number: one of these is free.
  for (std::size_t n = 2;; ++n) {
    const std::string mark = " (" + std::to_string(n) + ")";
    const std::size_t room = peerbounds::kShownName - mark.size();
    const std::string candidate = base.empty() ? mark.substr(1) : base.substr(0, room) + mark;
    if (names.count(NameLook(candidate)) == 0) return candidate;
  }
}

std::optional<int> TRoomMembers::Add(const std::string& record, const void* owner) {
  TUserRecord r;
  if (!TUserRecord::Parse(record, r)) return std::nullopt;
  Row row{r.UserName, "", r.ListenIP, r.ListenPort, r.UserID, r.Online, record, -1, owner};
  const int mode = r.Mode();
  if (r.Online == "0") {
    row.Status = "Offline";
  } else if (mode >= 0) {
    row.Image = mode;
    row.Status = StatusText[mode];
  }
  const std::int64_t cost = Cost(row);
  if (Count() >= maxRows_ || cost > maxBytes_ - bytes_) {
    ++refused_;
    return std::nullopt;
  }
  bytes_ += cost;
  const auto at = std::upper_bound(rows_.begin(), rows_.end(), row.UserName,
                                   [](const std::string& name, const Row& other) { return NameBefore(name, other.UserName); });
  const auto added = rows_.insert(at, std::move(row));
  return static_cast<int>(added - rows_.begin());
}

std::optional<int> TRoomMembers::RemoveOwned(const void* owner) {
  const auto at = std::find_if(rows_.begin(), rows_.end(), [owner](const Row& r) { return r.Owner == owner; });
  if (owner == nullptr || at == rows_.end()) return std::nullopt;
  const int index = static_cast<int>(at - rows_.begin());
  bytes_ -= Cost(*at);
  rows_.erase(at);
  return index;
}

std::optional<int> TRoomMembers::RemoveRecord(const std::string& record, Row* removed) {
  TUserRecord r;
  if (!TUserRecord::Parse(record, r)) return std::nullopt;
  auto at = std::find_if(rows_.begin(), rows_.end(), [&](const Row& row) { return row.Record == record; });
  if (at == rows_.end())
    at = std::find_if(rows_.begin(), rows_.end(), [&](const Row& row) { return row.UserID == r.UserID; });
  if (at == rows_.end()) return std::nullopt;
  if (removed != nullptr) *removed = *at;
  const int index = static_cast<int>(at - rows_.begin());
  bytes_ -= Cost(*at);
  rows_.erase(at);
  return index;
}

const TRoomMembers::Row* TRoomMembers::Owned(const void* owner) const {
  for (const Row& row : rows_)
    if (row.Owner == owner) return &row;
  return nullptr;
}

std::vector<std::string> TRoomMembers::Records() const {
  std::vector<std::string> records;
  records.reserve(rows_.size());
  for (const Row& row : rows_) records.push_back(row.Record);
  return records;
}

void TRoomMembers::Clear() {
  // Swapped out, not cleared: a crowd's rows leave their room behind otherwise.
  std::vector<Row>().swap(rows_);
  bytes_ = 0;
  refused_ = 0;
}

std::int64_t TRoomMembers::Cost(const Row& row) {
  std::int64_t bytes = peerbounds::kRoomRowBytes;
  for (const std::string* field : {&row.UserName, &row.Status, &row.IP, &row.ListenPort, &row.UserID, &row.Online,
                                   &row.Record})
    bytes += static_cast<std::int64_t>(field->size());
  return bytes;
}
