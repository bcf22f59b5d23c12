#include "platform/StringList.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/Exception.h"
#include "platform/Stream.h"
#include "platform/Strings.h"

using platform::EListError;

// ---- TStrings

void TStrings::IndexError(int index) {
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

void TStrings::Put(int index, const std::string& s) {
  void* object = GetObject(index);
  Delete(index);
  InsertObject(index, s, object);
}

void* TStrings::GetObject(int /*index*/) const { return nullptr; }

void TStrings::PutObject(int /*index*/, void* /*object*/) {}

void TStrings::InsertObject(int index, const std::string& s, void* object) {
  Insert(index, s);
  PutObject(index, object);
}

int TStrings::Add(const std::string& s) {
  const int index = Count();
  Insert(index, s);
  return index;
}

int TStrings::AddObject(const std::string& s, void* object) {
  const int index = Add(s);
  PutObject(index, object);
  return index;
}

void TStrings::Exchange(int a, int b) {
  const std::string textA = Get(a);
  void* objectA = GetObject(a);
  Put(a, Get(b));
  PutObject(a, GetObject(b));
  Put(b, textA);
  PutObject(b, objectA);
}

int TStrings::IndexOf(const std::string& s) const {
  for (int i = 0, n = Count(); i < n; ++i)
    if (CompareStrings(Get(i), s) == 0) return i;
  return -1;
}

int TStrings::IndexOfObject(const void* object) const {
  for (int i = 0, n = Count(); i < n; ++i)
    if (GetObject(i) == object) return i;
  return -1;
}

void TStrings::Move(int from, int to) {
  if (from == to) return;
  const std::string text = Get(from);
  void* object = GetObject(from);
  BeginUpdate();
  Delete(from);
  InsertObject(to, text, object);
  EndUpdate();
}

std::string TStrings::Text() const {
  std::string out;
  for (int i = 0, n = Count(); i < n; ++i) out.append(Get(i)).append("\r\n");
  return out;
}

void TStrings::SetText(const std::string& text) {
  BeginUpdate();
  Clear();
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      Add(text.substr(start));
      break;
    }
    Add(text.substr(start, end - start));
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  EndUpdate();
}

std::string TStrings::Names(int index) const {
  const std::string line = Get(index);
  const auto eq = line.find('=');
  return eq == std::string::npos ? std::string() : line.substr(0, eq);
}

std::string TStrings::ValueFromIndex(int index) const {
  const std::string line = Get(index);
  const auto eq = line.find('=');
  return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

int TStrings::IndexOfName(const std::string& name) const {
  for (int i = 0, n = Count(); i < n; ++i) {
    const std::string line = Get(i);
    const auto eq = line.find('=');
    if (eq != std::string::npos && CompareStrings(line.substr(0, eq), name) == 0) return i;
  }
  return -1;
}

std::string TStrings::Values(const std::string& name) const {
  const int i = IndexOfName(name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStrings::SetValues(const std::string& name, const std::string& value) {
  const int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) Delete(i);
  } else if (i >= 0) {
    Put(i, name + "=" + value);
  } else {
    Add(name + "=" + value);
  }
}

void TStrings::AddStrings(const TStrings& source) {
  BeginUpdate();
  for (int i = 0, n = source.Count(); i < n; ++i) AddObject(source.Get(i), source.GetObject(i));
  EndUpdate();
}

void TStrings::Assign(const TStrings& source) {
  if (&source == this) return;
  BeginUpdate();
  Clear();
  AddStrings(source);
  EndUpdate();
}

bool TStrings::Equals(const TStrings& other) const {
  const int n = Count();
  if (n != other.Count()) return false;
  for (int i = 0; i < n; ++i)
    if (Get(i) != other.Get(i)) return false;
  return true;
}

void TStrings::LoadFromStream(TStream& stream) {
  const std::int64_t size = stream.Size() - stream.Position();
  std::string bytes(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)), '\0');
  if (!bytes.empty()) stream.ReadBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  SetText(bytes);
}

void TStrings::SaveToStream(TStream& stream) const { stream.WriteString(Text()); }

void TStrings::LoadFromFile(const platform::FileName& fileName) {
  // Far more than any list the program keeps.
  constexpr std::uintmax_t kLimit = 64u << 20;
  std::string bytes;
  switch (platform::ReadStore(fileName, bytes, kLimit)) {
    case platform::TStoreRead::Missing:
      throw platform::EStreamError("Cannot open file \"" + fileName.Display() + "\". " +
                                   platform::Utf8ToAnsi(std::strerror(ENOENT)));
    case platform::TStoreRead::SetAside:
      Clear();
      break;
    case platform::TStoreRead::Read:
      SetText(bytes);
      break;
  }
}

