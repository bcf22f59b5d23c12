#include "zip/ObjectList.h"

#include <algorithm>
#include <map>
#include <memory>
#include <new>

#include "platform/Clipboard.h"
#include "zip/BufferStream.h"
#include "zip/ZipFileUtils.h"

namespace zip {

namespace {

constexpr size_t kMaxClassName = 63;

struct TClassRecord {
  TObjectReadProc read;
  TObjectWriteProc write;
  TObjectFactory factory;
};

std::map<std::string, TClassRecord>& Registry() {
  static std::map<std::string, TClassRecord> registry;
  return registry;
}

std::string RegistryKey(const std::string& name) { return name.substr(0, kMaxClassName); }

// The component's messages about objects; %s is a class name.
constexpr const char* kNotInItemList = "tObject %s not in item list";
constexpr const char* kSourceNotRegistered = "Source Class <%s> not registered";
constexpr const char* kClassNotRegistered = "Class <%s> not registered";

std::string WithClassName(const char* message, const std::string& name) {
  std::string text = message;
  text.replace(text.find("%s"), 2, name);
  return text;
}

// Formats registered by name get numbers from where the system starts
// numbering the formats programs register.
constexpr unsigned kFirstRegisteredFormat = 0xC000;

std::vector<std::string>& ClipboardFormats() {
  static std::vector<std::string> formats;
  return formats;
}

const std::string* ClipboardFormatName(unsigned format) {
  const std::vector<std::string>& formats = ClipboardFormats();
  if (format < kFirstRegisteredFormat || format - kFirstRegisteredFormat >= formats.size()) return nullptr;
  return &formats[format - kFirstRegisteredFormat];
}

}  // namespace

void TPersistent::Assign(const TPersistent& source) {
  throw platform::EConvertError("Cannot assign a " + source.ClassName() + " to a " + ClassName());
}

TObjectList::TObjectList(bool ownsItems, int capacity) : ownsItems_(ownsItems) { SetCapacity(capacity); }

TObjectList::TObjectList(const std::string& fileName) {
  try {
    LoadFromStream(fileName);
  } catch (...) {
    // No destructor runs for a list that was never made, and no one else holds
    // what it read, whatever the stream said of ownership.
    for (int i = 0; i < count_; ++i) delete items_[i];
    throw;
  }
}

TObjectList::~TObjectList() {
  FreeAll();
  Clear();
}

void TObjectList::Error() const { throw EListError("List index out of bounds"); }

void TObjectList::CheckIndex(int index) const {
  if (index < 0 || index >= count_) Error();
}

void TObjectList::Grow() {
  int delta = capacity_ <= 4 ? 4 : capacity_ <= 8 ? 8 : 16;
  SetCapacity(capacity_ + delta);
}

void TObjectList::RawInsert(int index, TPersistent* o) {
  if (count_ == capacity_) Grow();
  for (int i = count_; i > index; --i) items_[i] = items_[i - 1];
  items_[index] = o;
  ++count_;
}

int TObjectList::AddObject(TPersistent* o) {
  RawInsert(count_, o);
  return count_ - 1;
}

void TObjectList::Insert(int index, TPersistent* o) {
  if (index < 0 || index > count_) Error();
  RawInsert(index, o);
}

TPersistent* TObjectList::Get(int index) const {
  CheckIndex(index);
  return items_[index];
}

void TObjectList::Put(int index, TPersistent* o) {
  CheckIndex(index);
  items_[index] = o;
}

void TObjectList::Delete(int index) {
  CheckIndex(index);
  for (int i = index; i < count_ - 1; ++i) items_[i] = items_[i + 1];
  --count_;
}

void TObjectList::FreeItem(TPersistent* o) {
  if (ownsItems_) delete o;
}

void TObjectList::FreeAt(int index) {
  CheckIndex(index);
  FreeItem(items_[index]);
  Delete(index);
}

void TObjectList::FreeAll() {
  for (int i = 0; i < count_; ++i) FreeItem(items_[i]);
  Clear();
}

void TObjectList::FreeObject(TPersistent* o) {
  const int i = IndexOf(o);
  if (i < 0) throw EListError(WithClassName(kNotInItemList, o ? o->ClassName() : std::string("nil")));
  FreeAt(i);
}

void TObjectList::Clear() {
  count_ = 0;
  capacity_ = 0;
  items_.clear();
  items_.shrink_to_fit();
}

int TObjectList::IndexOf(TPersistent* o) const {
  for (int i = 0; i < count_; ++i)
    if (items_[i] == o) return i;
  return -1;
}

TPersistent* TObjectList::Next(TPersistent* o, bool forward) const {
  if (!o) return forward ? First() : Last();
  const int i = IndexOf(o);
  if (i < 0) throw EListError(WithClassName(kNotInItemList, o->ClassName()));
  const int j = forward ? i + 1 : i - 1;
  return j < 0 || j >= count_ ? nullptr : items_[j];
}

void TObjectList::Move(int from, int to) {
  CheckIndex(from);  // both ends are checked before anything moves
  CheckIndex(to);
  if (from == to) return;
  TPersistent* o = items_[from];
  Delete(from);
  RawInsert(to, o);
}

void TObjectList::Pack() {
  for (int i = count_ - 1; i >= 0; --i)
    if (!items_[i]) Delete(i);
}

void TObjectList::SetCapacity(int n) {
  if (n < count_ || n >= kMaxListSize) Error();
  items_.resize(static_cast<size_t>(n), nullptr);
  capacity_ = n;
}

void TObjectList::SetCount(int n) {
  if (n < 0 || n >= kMaxListSize) Error();
  if (n > capacity_) SetCapacity(n);
  for (int i = count_; i < n; ++i) items_[i] = nullptr;
  count_ = n;
}

void TObjectList::ForEach(const std::function<void(TPersistent*)>& proc) const {
  for (int i = 0; i < count_; ++i) proc(items_[i]);
}

TPersistent* TObjectList::FirstThat(const std::function<bool(TPersistent*)>& test) const {
  for (int i = 0; i < count_; ++i)
    if (test(items_[i])) return items_[i];
  return nullptr;
}

TPersistent* TObjectList::LastThat(const std::function<bool(TPersistent*)>& test) const {
  for (int i = count_ - 1; i >= 0; --i)
    if (test(items_[i])) return items_[i];
  return nullptr;
}

void TObjectList::SaveToStream(const std::string& fileName) {
  WriteWholeFile(fileName, [this](TLFNFileStream& stream) { WriteData(stream); });
}

void TObjectList::LoadFromStream(const std::string& fileName) {
  TLFNFileStream stream(fileName, platform::fmOpenRead, false, 8192);
  ReadData(stream);
}

void TObjectList::ReadData(TStream& stream) {
  uint8_t owns = 0;
  uint8_t raw[4];
  stream.ReadBuffer(&owns, 1);
  stream.ReadBuffer(raw, 4);
  ownsItems_ = owns != 0;
  const int32_t count = static_cast<int32_t>(raw[0] | raw[1] << 8 | raw[2] << 16 | static_cast<uint32_t>(raw[3]) << 24);
  if (count < 0 || count >= kMaxListSize) Error();
  // Room is made only for a count the stream can hold (each object takes a
  // byte at least); a larger one is not worth the allocation, and the reads
  // fail at the stream's end anyway.
  if (count <= stream.Size() - stream.Position() && count_ + count > capacity_) SetCapacity(count_ + count);
  for (int32_t i = 0; i < count; ++i) {
    std::unique_ptr<TPersistent> o(ReadObjectFromStream(stream));
    AddObject(o.release());
  }
}

void TObjectList::WriteData(TStream& stream) {
  const uint8_t owns = ownsItems_ ? 1 : 0;
  const uint32_t c = static_cast<uint32_t>(count_);
  const uint8_t raw[4] = {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16),
                          static_cast<uint8_t>(c >> 24)};
  stream.WriteBuffer(&owns, 1);
  stream.WriteBuffer(raw, 4);
  for (int i = 0; i < count_; ++i) WriteObjectToStream(items_[i], stream);
}

