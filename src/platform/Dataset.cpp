#include "platform/Dataset.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "platform/Stream.h"

namespace platform {

namespace {

// The file starts with this line; a later layout gets a new number so that an
// old program keeps such a file aside instead of misreading it.
constexpr std::string_view kMagic = "PARLO-DATASET 1\n";

// Data files of this program are a few megabytes at most; anything far larger
// is not ours, and reading it whole would only exhaust memory.
constexpr std::uintmax_t kMaxFileSize = std::uintmax_t{1} << 30;

// Reads the file layout: the magic line, the field count, one "name size" line
// per field, the row count, then every value of every row as "<length>:<bytes>"
// followed by a line feed. Lengths make the values free to hold any byte.
class Reader {
 public:
  explicit Reader(const std::string& bytes) : s_(bytes) {}

  void Expect(std::string_view text) {
    if (s_.compare(pos_, text.size(), text) != 0) Fail("bad header");
    pos_ += text.size();
  }

  std::size_t Number(char end) {
    std::size_t value = 0;
    const char* first = s_.data() + pos_;
    const char* last = s_.data() + s_.size();
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr == first || ptr == last || *ptr != end) Fail("bad number");
    pos_ = static_cast<std::size_t>(ptr - s_.data()) + 1;
    return value;
  }

  std::string Word(char end) {
    auto stop = s_.find(end, pos_);
    if (stop == std::string::npos) Fail("unterminated name");
    std::string word = s_.substr(pos_, stop - pos_);
    pos_ = stop + 1;
    return word;
  }

  std::string Value() {
    auto length = Number(':');
    if (length > s_.size() - pos_ || s_.size() - pos_ - length < 1) Fail("value runs past the end");
    std::string value = s_.substr(pos_, length);
    pos_ += length;
    if (s_[pos_] != '\n') Fail("value not terminated");
    ++pos_;
    return value;
  }

  bool AtEnd() const { return pos_ == s_.size(); }

  [[noreturn]] void Fail(const char* what) const {
    throw EStreamError(std::string(what) + " at byte " + std::to_string(pos_));
  }

 private:
  const std::string& s_;
  std::size_t pos_ = 0;
};

}  // namespace

Dataset::Dataset(std::vector<FieldDef> fields) : fields_(std::move(fields)) {}

std::size_t Dataset::FieldIndex(std::string_view name) const {
  for (std::size_t i = 0; i < fields_.size(); ++i)
    if (fields_[i].name == name) return i;
  throw EDatabaseError("Field '" + std::string(name) + "' not found");
}

bool Dataset::Visible(std::size_t row) const {
  return filterField_ == kNone || rows_[row][filterField_] == filterValue_;
}

std::size_t Dataset::NextVisible(std::size_t from) const {
  for (std::size_t i = from; i < rows_.size(); ++i)
    if (Visible(i)) return i;
  return kNone;
}

std::size_t Dataset::PrevVisible(std::size_t before) const {
  for (std::size_t i = std::min(before, rows_.size()); i-- > 0;)
    if (Visible(i)) return i;
  return kNone;
}

void Dataset::CheckBrowseMode() {
  if (state_ != State::Browse) Post();
}

void Dataset::First() {
  CheckBrowseMode();
  cur_ = NextVisible(0);
  eof_ = cur_ == kNone;
}

void Dataset::Next() {
  CheckBrowseMode();
  if (cur_ == kNone) return;
  auto next = NextVisible(cur_ + 1);
  if (next == kNone) eof_ = true;
  else cur_ = next;
}

int Dataset::RecordCount() const {
  int count = 0;
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (Visible(i)) ++count;
  return count;
}

int Dataset::RecNo() const {
  if (cur_ == kNone) return 0;
  int n = 0;
  for (std::size_t i = 0; i <= cur_; ++i)
    if (Visible(i)) ++n;
  return n;
}

void Dataset::SetRecNo(int recNo) {
  CheckBrowseMode();
  int n = 0;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (Visible(i) && ++n == recNo) {
      cur_ = i;
      eof_ = false;
      return;
    }
  }
}

bool Dataset::Locate(std::string_view field, std::string_view value) {
  auto f = FieldIndex(field);
  CheckBrowseMode();
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (Visible(i) && rows_[i][f] == value) {
      cur_ = i;
      eof_ = false;
      return true;
    }
  }
  return false;
}

void Dataset::SetFilter(std::string_view field, std::string value) {
  auto f = FieldIndex(field);
  CheckBrowseMode();
  filterField_ = f;
  filterValue_ = Fit(f, value);
  First();
}

void Dataset::ClearFilter() {
  CheckBrowseMode();
  filterField_ = kNone;
  filterValue_.clear();
  if (cur_ == kNone) First();
}

std::string Dataset::FieldValue(std::string_view field) const {
  auto f = FieldIndex(field);
  if (state_ != State::Browse) return buffer_[f];
  return cur_ == kNone ? std::string() : rows_[cur_][f];
}

std::string Dataset::Fit(std::size_t field, std::string_view value) const {
  return std::string(value.substr(0, fields_[field].size));
}