void TStrings::SaveToFile(const platform::FileName& fileName) const {
  TMemoryStream buffer;
  SaveToStream(buffer);
  platform::ReplaceFile(fileName, buffer.Memory(), static_cast<std::size_t>(buffer.Size()));
}

void TStrings::BeginUpdate() {
  if (updateCount_++ == 0) SetUpdateState(true);
}

void TStrings::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) SetUpdateState(false);
}

int TStrings::CompareStrings(const std::string& a, const std::string& b) const {
  return caseSensitive_ ? platform::CompareStr(a, b) : platform::CompareText(a, b);
}

// ---- TStringList

TStringList::TStringList(const TStringList& other)
    : TStrings(), items_(other.items_), sorted_(other.sorted_), duplicates_(other.duplicates_) {
  TStrings::SetCaseSensitive(other.CaseSensitive());
}

TStringList& TStringList::operator=(const TStringList& other) {
  if (&other != this) {
    items_ = other.items_;
    sorted_ = other.sorted_;
    duplicates_ = other.duplicates_;
    TStrings::SetCaseSensitive(other.CaseSensitive());
  }
  return *this;
}

void TStringList::SetCapacity(int capacity) {
  if (capacity > Count()) items_.reserve(static_cast<std::size_t>(capacity));
}

void TStringList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) IndexError(index);
}

std::string TStringList::Get(int index) const {
  CheckIndex(index);
  return items_[static_cast<std::size_t>(index)].text;
}

void TStringList::Put(int index, const std::string& s) {
  if (sorted_) throw EListError("Operation not allowed on sorted list");
  CheckIndex(index);
  items_[static_cast<std::size_t>(index)].text = s;
}

void* TStringList::GetObject(int index) const {
  CheckIndex(index);
  return items_[static_cast<std::size_t>(index)].object;
}

void TStringList::PutObject(int index, void* object) {
  CheckIndex(index);
  items_[static_cast<std::size_t>(index)].object = object;
}

void TStringList::Insert(int index, const std::string& s) { InsertObject(index, s, nullptr); }

void TStringList::InsertObject(int index, const std::string& s, void* object) {
  if (sorted_) throw EListError("Operation not allowed on sorted list");
  if (index < 0 || index > Count()) IndexError(index);
  items_.insert(items_.begin() + index, Item{s, object});
}

int TStringList::Add(const std::string& s) { return AddObject(s, nullptr); }

int TStringList::AddObject(const std::string& s, void* object) {
  int index = Count();
  if (sorted_ && Find(s, index)) {
    if (duplicates_ == dupIgnore) return index;
    if (duplicates_ == dupError) throw EListError("String list does not allow duplicates");
  }
  items_.insert(items_.begin() + index, Item{s, object});
  return index;
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  items_.erase(items_.begin() + index);
}

void TStringList::Clear() { items_.clear(); }

void TStringList::Exchange(int a, int b) {
  CheckIndex(a);
  CheckIndex(b);
  std::swap(items_[static_cast<std::size_t>(a)], items_[static_cast<std::size_t>(b)]);
}

int TStringList::IndexOf(const std::string& s) const {
  if (!sorted_) return TStrings::IndexOf(s);
  int index = 0;
  return Find(s, index) ? index : -1;
}

void TStringList::SetCaseSensitive(bool value) {
  if (value == CaseSensitive()) return;
  TStrings::SetCaseSensitive(value);
  if (sorted_) Sort();
}

void TStringList::SetSorted(bool value) {
  if (value && !sorted_) {
    sorted_ = true;
    Sort();
  }
  sorted_ = value;
}

bool TStringList::Find(const std::string& s, int& index) const {
  // Lower bound, so that with accepted duplicates the first equal line is found.
  int lo = 0;
  int hi = Count();
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (CompareStrings(items_[static_cast<std::size_t>(mid)].text, s) < 0) lo = mid + 1;
    else hi = mid;
  }
  index = lo;
  return lo < Count() && CompareStrings(items_[static_cast<std::size_t>(lo)].text, s) == 0;
}

void TStringList::Sort() {
  std::stable_sort(items_.begin(), items_.end(),
                   [this](const Item& a, const Item& b) { return CompareStrings(a.text, b.text) < 0; });
}
