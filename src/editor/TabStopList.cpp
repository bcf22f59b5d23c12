#include "editor/TabStopList.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "editor/QuillUtils.h"
#include "platform/Exception.h"

namespace quill {

namespace {
// Columns up to this are cached; far columns are computed, so a huge column
// never allocates a huge cache.
constexpr int kCacheLimit = 4096;

std::vector<std::string> SplitCommaList(const std::string& s) {
  std::vector<std::string> items;
  std::string cur;
  bool quoted = false, any = false;
  for (char c : s) {
    any = true;
    if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      items.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (any) items.push_back(cur);
  return items;
}

int ToInt(const std::string& raw) {
  std::string t = raw;
  t.erase(0, t.find_first_not_of(' '));
  t.erase(t.find_last_not_of(' ') + 1);
  if (t.empty()) throw platform::EConvertError("'' is not a valid integer value");
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(t.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || v > MaxInt || v < -MaxInt)
    throw platform::EConvertError("'" + t + "' is not a valid integer value");
  return static_cast<int>(v);
}
}  // namespace

TTabStopList::TTabStopList() : text_("8"), stops_{8} {}

void TTabStopList::SetTabStops(const std::string& s) {
  if (s == text_) return;
  std::vector<int> stops;
  for (const std::string& item : SplitCommaList(s)) {
    int v = ToInt(item);
    if (v < 1 || (!stops.empty() && v <= stops.back())) throw platform::Exception(msg::SInvalidTabError);
    stops.push_back(v);
  }
  if (stops.empty()) stops.push_back(8);
  stops_ = std::move(stops);
  text_ = s;
  cache_.clear();
}

int TTabStopList::GetStop(int column) const {
  if (column >= MaxInt) return MaxInt;
  if (column < 0) column = 0;
  auto it = std::upper_bound(stops_.begin(), stops_.end(), column);
  if (it != stops_.end()) return *it;
  int last = stops_.back();
  int interval = stops_.size() > 1 ? last - stops_[stops_.size() - 2] : last;
  long long next = last + (static_cast<long long>(column - last) / interval + 1) * interval;
  return next > MaxInt ? MaxInt : static_cast<int>(next);
}

int TTabStopList::Get(int column) const {
  if (column >= MaxInt) return MaxInt;
  if (column < 0) column = 0;
  if (column >= kCacheLimit) return GetStop(column);
  if (static_cast<int>(cache_.size()) <= column) {
    for (int c = static_cast<int>(cache_.size()); c <= column; ++c) cache_.push_back(GetStop(c));
  }
  return cache_[static_cast<size_t>(column)];
}

int TTabStopList::GetPrev(int column) const {
  if (column <= stops_.front()) return 0;
  int last = stops_.back();
  if (column <= last) {
    auto it = std::lower_bound(stops_.begin(), stops_.end(), column);
    return *(it - 1);
  }
  int interval = stops_.size() > 1 ? last - stops_[stops_.size() - 2] : last;
  return last + ((column - last - 1) / interval) * interval;
}

int TTabStopList::RealPosToPos(const std::string& s, int index) const {
  int col = 0;
  int n = static_cast<int>(s.size());
  for (int i = 0; i < index; ++i) {
    if (i < n && s[static_cast<size_t>(i)] == '\t')
      col = Get(col);
    else
      ++col;
  }
  return col;
}

int TTabStopList::PosToRealPos(const std::string& s, int pos, int* pad) const {
  if (pad != nullptr) *pad = 0;
  int col = 0;
  int n = static_cast<int>(s.size());
  for (int i = 0; i < n; ++i) {
    if (col >= pos) return i;
    int next = s[static_cast<size_t>(i)] == '\t' ? Get(col) : col + 1;
    if (next > pos) {
      if (pad != nullptr) *pad = pos - col;
      return i;
    }
    col = next;
  }
  return n + std::max(pos - col, 0);
}

std::string TTabStopList::GetRealString(const std::string& s) const {
  if (s.find('\t') == std::string::npos) return s;
  std::string r;
  r.reserve(s.size() + 16);
  for (char c : s) {
    if (c == '\t') {
      int col = static_cast<int>(r.size());
      r.append(static_cast<size_t>(Get(col) - col), ' ');
    } else {
      r += c;
    }
  }
  return r;
}

}  // namespace quill
