#pragma once

// Small containers every part of the editor builds on, and the abstract bases
// through which the editor talks to pluggable parts (colour sets, syntax parsers).

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "editor/QuillUtils.h"
#include "platform/Exception.h"

namespace quill {

// Root of the editor's polymorphic objects, so a sender can be any of them.
class TQuillObject {
 public:
  virtual ~TQuillObject() = default;
};

enum class TOperation { opInsert, opRemove };

// A named object that may own others by name and asks to be told when a
// component it refers to goes away.
class TQuillComponent : public TQuillObject {
 public:
  explicit TQuillComponent(TQuillComponent* owner = nullptr);
  ~TQuillComponent() override;
  TQuillComponent(const TQuillComponent&) = delete;
  TQuillComponent& operator=(const TQuillComponent&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  TQuillComponent* Owner() const { return owner_; }
  const std::vector<TQuillComponent*>& Components() const { return components_; }

  // Both sides are told (opRemove) when either is destroyed.
  void FreeNotification(TQuillComponent* other);
  void RemoveFreeNotification(TQuillComponent* other);
  virtual void Notification(TQuillComponent* component, TOperation operation);

 private:
  std::string name_;
  TQuillComponent* owner_;
  std::vector<TQuillComponent*> components_;
  std::vector<TQuillComponent*> freeNotifies_;
};

// Base followed by 1, 2, 3 ...: the first name no component of Owner or of any of
// Owner's owners carries; without Owner, Base followed by 1.
std::string GetUniqueName(const TQuillComponent* owner, const std::string& base);

enum class TDuplicates { dupIgnore, dupAccept, dupError };

// A list kept sorted by a virtual comparison, with search by item and by key.
template <class T, class K = T>
class TQuillSortedList {
 public:
  virtual ~TQuillSortedList() = default;

  int Count() const { return static_cast<int>(items_.size()); }
  const T& Items(int index) const { return items_.at(static_cast<size_t>(index)); }
  T& Items(int index) { return items_.at(static_cast<size_t>(index)); }
  const std::vector<T>& List() const { return items_; }

  bool Sorted() const { return sorted_; }
  void SetSorted(bool value) {
    if (value == sorted_) return;
    sorted_ = value;
    if (value) Sort();
  }
  TDuplicates Duplicates = TDuplicates::dupIgnore;

  int Add(const T& item) {
    if (!sorted_) {
      items_.push_back(item);
      return Count() - 1;
    }
    int index = 0;
    if (Find(item, index)) {
      if (Duplicates == TDuplicates::dupIgnore) return index;
      if (Duplicates == TDuplicates::dupError) throw platform::EListError("List does not allow duplicates");
    }
    items_.insert(items_.begin() + index, item);
    return index;
  }
  // A sorted list ignores the index and inserts where the item belongs.
  void Insert(int index, const T& item) {
    if (sorted_) {
      Add(item);
      return;
    }
    if (index < 0 || index > Count()) throw platform::EListError(FormatMsg(msg::SListIndexError, index));
    items_.insert(items_.begin() + index, item);
  }
  void Delete(int index) {
    if (index < 0 || index >= Count()) throw platform::EListError(FormatMsg(msg::SListIndexError, index));
    items_.erase(items_.begin() + index);
  }
  int Remove(const T& item) {
    int index = -1;
    if (!Find(item, index)) return -1;
    Delete(index);
    return index;
  }
  void Clear() {
    items_.clear();
    lastHit_ = -1;
  }

