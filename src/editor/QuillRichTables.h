#pragma once

// The three tables of a rich document. A line's data words hold numbers into
// them: the attribute table for characters, the object table for picture
// characters, and (per line) the paragraph table. An entry's number is its
// place in the order entries came, and it never changes until the table is
// cleared, so numbers stay valid in every line and every undo record. Equal
// attribute and paragraph entries are kept once, found again by their hash (a
// document loaded from a file may bring thousands, and every run of its text
// asks); the entries also stay in a sorted order, which finds the nearest one
// when the table is full.

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

#include "editor/QuillAttributes.h"
#include "editor/QuillContainers.h"

namespace quill {

// Numbers are 16-bit, and 65535 means "none".
constexpr int kMaxTableEntries = 65535;

// T: the entries kept; K: what equality and order look at (a base of T).
template <class T, class K>
class TQuillRichTable : public TQuillSortedList<int, const K*> {
 public:
  int GetCount() const { return static_cast<int>(entries_.size()); }
  T* GetItem(int number) const {
    return number >= 0 && number < GetCount() ? entries_[static_cast<size_t>(number)].get() : nullptr;
  }
  // The number of the first entry equal to Value; -1 when there is none.
  int FindEqual(const K& value) const {
    // Text loaded or typed asks for the same entry many times in a row.
    if (lastFound_ >= 0 && CompareEntries(*entries_[static_cast<size_t>(lastFound_)], value) == 0) return lastFound_;
    if (slots_.empty()) return -1;
    const size_t hash = HashEntry(value);
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask; slots_[i].Number >= 0; i = (i + 1) & mask) {
      if (slots_[i].Hash == hash && CompareEntries(*entries_[static_cast<size_t>(slots_[i].Number)], value) == 0)
        return lastFound_ = slots_[i].Number;
    }
    return -1;
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
    // Only the first of equal entries is found again.
    if (FindEqual(*entry) < 0) Index(HashEntry(*entry), number);
    entries_.push_back(std::move(entry));
    TQuillSortedList<int, const K*>::Add(number);
    return number;
  }
  // An entry next to Value in the search order (the nearest in look), for a
  // full table; -1 when the table is empty.
  int Nearest(const K& value) const {
    if (entries_.empty()) return -1;
    int at = 0;
    this->FindByKey(&value, at);
    return this->Items(std::min(at, this->Count() - 1));
  }
  void ClearList() {
    this->Clear();
    entries_.clear();
    slots_.clear();
    indexed_ = 0;
    lastFound_ = -1;
    ++generation_;
  }
  // Changes whenever the table is emptied, so numbers cached elsewhere can
  // tell they are stale.
  int Generation() const { return generation_; }

 protected:
  virtual int CompareEntries(const K& a, const K& b) const = 0;
  // Equal entries hash alike.
  virtual size_t HashEntry(const K& value) const = 0;
  int Compare(const int& a, const int& b) const override {
    return CompareEntries(*entries_[static_cast<size_t>(a)], *entries_[static_cast<size_t>(b)]);
  }
  int CompareByKey(const int& item, const K* const& key) const override {
    return CompareEntries(*entries_[static_cast<size_t>(item)], *key);
  }

  std::vector<std::unique_ptr<T>> entries_;
  int generation_ = 0;

 private:
  // Open addressing, at most half full, so a search ends at a free slot soon.
  struct Slot {
    size_t Hash = 0;
    int Number = -1;
  };
  void Index(size_t hash, int number) {
    if ((indexed_ + 1) * 2 > slots_.size()) {
      std::vector<Slot> old(std::max<size_t>(slots_.size() * 2, 64));
      old.swap(slots_);
      indexed_ = 0;
      for (const Slot& slot : old)
        if (slot.Number >= 0) Index(slot.Hash, slot.Number);
    }
    const size_t mask = slots_.size() - 1;
    size_t i = hash & mask;
    while (slots_[i].Number >= 0) i = (i + 1) & mask;
    slots_[i] = {hash, number};
    ++indexed_;
  }
  std::vector<Slot> slots_;
  size_t indexed_ = 0;
  mutable int lastFound_ = -1;
};

// Character attributes.
class TQuillRichFontManager : public TQuillRichTable<TQuillEditorAttributes, TCustomQuillEditorAttributes> {
 protected:
  int CompareEntries(const TCustomQuillEditorAttributes& a, const TCustomQuillEditorAttributes& b) const override;
  size_t HashEntry(const TCustomQuillEditorAttributes& value) const override;
};

class TQuillParagraphManager : public TQuillRichTable<TQuillParagraph, TCustomQuillParagraph> {
 protected:
  int CompareEntries(const TCustomQuillParagraph& a, const TCustomQuillParagraph& b) const override;
  size_t HashEntry(const TCustomQuillParagraph& value) const override;
};

// Pictures: every inserted picture is an entry of its own, so there is
// nothing to search for; the table only numbers and owns them. Several
// object characters may name one entry: a picture shown again and again
// (an emoticon in a chat) then costs one entry, not one per showing.
class TQuillObjectsManager {
 public:
  int GetCount() const { return static_cast<int>(objects_.size()); }
  TQuillEditorObject* GetItem(int number) const {
    return number >= 0 && number < GetCount() ? objects_[static_cast<size_t>(number)].get() : nullptr;
  }
  // The object's number (also written into it); -1 when the table is full.
  int Add(std::unique_ptr<TQuillEditorObject> object);
  void ClearList() {
    objects_.clear();
    ++generation_;
  }
  // Changes whenever the table is emptied, so numbers kept elsewhere can
  // tell they are stale.
  int Generation() const { return generation_; }

 private:
  std::vector<std::unique_ptr<TQuillEditorObject>> objects_;
  int generation_ = 0;
};

}  // namespace quill