bool TSortedObjectList::Search(const TPersistent* key, int& index) const {
  int lo = 0, hi = count_ - 1;
  bool found = false;
  while (lo <= hi) {
    const int mid = lo + (hi - lo) / 2;
    const int c = Compare(KeyOf(items_[mid]), key);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        if (duplicates_ != dupAccept) lo = mid;
      }
    }
  }
  index = lo;
  return found;
}

void TSortedObjectList::Put(int, TPersistent*) { throw EListError("Cannot <Put> an Object in a sorted list!"); }

int TSortedObjectList::AddObject(TPersistent* o) {
  Insert(0, o);
  return 0;
}

void TSortedObjectList::Insert(int, TPersistent* o) {
  int index = 0;
  if (Search(KeyOf(o), index)) {
    if (duplicates_ == dupIgnore) return;
    if (duplicates_ == dupError) throw EListError("Duplicate Object index");
  }
  RawInsert(index, o);
}

// Found by key: the position of the item whose key equals O's (the first of
// equal keys with dupAccept), whichever object that is.
int TSortedObjectList::IndexOf(TPersistent* o) const {
  int index = 0;
  return Search(KeyOf(o), index) ? index : -1;
}

void TSortedObjectList::ReadData(TStream& stream) {
  uint8_t d = 0;
  stream.ReadBuffer(&d, 1);
  duplicates_ = static_cast<TDuplicates>(d);
  TObjectList::ReadData(stream);
}