  bool Find(const T& item, int& index) const {
    if (!sorted_) {
      index = IndexOf(item);
      return index >= 0;
    }
    return InternalFind(item, index, [this](const T& a, const T& b) { return Compare(a, b); });
  }
  bool FindByKey(const K& key, int& index) const {
    if (!sorted_) {
      index = IndexOfKey(key);
      return index >= 0;
    }
    return InternalFind(key, index, [this](const T& a, const K& k) { return CompareByKey(a, k); });
  }
  bool FindNearest(const T& item, int& index) const {
    return InternalFindNearest(item, index, [this](const T& a, const T& b) { return Compare(a, b); });
  }
  int IndexOf(const T& item) const {
    for (int i = 0; i < Count(); ++i)
      if (Compare(items_[i], item) == 0) return i;
    return -1;
  }
  int IndexOfKey(const K& key) const {
    for (int i = 0; i < Count(); ++i)
      if (CompareByKey(items_[i], key) == 0) return i;
    return -1;
  }
  void Sort() {
    std::sort(items_.begin(), items_.end(), [this](const T& a, const T& b) { return Compare(a, b) < 0; });
    lastHit_ = -1;
  }

 protected:
  virtual int CompareByKey(const T& item, const K& key) const {
    if constexpr (std::is_convertible_v<K, T>) {
      return Compare(item, static_cast<T>(key));
    } else {
      (void)item;
      (void)key;
      return 0;
    }
  }
  virtual int Compare(const T& a, const T& b) const {
    if constexpr (std::is_pointer_v<T>) {
      return std::less<T>()(a, b) ? -1 : (std::less<T>()(b, a) ? 1 : 0);
    } else if constexpr (requires { a < b; }) {
      return a < b ? -1 : (b < a ? 1 : 0);
    } else {
      return 0;  // subclasses of item types without an order define Compare
    }
  }

  template <class Key, class Cmp>
  bool InternalFind(const Key& key, int& index, Cmp cmp) const {
    if (Duplicates != TDuplicates::dupAccept && lastHit_ >= 0 && lastHit_ < Count() && cmp(items_[lastHit_], key) == 0) {
      index = lastHit_;
      return true;
    }
    bool found = false;
    int l = 0, h = Count() - 1;
    while (l <= h) {
      int i = (l + h) / 2;
      int c = cmp(items_[i], key);
      if (c < 0) {
        l = i + 1;
      } else {
        h = i - 1;
        if (c == 0) {
          found = true;
          if (Duplicates != TDuplicates::dupAccept) {
            lastHit_ = i;
            l = i;
          }
        }
      }
    }
    index = l;
    return found;
  }

  // A position at most one place before the true neighbour; callers correct it.
  template <class Key, class Cmp>
  bool InternalFindNearest(const Key& key, int& index, Cmp cmp) const {
    index = 0;
    if (items_.empty()) return false;
    int l = 0, h = Count() - 1;
    for (;;) {
      int i = (l + h) / 2;
      probe_ = i;
      int c = cmp(items_[i], key);
      if (c >= 0) {
        h = i;
        if (c == 0) {
          index = i;
          return true;
        }
      } else {
        l = i;
      }
      if (h - l < 2 || l > h) {
        index = l;
        return false;
      }
    }
  }

  std::vector<T> items_;
  bool sorted_ = true;
  mutable int lastHit_ = -1;
  mutable int probe_ = -1;  // read by subclass comparisons during a nearest search
};

// A list of fixed-size records in one contiguous block.
template <class T>
class TQuillRecordList {
 public:
  TQuillRecordList() = default;
  virtual ~TQuillRecordList() = default;

  int Count() const { return static_cast<int>(items_.size()); }
  int Capacity() const { return capacity_; }