void Dataset::Append() {
  CheckBrowseMode();
  buffer_.clear();
  for (std::size_t f = 0; f < fields_.size(); ++f) buffer_.push_back(Fit(f, fields_[f].defaultValue));
  state_ = State::Insert;
}

void Dataset::Edit() {
  if (state_ != State::Browse) return;
  if (cur_ == kNone) throw EDatabaseError("Cannot edit: the dataset has no current row");
  buffer_ = rows_[cur_];
  state_ = State::Edit;
}

void Dataset::SetFieldValue(std::string_view field, std::string_view value) {
  auto f = FieldIndex(field);
  if (state_ == State::Browse) throw EDatabaseError("Dataset not in edit or insert mode");
  buffer_[f] = Fit(f, value);
}

void Dataset::Post() {
  if (state_ == State::Edit) {
    rows_[cur_] = std::move(buffer_);
    state_ = State::Browse;
    // An edit can take the row out of the filter; the cursor then moves on
    // as it would after a delete of that row.
    if (!Visible(cur_)) {
      auto next = NextVisible(cur_ + 1);
      cur_ = next != kNone ? next : PrevVisible(cur_);
    }
  } else if (state_ == State::Insert) {
    rows_.push_back(std::move(buffer_));
    state_ = State::Browse;
    if (Visible(rows_.size() - 1)) cur_ = rows_.size() - 1;
    else if (cur_ == kNone) cur_ = NextVisible(0);
  }
  buffer_.clear();
  eof_ = false;
}

void Dataset::Cancel() {
  state_ = State::Browse;
  buffer_.clear();
}

void Dataset::AppendRecord(const std::vector<std::string>& values) {
  Append();
  for (std::size_t f = 0; f < fields_.size() && f < values.size(); ++f) buffer_[f] = Fit(f, values[f]);
  Post();
}

void Dataset::Delete() {
  if (state_ == State::Insert) {
    Cancel();
    return;
  }
  Cancel();
  if (cur_ == kNone) throw EDatabaseError("Cannot delete: the dataset is empty");
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(cur_));
  auto next = NextVisible(cur_);
  cur_ = next != kNone ? next : PrevVisible(cur_);
  eof_ = false;
}

void Dataset::Clear() {
  rows_.clear();
  buffer_.clear();
  state_ = State::Browse;
  cur_ = kNone;
  eof_ = true;
}

void Dataset::ParseFile(const std::string& bytes) {
  Reader in(bytes);
  in.Expect(kMagic);
  auto fieldCount = in.Number('\n');
  if (fieldCount > bytes.size()) in.Fail("field count out of range");
  // Columns are matched by name, so a file written with more or fewer fields
  // than this program knows still loads: unknown columns are dropped, missing
  // ones take their defaults.
  std::vector<std::size_t> column;
  for (std::size_t i = 0; i < fieldCount; ++i) {
    auto name = in.Word(' ');
    in.Number('\n');
    std::size_t target = kNone;
    for (std::size_t f = 0; f < fields_.size(); ++f)
      if (fields_[f].name == name) target = f;
    column.push_back(target);
  }
  auto rowCount = in.Number('\n');
  // Every value takes at least three bytes ("0:" and the line feed).
  if (fieldCount == 0 ? rowCount != 0 : rowCount > bytes.size() / (3 * fieldCount))
    in.Fail("row count out of range");
  std::vector<Row> rows;
  for (std::size_t r = 0; r < rowCount; ++r) {
    Row row;
    for (std::size_t f = 0; f < fields_.size(); ++f) row.push_back(Fit(f, fields_[f].defaultValue));
    for (std::size_t i = 0; i < fieldCount; ++i) {
      auto value = in.Value();
      if (column[i] != kNone) row[column[i]] = Fit(column[i], value);
    }
    rows.push_back(std::move(row));
  }
  if (!in.AtEnd()) in.Fail("trailing bytes");
  rows_ = std::move(rows);
}

std::string Dataset::Serialize() const {
  std::string out(kMagic);
  out += std::to_string(fields_.size()) + "\n";
  for (const auto& f : fields_) out += f.name + " " + std::to_string(f.size) + "\n";
  out += std::to_string(rows_.size()) + "\n";
  for (const auto& row : rows_) {
    for (const auto& value : row) {
      out += std::to_string(value.size());
      out += ':';
      out += value;
      out += '\n';
    }
  }
  return out;
}

Dataset::LoadResult Dataset::LoadFromFile(const std::filesystem::path& path, const LogFn& log) {
  Clear();
  std::string problem;
  try {
    std::string bytes;
    switch (ReadStore(path, bytes, kMaxFileSize, log)) {
      case TStoreRead::Missing: return LoadResult::Missing;
      case TStoreRead::SetAside: return LoadResult::Replaced;
      case TStoreRead::Read: break;
    }
    ParseFile(bytes);
    First();
    return LoadResult::Loaded;
  } catch (const std::exception& e) {
    problem = e.what();
  }
  Clear();
  SetAside(path, "could not be read (" + problem + ")", log);
  return LoadResult::Replaced;
}

void Dataset::SaveToFile(const std::filesystem::path& path) {
  CheckBrowseMode();
  const std::string data = Serialize();
  ReplaceFile(path, data.data(), data.size());
}

}  // namespace platform
