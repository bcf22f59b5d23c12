#pragma once

// The three tables of a rich document. A line's data words hold numbers into
// them: the attribute table for characters, the object table for picture
// characters, and (per line) the paragraph table. An entry's number is its
// place in the order entries came, and it never changes until the table is
// cleared, so numbers stay valid in every line and every undo record. Equal
// attribute and paragraph entries are kept once, found again by a sorted
// search; a long transcript in a handful of fonts holds a handful of entries.

#include <memory>
#include <vector>

#include "editor/QuillAttributes.h"
#include "editor/QuillContainers.h"

namespace quill {

// Numbers are 16-bit, and 65535 means "none".
constexpr int kMaxTableEntries = 65535;

template <class T>
class TQuillRichTable : public TQuillSortedList<int, const T*> {
 public:
  int GetCount() const { return static_cast<int>(entries_.size()); }
  T* GetItem(int number) const {
    return number >= 0 && number < GetCount() ? entries_[static_cast<size_t>(number)].get() : nullptr;
  }
  // The number of an entry equal to Value; -1 when there is none.
  int FindEqual(const T& value) const {
    int at = 0;
    return this->FindByKey(&value, at) ? this->Items(at) : -1;
  }
  // The number of an equal entry, or of Entry appended; -1 when the table is
  // full and holds no equal one.
  int Add(std::unique_ptr<T> entry) {
    const int equal = FindEqual(*entry);
    return equal >= 0 ? equal : Append(std::move(entry));
  }
  // Appends Entry even when an equal one is there (numbers that must match
  // another list's); -1 when the table is full.
  int Append(std::unique_ptr<T> entry) {
    if (GetCount() >= kMaxTableEntries) return -1;
    const int number = GetCount();
    entries_.push_back(std::move(entry));
    TQuillSortedList<int, const T*>::Add(number);
    return number;
  }
  // An entry next to Value in the search order (the nearest in look), for a
  // full table; -1 when the table is empty.
  int Nearest(const T& value) const {
    if (entries_.empty()) return -1;
    int at = 0;
    this->FindByKey(&value, at);
    return this->Items(std::min(at, this->Count() - 1));
  }
  void ClearList() {
    this->Clear();
    entries_.clear();
    ++generation_;
  }
  // Changes whenever the table is emptied, so numbers cached elsewhere can
  // tell they are stale.
  int Generation() const { return generation_; }

 protected:
  virtual int CompareEntries(const T& a, const T& b) const = 0;
  int Compare(const int& a, const int& b) const override {
    return CompareEntries(*entries_[static_cast<size_t>(a)], *entries_[static_cast<size_t>(b)]);
  }
  int CompareByKey(const int& item, const T* const& key) const override {
    return CompareEntries(*entries_[static_cast<size_t>(item)], *key);
  }

  std::vector<std::unique_ptr<T>> entries_;
  int generation_ = 0;
};

// Character attributes.
class TQuillRichFontManager : public TQuillRichTable<TQuillEditorAttributes> {
 protected:
  int CompareEntries(const TQuillEditorAttributes& a, const TQuillEditorAttributes& b) const override;
};

class TQuillParagraphManager : public TQuillRichTable<TQuillParagraph> {
 protected:
  int CompareEntries(const TQuillParagraph& a, const TQuillParagraph& b) const override;
};

// Pictures: every inserted picture is an entry of its own, so there is
// nothing to search for; the table only numbers and owns them.
class TQuillObjectsManager {
 public:
  int GetCount() const { return static_cast<int>(objects_.size()); }
  TQuillEditorObject* GetItem(int number) const {
    return number >= 0 && number < GetCount() ? objects_[static_cast<size_t>(number)].get() : nullptr;
  }
  // The object's number (also written into it); -1 when the table is full.
  int Add(std::unique_ptr<TQuillEditorObject> object);
  void ClearList() { objects_.clear(); }

 private:
  std::vector<std::unique_ptr<TQuillEditorObject>> objects_;
};

}  // namespace quill