  int Add(const T* record = nullptr) {
    if (Count() == capacity_) Grow();
    items_.push_back(record != nullptr ? *record : T{});
    return Count() - 1;
  }
  int Add(T&& record) {
    if (Count() == capacity_) Grow();
    items_.push_back(std::move(record));
    return Count() - 1;
  }
  // Index == Count answers the slot just past the last record.
  T* Get(int index) {
    if (index < 0 || index > Count()) Error(index);
    return items_.data() + index;
  }
  void Delete(int index) {
    if (index < 0 || index >= Count()) Error(index);
    items_.erase(items_.begin() + index);
  }
  virtual void Clear() {
    std::vector<T>().swap(items_);
    capacity_ = 0;
  }
  // Lowering the capacity below the count is refused.
  void SetCapacity(int capacity) {
    if (capacity < Count() || capacity == capacity_) return;
    if (capacity < capacity_) {
      items_.shrink_to_fit();
    }
    items_.reserve(static_cast<size_t>(capacity));
    capacity_ = capacity;
  }
  void SetCount(int count) {
    if (count < 0) Error(count);
    if (count > capacity_) SetCapacity(count);
    items_.resize(static_cast<size_t>(count));
  }
  virtual void Grow() {
    int delta = capacity_ > 64 ? capacity_ / 4 : (capacity_ > 8 ? 16 : 4);
    SetCapacity(capacity_ + delta);
  }
  [[noreturn]] virtual void Error(int index) { throw platform::EListError(FormatMsg(msg::SListIndexError, index)); }

 protected:
  std::vector<T> items_;
  int capacity_ = 0;
};

// A change handler: a method of some receiver. Two handlers are equal when both
// the receiver and the method are.
using TQuillNotifyProc = std::function<void(TQuillObject* sender, intptr_t param)>;
struct TQuillNotifyEvent {
  TQuillObject* Object = nullptr;
  const void* Method = nullptr;
  TQuillNotifyProc Proc;

  bool SameAs(const TQuillNotifyEvent& o) const { return Object == o.Object && Method == o.Method; }
  explicit operator bool() const { return static_cast<bool>(Proc); }
};

// Binds a member function as a handler: NotifyEvent<&View::Changed>(view).
template <auto M, class C>
TQuillNotifyEvent NotifyEvent(C* object) {
  static const char methodTag = 0;
  return TQuillNotifyEvent{object, &methodTag, [object](TQuillObject* sender, intptr_t param) { (object->*M)(sender, param); }};
}

// Progress of a load or save: Position of Total (lines).
using TQuillProgressEvent = std::function<void(TQuillObject* sender, int position, int total)>;

class TQuillNotifierList {
 public:
  void AddItem(const TQuillNotifyEvent& handler);
  void DeleteItem(const TQuillNotifyEvent& handler);
  void SendNotification(TQuillObject* sender, intptr_t param);
  void BeforeDestroy(TQuillComponent* component);
  int Count() const { return static_cast<int>(items_.size()); }
  const TQuillNotifyEvent& GetItem(int index) const { return items_.at(static_cast<size_t>(index)); }
  void SetItem(int index, const TQuillNotifyEvent& handler) { items_.at(static_cast<size_t>(index)) = handler; }

 private:
  std::vector<TQuillNotifyEvent> items_;
};

inline std::unique_ptr<TQuillNotifierList> CreateNotifierList() { return std::make_unique<TQuillNotifierList>(); }

// A sorted string list with prefix search, for keyword tables.
class TFastStringList {
 public:
  explicit TFastStringList(bool caseSensitive = false);

  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& Strings(int index) const { return items_.at(static_cast<size_t>(index)).first; }
  void* Objects(int index) const { return items_.at(static_cast<size_t>(index)).second; }
  void SetObject(int index, void* object) { items_.at(static_cast<size_t>(index)).second = object; }
  int Add(const std::string& s) { return AddObject(s, nullptr); }
  int AddObject(const std::string& s, void* object);
  void Delete(int index);
  void Clear() { items_.clear(); }

  bool CaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool value);
  bool HasSpaces = false;  // set by the user when an entry contains a blank

  bool Find(const std::string& s, int& index) const;
  bool FindEx(std::string_view text, int len, int& index) const;
  bool FindLast(const std::string& s, int& index, int& len) const;
  bool FindLastEx(std::string_view text, int& index, int& len) const;
  int CompareWithSpaces(int index, std::string_view text, int& len) const;
  void Sort();
  void ExchangeItems(int i, int j) { std::swap(items_.at(static_cast<size_t>(i)), items_.at(static_cast<size_t>(j))); }

