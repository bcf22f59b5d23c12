#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Exception.h"

namespace platform {

// A dataset operation that the dataset's state does not allow (editing with no
// row, an unknown field name, setting a field outside edit or insert).
class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

// One fixed-size text field. Values are 8-bit text cut to `size` bytes.
struct FieldDef {
  std::string name;
  std::size_t size = 0;
  std::string defaultValue;  // given to a row when it is appended
};

// A small in-memory table of text rows with a cursor, an optional equality
// filter on one field, and load/save of the whole table to one file.
//
// The cursor only ever rests on rows the filter lets through; navigation,
// RecordCount and RecNo see those rows alone. Append and Edit open a row
// buffer that Post writes back and Cancel drops; moving the cursor, changing
// the filter or saving posts a pending buffer first.
class Dataset {
 public:
  enum class State { Browse, Edit, Insert };
  enum class LoadResult { Loaded, Missing, Replaced };
  using LogFn = std::function<void(const std::string& message)>;

  explicit Dataset(std::vector<FieldDef> fields);

  const std::vector<FieldDef>& Fields() const { return fields_; }
  std::size_t FieldIndex(std::string_view name) const;  // throws EDatabaseError

  // Cursor over the rows the filter lets through.
  void First();
  void Next();
  bool Eof() const { return eof_ || cur_ == kNone; }
  bool IsEmpty() const { return cur_ == kNone && state_ != State::Insert; }
  int RecordCount() const;
  int RecNo() const;  // 1-based among visible rows; 0 when there is none
  void SetRecNo(int recNo);
  // Moves to the first visible row whose field equals value exactly.
  bool Locate(std::string_view field, std::string_view value);

  void SetFilter(std::string_view field, std::string value);
  void ClearFilter();
  bool Filtered() const { return filterField_ != kNone; }

  // The current row's value (the pending buffer while editing); "" without a row.
  std::string FieldValue(std::string_view field) const;
  State GetState() const { return state_; }

  void Append();  // a new row at the end, with default values, in Insert state
  void Edit();    // throws EDatabaseError when there is no current row
  void SetFieldValue(std::string_view field, std::string_view value);
  void Post();
  void Cancel();
  void AppendRecord(const std::vector<std::string>& values);  // Append, set in field order, Post
  // Deletes the current row; in Insert state drops the new row instead.
  // Throws EDatabaseError when there is no row.
  void Delete();

  // Reads the whole table from `path`. A missing file gives an empty table.
  // A file that cannot be read, or something there that is not a plain file,
  // is renamed aside, reported through `log`, and the table is left empty;
  // the caller goes on either way.
  LoadResult LoadFromFile(const std::filesystem::path& path, const LogFn& log);
  // Posts any pending buffer, then writes the table to a temporary file next
  // to `path` and renames it over `path`, so a crash leaves the old file or
  // the new one, never a mix. Throws EStreamError on failure.
  void SaveToFile(const std::filesystem::path& path);

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  using Row = std::vector<std::string>;

  bool Visible(std::size_t row) const;
  std::size_t NextVisible(std::size_t from) const;  // first visible index >= from
  std::size_t PrevVisible(std::size_t before) const;
  void CheckBrowseMode();
  std::string Fit(std::size_t field, std::string_view value) const;
  void Clear();
  void ParseFile(const std::string& bytes);
  std::string Serialize() const;

  std::vector<FieldDef> fields_;
  std::vector<Row> rows_;
  std::size_t cur_ = kNone;
  bool eof_ = true;
  State state_ = State::Browse;
  Row buffer_;
  std::size_t filterField_ = kNone;
  std::string filterValue_;
};

}  // namespace platform
