#pragma once

#include <string>
#include <vector>

#include "platform/Charset.h"

class TStream;

// A list of 8-bit text lines, each optionally carrying an object pointer the
// list does not own. Descendants store the lines; this base gives every list
// the same Text, name=value and file behaviour.
//
// Text rule: setting Text splits at CR, LF or CR LF; a break at the very end
// gives no empty last line, and "" gives no lines at all. Getting Text puts
// CR LF after every line, the last one included.
class TStrings {
 public:
  TStrings() = default;
  TStrings(const TStrings&) = delete;
  TStrings& operator=(const TStrings&) = delete;
  virtual ~TStrings() = default;

  virtual int Count() const = 0;
  // Room reserved for lines; a hint only, never below Count.
  virtual int Capacity() const { return Count(); }
  virtual void SetCapacity(int /*capacity*/) {}
  // Index outside 0..Count-1 raises EListError.
  virtual std::string Get(int index) const = 0;
  virtual void Put(int index, const std::string& s);
  virtual void* GetObject(int index) const;
  virtual void PutObject(int index, void* object);
  virtual void Insert(int index, const std::string& s) = 0;
  virtual void InsertObject(int index, const std::string& s, void* object);
  virtual int Add(const std::string& s);
  virtual int AddObject(const std::string& s, void* object);
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  virtual void Exchange(int a, int b);
  virtual int IndexOf(const std::string& s) const;
  int IndexOfObject(const void* object) const;
  void Move(int from, int to);

  std::string operator[](int index) const { return Get(index); }
  std::string Strings(int index) const { return Get(index); }
  void SetStrings(int index, const std::string& s) { Put(index, s); }

  std::string Text() const;
  virtual void SetText(const std::string& text);

  // "name=value" lines. The name is what stands before the first '='; names
  // compare without regard to ASCII case. A missing name reads as "".
  std::string Names(int index) const;
  std::string ValueFromIndex(int index) const;
  int IndexOfName(const std::string& name) const;
  std::string Values(const std::string& name) const;
  // Replaces the first line of that name, or adds one; an empty value
  // deletes the line.
  void SetValues(const std::string& name, const std::string& value);

  void AddStrings(const TStrings& source);
  void Assign(const TStrings& source);
  bool Equals(const TStrings& other) const;

  // Bytes as they stand: no code page conversion on the way in or out.
  virtual void LoadFromStream(TStream& stream);
  virtual void SaveToStream(TStream& stream) const;
  // Reads one of the program's own files (platform::ReadStore): raises for
  // a missing one; what was set aside there gives an empty list.
  void LoadFromFile(const platform::FileName& fileName);
  // Written through a temporary file renamed over the old one.
  void SaveToFile(const platform::FileName& fileName) const;

  // Brackets bulk changes; descendants that repaint or notify look at the
  // first BeginUpdate and the last EndUpdate only.
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }

  bool CaseSensitive() const { return caseSensitive_; }
  virtual void SetCaseSensitive(bool value) { caseSensitive_ = value; }

 protected:
  virtual void SetUpdateState(bool /*updating*/) {}
  // The comparison behind IndexOf, IndexOfName, sorting and Find.
  virtual int CompareStrings(const std::string& a, const std::string& b) const;
  [[noreturn]] static void IndexError(int index);

 private:
  int updateCount_ = 0;
  bool caseSensitive_ = false;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

// The ordinary list: lines and objects kept in a vector, optionally sorted.
class TStringList : public TStrings {
 public:
  TStringList() = default;
  // Copies lines, object pointers (not what they point to) and the rules.
  TStringList(const TStringList& other);
  TStringList& operator=(const TStringList& other);

  int Count() const override { return static_cast<int>(items_.size()); }
  int Capacity() const override { return static_cast<int>(items_.capacity()); }
  void SetCapacity(int capacity) override;
  std::string Get(int index) const override;
  void Put(int index, const std::string& s) override;
  void* GetObject(int index) const override;
  void PutObject(int index, void* object) override;
  void Insert(int index, const std::string& s) override;
  void InsertObject(int index, const std::string& s, void* object) override;
  // Sorted: goes to its place, and Duplicates decides about an equal line
  // (ignore returns the existing index, error raises EListError).
  int Add(const std::string& s) override;
  int AddObject(const std::string& s, void* object) override;
  void Delete(int index) override;
  void Clear() override;
  void Exchange(int a, int b) override;
  int IndexOf(const std::string& s) const override;
  void SetCaseSensitive(bool value) override;

  bool Sorted() const { return sorted_; }
  void SetSorted(bool value);
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates value) { duplicates_ = value; }
  // Binary search of a sorted list: true when found; `index` is then the
  // first equal line, otherwise where `s` would go.
  bool Find(const std::string& s, int& index) const;
  virtual void Sort();

 private:
  struct Item {
    std::string text;
    void* object = nullptr;
  };
  void CheckIndex(int index) const;

  std::vector<Item> items_;
  bool sorted_ = false;
  TDuplicates duplicates_ = dupIgnore;
};