 private:
  int CompareWhole(const std::string& a, const std::string& b) const;
  int ComparePrefix(const std::string& entry, std::string_view text, int len) const;

  bool caseSensitive_;
  std::vector<std::pair<std::string, void*>> items_;
};

// The colour set of an editor; the editor's own colour set implements the setters.
class TCustomQuillEditorColors : public TQuillObject {
 public:
  TColor SelColor() const { return selColor_; }
  TColor SelBackColor() const { return selBackColor_; }
  TColor SearchMatchColor() const { return searchMatchColor_; }
  TColor SearchMatchBackColor() const { return searchMatchBackColor_; }
  TColor ReadOnlyColor() const { return readOnlyColor_; }
  TColor DisabledColor() const { return disabledColor_; }
  TColor InActiveSelColor() const { return inActiveSelColor_; }
  TColor InActiveSelBackColor() const { return inActiveSelBackColor_; }
  TColor LiveSpellColor() const { return liveSpellColor_; }
  TColor HyperStringColor() const { return hyperStringColor_; }
  TColor FmtMarkColor() const { return fmtMarkColor_; }

  virtual void SetSelColor(TColor value) = 0;
  virtual void SetSelBackColor(TColor value) = 0;
  virtual void SetSearchMatchColor(TColor value) = 0;
  virtual void SetSearchMatchBackColor(TColor value) = 0;
  virtual void SetReadOnlyColor(TColor value) = 0;
  virtual void SetDisabledColor(TColor value) = 0;
  virtual void SetInActiveSelColor(TColor value) = 0;
  virtual void SetInActiveSelBackColor(TColor value) = 0;
  virtual void SetLiveSpellColor(TColor value) = 0;
  virtual void SetHyperStringColor(TColor value) = 0;
  virtual void SetFmtMarkColor(TColor value) = 0;

 protected:
  TColor selColor_ = clHighlightText;
  TColor selBackColor_ = clHighlight;
  TColor searchMatchColor_ = clLime;
  TColor searchMatchBackColor_ = clBlack;
  TColor readOnlyColor_ = clBtnFace;
  TColor disabledColor_ = clBtnFace;
  TColor inActiveSelColor_ = clWindowText;
  TColor inActiveSelBackColor_ = clBtnFace;
  TColor liveSpellColor_ = clRed;
  TColor hyperStringColor_ = clBlue;
  TColor fmtMarkColor_ = clBtnShadow;
};

// A syntax parser as the documents see it.
class TCustomQuillParser : public TQuillComponent {
 public:
  explicit TCustomQuillParser(TQuillComponent* owner = nullptr);
  ~TCustomQuillParser() override;

  virtual void Changed();
  virtual void UpdateColors(TCustomQuillEditorColors* colors, bool toStyles);
  // Returns the style of the token at Pos and moves Pos past it.
  virtual int ParseString(int& state, const std::string& s, int& pos) = 0;
  virtual void GetFont(int index, TColor& color, TFontStyles& style) = 0;
  virtual TColor GetColor(int index) = 0;
  virtual TColor GetDefaultColor() = 0;
  virtual int GetStyleCount() = 0;
  virtual void ColorChanged(TColor color);
  virtual int GetStyleByName(const std::string& name);

  void RegisterNotifier(const TQuillNotifyEvent& handler) { notifiers_.AddItem(handler); }
  void UnRegisterNotifier(const TQuillNotifyEvent& handler) { notifiers_.DeleteItem(handler); }
  const std::string& Delimiters() const { return delimiters_; }
  void SetDelimiters(const std::string& s);
  void SafeSetDelimiters(const std::string& s) { delimiters_ = s; }

  int LineIndex = 0;     // line being parsed, set by the document before each line
  int InitialState = 0;  // state the first line is parsed from

 protected:
  TQuillNotifierList notifiers_;
  std::string delimiters_;
};

// Every living parser.
std::vector<TCustomQuillParser*>& ParserList();

}  // namespace quill
