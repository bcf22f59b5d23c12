#pragma once

// Object lists of the zip component: a growable array of object references that may
// own them, a list kept sorted by an abstract comparison, and a registry of streamable
// classes through which lists are written to and read from streams.

#include <functional>
#include <string>
#include <vector>

#include "platform/Exception.h"
#include "zip/ZipStreams.h"

namespace zip {

using platform::EListError;

class EClassNotFound : public platform::Exception {
 public:
  using Exception::Exception;
};

class EOutOfMemory : public platform::Exception {
 public:
  using Exception::Exception;
};

class TPersistent {
 public:
  virtual ~TPersistent() = default;
  virtual std::string ClassName() const { return "TPersistent"; }
  // Raises unless a descendant knows how to copy `source`.
  virtual void Assign(const TPersistent& source);
};

// Stored as the byte a stream holds: any other value acts as neither
// ignoring nor refusing duplicates.
enum TDuplicates : uint8_t { dupIgnore = 0, dupAccept = 1, dupError = 2 };

class TObjectList : public TPersistent {
 public:
  // 2^29 - 1: the largest count whose reference array still fits a 32-bit byte size.
  static constexpr int kMaxListSize = 536870911;

  TObjectList() = default;
  TObjectList(bool ownsItems, int capacity);
  explicit TObjectList(const std::string& fileName);
  ~TObjectList() override;
  TObjectList(const TObjectList&) = delete;
  TObjectList& operator=(const TObjectList&) = delete;

  std::string ClassName() const override { return "TObjectList"; }

  virtual int AddObject(TPersistent* o);
  virtual void Insert(int index, TPersistent* o);
  TPersistent* Get(int index) const;
  virtual void Put(int index, TPersistent* o);
  void Delete(int index);
  void DeleteAll() { Clear(); }
  virtual void FreeItem(TPersistent* o);
  void FreeAt(int index);
  void FreeAll();
  void FreeObject(TPersistent* o);
  virtual void Clear();
  virtual int IndexOf(TPersistent* o) const;
  virtual TPersistent* First() const { return Get(0); }
  virtual TPersistent* Last() const { return Get(count_ - 1); }
  virtual TPersistent* Next(TPersistent* o, bool forward) const;
  void Move(int from, int to);
  void Pack();
  void SetCapacity(int n);
  void SetCount(int n);
  void ForEach(const std::function<void(TPersistent*)>& proc) const;
  TPersistent* FirstThat(const std::function<bool(TPersistent*)>& test) const;
  TPersistent* LastThat(const std::function<bool(TPersistent*)>& test) const;
  void SaveToStream(const std::string& fileName);
  void LoadFromStream(const std::string& fileName);
  virtual void ReadData(TStream& stream);
  virtual void WriteData(TStream& stream);

  int Count() const { return count_; }
  int Capacity() const { return capacity_; }
  bool OwnsItems() const { return ownsItems_; }
  void SetOwnsItems(bool owns) { ownsItems_ = owns; }

 protected:
  [[noreturn]] virtual void Error() const;
  virtual void Grow();
  void CheckIndex(int index) const;
  void RawInsert(int index, TPersistent* o);

  bool ownsItems_ = true;
  std::vector<TPersistent*> items_;  // sized to the capacity; slots past count are unused
  int count_ = 0;
  int capacity_ = 0;
};

class TSortedObjectList : public TObjectList {
 public:
  explicit TSortedObjectList(TDuplicates duplicates = dupIgnore) : duplicates_(duplicates) {}
  std::string ClassName() const override { return "TSortedObjectList"; }

  virtual const TPersistent* KeyOf(const TPersistent* o) const { return o; }
  virtual int Compare(const TPersistent* key1, const TPersistent* key2) const = 0;
  // True when an item with that key exists; index receives its position (the first of
  // equal items with dupAccept) or the position where the key belongs.
  virtual bool Search(const TPersistent* key, int& index) const;

  void Put(int index, TPersistent* o) override;
  int AddObject(TPersistent* o) override;
  void Insert(int index, TPersistent* o) override;
  int IndexOf(TPersistent* o) const override;
  void ReadData(TStream& stream) override;
  void WriteData(TStream& stream) override;

  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates d) { duplicates_ = d; }

 private:
  TDuplicates duplicates_;
};

// Registry of streamable classes.
using TObjectReadProc = std::function<void(TPersistent* object, TStream& stream)>;
using TObjectWriteProc = std::function<void(TPersistent* object, TStream& stream)>;
using TObjectFactory = std::function<TPersistent*()>;

void DoRegisterClass(TObjectReadProc readProc, TObjectWriteProc writeProc, const std::string& className,
                     TObjectFactory factory);
bool IsRegistered(const std::string& className);
void WriteObjectToStream(TPersistent* object, TStream& stream);
TPersistent* ReadObjectFromStream(TStream& stream);
TPersistent* CopyOf(TPersistent* object);

// Objects on the clipboard, in the stream form above. A format is registered
// by name; the same name always gives the same number.
unsigned RegisterClipBoardType(const std::string& name);
// Adds the object beside what the program last put on the clipboard; false
// when the clipboard did not take it or the format is not registered.
bool CopyObjectToClipboard(unsigned format, TPersistent* object);
// The object the clipboard holds in that format (the caller owns it); null
// when it holds none.
TPersistent* PasteObjectFromClipboard(unsigned format);

}  // namespace zip