void TSortedObjectList::WriteData(TStream& stream) {
  const uint8_t d = static_cast<uint8_t>(duplicates_);
  stream.WriteBuffer(&d, 1);
  TObjectList::WriteData(stream);
}

void DoRegisterClass(TObjectReadProc readProc, TObjectWriteProc writeProc, const std::string& className,
                     TObjectFactory factory) {
  Registry().emplace(RegistryKey(className), TClassRecord{std::move(readProc), std::move(writeProc), std::move(factory)});
}

bool IsRegistered(const std::string& className) { return Registry().count(RegistryKey(className)) != 0; }

void WriteObjectToStream(TPersistent* object, TStream& stream) {
  if (!object) throw EClassNotFound("Nil Source Class!");
  const std::string name = RegistryKey(object->ClassName());
  auto it = Registry().find(name);
  if (it == Registry().end()) throw EClassNotFound(WithClassName(kSourceNotRegistered, object->ClassName()));
  const uint8_t n = static_cast<uint8_t>(name.size());
  stream.WriteBuffer(&n, 1);
  stream.WriteBuffer(name.data(), n);
  it->second.write(object, stream);
}

TPersistent* ReadObjectFromStream(TStream& stream) {
  uint8_t n = 0;
  stream.ReadBuffer(&n, 1);
  std::string name(n, '\0');
  stream.ReadBuffer(name.data(), n);
  auto it = Registry().find(RegistryKey(name));
  if (it == Registry().end()) throw EClassNotFound(WithClassName(kClassNotRegistered, name));
  std::unique_ptr<TPersistent> object(it->second.factory());
  it->second.read(object.get(), stream);
  return object.release();
}

TPersistent* CopyOf(TPersistent* object) {
  if (!object) throw EClassNotFound("Nil Source Class!");
  TMemoryStream mem;
  WriteObjectToStream(object, mem);
  mem.SetPosition(0);
  return ReadObjectFromStream(mem);
}

unsigned RegisterClipBoardType(const std::string& name) {
  std::vector<std::string>& formats = ClipboardFormats();
  auto it = std::find(formats.begin(), formats.end(), name);
  if (it == formats.end()) it = formats.insert(formats.end(), name);
  return kFirstRegisteredFormat + static_cast<unsigned>(it - formats.begin());
}

bool CopyObjectToClipboard(unsigned format, TPersistent* object) {
  if (!object) throw EClassNotFound("Nil Source Class!");
  TMemoryStream mem;
  WriteObjectToStream(object, mem);
  const std::string* name = ClipboardFormatName(format);
  if (name == nullptr) return false;
  std::string block;
  try {
    block.assign(reinterpret_cast<const char*>(mem.Memory()), static_cast<size_t>(mem.Size()));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Not enough memory to copy object to clipboard");
  }
  return platform::AddClipboardFormat(*name, block);
}

TPersistent* PasteObjectFromClipboard(unsigned format) {
  const std::string* name = ClipboardFormatName(format);
  std::string block;
  if (name == nullptr || !platform::ReadClipboardFormat(*name, block)) return nullptr;
  TAbsMemStream in(block.data(), static_cast<int64_t>(block.size()));
  return ReadObjectFromStream(in);
}

}  // namespace zip
