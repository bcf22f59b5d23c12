#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The member list of a room window, as both the host and the members keep
// it: one row per room user record, kept sorted by user name without case
// (ties in the order added), the host's own row among them.
//
// On the host each row belongs to the connection it came in on (`Owner`,
// the member's connection object; null for the host's own row), so a member
// who claims someone else's id can neither take that row out nor lose it.
//
// A list may be bounded: no more than so many rows, and no more than so many
// bytes of what they cost (Cost). A row past either bound is not added.
class TRoomMembers {
 public:
  struct Row {
    std::string UserName, Status, IP, ListenPort, UserID, Online;
    std::string Record;  // the whole room user record
    int Image = -1;      // the StatusMode picture, -1 for none
    const void* Owner = nullptr;
  };

  TRoomMembers() = default;
  TRoomMembers(int maxRows, std::int64_t maxBytes) : maxRows_(maxRows), maxBytes_(maxBytes) {}

  // Adds the record's row and says where it went; nothing (nothing added)
  // for a record of fewer than six fields, or when the row would pass a
  // bound (counted in Refused). Offline ("0") shows "Offline" without
  // picture; a status outside 0..4 shows neither text nor picture.
  std::optional<int> Add(const std::string& record, const void* owner = nullptr);
  // Takes out the row of this connection and says where it was; nothing
  // when it has none.
  std::optional<int> RemoveOwned(const void* owner);
  // A member's copy of the room: the first row holding exactly this record,
  // else the first row with its user id. The removed row is copied to
  // `removed`. Nothing for a record of fewer than six fields or no such row.
  std::optional<int> RemoveRecord(const std::string& record, Row* removed = nullptr);
  // Every row goes, with the room it took; the count of refused rows starts again.
  void Clear();

  const std::vector<Row>& Rows() const { return rows_; }
  int Count() const { return static_cast<int>(rows_.size()); }
  const Row* Owned(const void* owner) const;
  // The records in list order, for the full list a member asks for.
  std::vector<std::string> Records() const;

  // What a row costs to keep and show: kRoomRowBytes and its fields' bytes.
  static std::int64_t Cost(const Row& row);
  std::int64_t Bytes() const { return bytes_; }
  // Rows left out for a bound since the list was last cleared.
  int Refused() const { return refused_; }

 private:
  std::vector<Row> rows_;
  int maxRows_ = std::numeric_limits<int>::max();
  std::int64_t maxBytes_ = std::numeric_limits<std::int64_t>::max();
  std::int64_t bytes_ = 0;
  int refused_ = 0;
};

// The name under which a room shows and relays one who logged on as `name`
// with `userId`, beside those already in it (`present`: each one's name and
// id, the host's among them). The name as it came, unless a present name
// looks like it, or a present id stands for the same number; then the name
// with " (2)", " (3)" ... as the first free one, cut so that the mark shows
// where a window cuts names. Names look alike when they read the same in a
// list: case, blanks and invisible characters aside. Ids stand for the same
// number when they differ only by blanks, invisible characters, a "+" or
// leading zeros.
std::string DistinctRoomName(const std::string& name, const std::string& userId,
                             const std::vector<std::pair<std::string, std::string>>& present);
