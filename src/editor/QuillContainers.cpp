#include "editor/QuillContainers.h"

namespace quill {

TQuillComponent::TQuillComponent(TQuillComponent* owner) : owner_(owner) {
  if (owner_ != nullptr) owner_->components_.push_back(this);
}

TQuillComponent::~TQuillComponent() {
  // Copy first: a receiver may drop its own link while being told.
  auto receivers = freeNotifies_;
  freeNotifies_.clear();
  for (TQuillComponent* c : receivers) {
    auto& back = c->freeNotifies_;
    back.erase(std::remove(back.begin(), back.end(), this), back.end());
    c->Notification(this, TOperation::opRemove);
  }
  for (TQuillComponent* c : components_) c->owner_ = nullptr;
  if (owner_ != nullptr) {
    auto& list = owner_->components_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
}

void TQuillComponent::FreeNotification(TQuillComponent* other) {
  if (other == nullptr || other == this) return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), other) == freeNotifies_.end()) freeNotifies_.push_back(other);
  auto& back = other->freeNotifies_;
  if (std::find(back.begin(), back.end(), this) == back.end()) back.push_back(this);
}

void TQuillComponent::RemoveFreeNotification(TQuillComponent* other) {
  if (other == nullptr) return;
  freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), other), freeNotifies_.end());
  auto& back = other->freeNotifies_;
  back.erase(std::remove(back.begin(), back.end(), this), back.end());
}

void TQuillComponent::Notification(TQuillComponent*, TOperation) {}

static bool NameTaken(const TQuillComponent* owner, const std::string& name) {
  for (const TQuillComponent* o = owner; o != nullptr; o = o->Owner())
    for (const TQuillComponent* c : o->Components())
      if (c->Name() == name) return true;
  return false;
}

std::string GetUniqueName(const TQuillComponent* owner, const std::string& base) {
  if (owner == nullptr) return base + "1";
  for (int i = 1;; ++i) {
    std::string name = base + std::to_string(i);
    if (!NameTaken(owner, name)) return name;
  }
}

void TQuillNotifierList::AddItem(const TQuillNotifyEvent& handler) {
  DeleteItem(handler);
  items_.push_back(handler);
}

void TQuillNotifierList::DeleteItem(const TQuillNotifyEvent& handler) {
  items_.erase(std::remove_if(items_.begin(), items_.end(), [&](const TQuillNotifyEvent& e) { return e.SameAs(handler); }),
               items_.end());
}

void TQuillNotifierList::SendNotification(TQuillObject* sender, intptr_t param) {
  // Nearly every list has one handler, told a dozen times an edit: it is
  // called through a copy of itself, which may unregister it while it runs,
  // without a copy of the whole list.
  if (items_.size() == 1) {
    const TQuillNotifyEvent h = items_.front();
    if (h.Proc) h.Proc(sender, param);
    return;
  }
  // Handlers may register or unregister others while being called; a handler
  // removed meanwhile is not called any more.
  auto snapshot = items_;
  for (const auto& h : snapshot) {
    bool stillThere = std::any_of(items_.begin(), items_.end(), [&](const TQuillNotifyEvent& e) { return e.SameAs(h); });
    if (stillThere && h.Proc) h.Proc(sender, param);
  }
}

void TQuillNotifierList::BeforeDestroy(TQuillComponent* component) {
  for (int i = Count() - 1; i >= 0; --i) {
    if (i >= Count()) continue;  // handlers may unregister while told
    if (auto* c = dynamic_cast<TQuillComponent*>(items_[static_cast<size_t>(i)].Object))
      c->Notification(component, TOperation::opRemove);
  }
}

TFastStringList::TFastStringList(bool caseSensitive) : caseSensitive_(caseSensitive) {}

static unsigned char AsciiUp(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }

int TFastStringList::CompareWhole(const std::string& a, const std::string& b) const {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (!caseSensitive_) {
      x = AsciiUp(x);
      y = AsciiUp(y);
    }
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

int TFastStringList::ComparePrefix(const std::string& entry, std::string_view text, int len) const {
  len = std::clamp(len, 0, static_cast<int>(text.size()));
  return caseSensitive_ ? CompareStrEx(entry, text.data(), len) : CompareTextEx(entry, text.data(), len);
}

int TFastStringList::AddObject(const std::string& s, void* object) {
  int index = 0;
  bool had = HasSpaces;
  HasSpaces = false;
  bool found = Find(s, index);
  HasSpaces = had;
  if (found) return index;  // duplicates are ignored
  items_.insert(items_.begin() + index, {s, object});
  return index;
}

void TFastStringList::Delete(int index) {
  if (index < 0 || index >= Count()) throw platform::EListError(FormatMsg(msg::SListIndexError, index));
  items_.erase(items_.begin() + index);
}

void TFastStringList::SetCaseSensitive(bool value) {
  if (value == caseSensitive_) return;
  caseSensitive_ = value;
  Sort();
}

void TFastStringList::Sort() {
  std::sort(items_.begin(), items_.end(), [this](const auto& a, const auto& b) { return CompareWhole(a.first, b.first) < 0; });
}

bool TFastStringList::Find(const std::string& s, int& index) const {
  return FindEx(s, static_cast<int>(s.size()), index);
}

bool TFastStringList::FindEx(std::string_view text, int len, int& index) const {
  int l = 0, h = Count() - 1;
  bool found = false;
  while (l <= h) {
    int i = (l + h) / 2;
    int c;
    if (HasSpaces) {
      int l2 = len;
      c = CompareWithSpaces(i, text, l2);
    } else {
      c = ComparePrefix(items_[static_cast<size_t>(i)].first, text, len);
    }
    if (c < 0) {
      l = i + 1;
    } else {
      h = i - 1;
      if (c == 0) {
        found = true;
        l = i;
      }
    }
  }
  index = l;
  return found;
}

int TFastStringList::CompareWithSpaces(int index, std::string_view text, int& len) const {
  const std::string& entry = items_.at(static_cast<size_t>(index)).first;
  int textLen = static_cast<int>(text.size());
  int n = std::max(len, std::min(textLen, static_cast<int>(entry.size())));
  if (n < textLen - 1 && n >= 0 && ValueSet().Contains(text[static_cast<size_t>(n)])) ++n;
  int c = ComparePrefix(entry, text, n);
  if (c == 0) len = n;
  return c;
}

bool TFastStringList::FindLast(const std::string& s, int& index, int& len) const { return FindLastEx(s, index, len); }

bool TFastStringList::FindLastEx(std::string_view text, int& index, int& len) const {
  bool found = false;
  for (int i = std::max(index, 0); i < Count(); ++i) {
    int l = len;
    if (CompareWithSpaces(i, text, l) != 0) break;
    index = i;
    len = l;
    found = true;
  }
  return found;
}

std::vector<TCustomQuillParser*>& ParserList() {
  static std::vector<TCustomQuillParser*> list;
  return list;
}

TCustomQuillParser::TCustomQuillParser(TQuillComponent* owner) : TQuillComponent(owner) { ParserList().push_back(this); }

TCustomQuillParser::~TCustomQuillParser() {
  notifiers_.BeforeDestroy(this);
  auto& list = ParserList();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void TCustomQuillParser::Changed() { notifiers_.SendNotification(this, 0); }
void TCustomQuillParser::UpdateColors(TCustomQuillEditorColors*, bool) {}
void TCustomQuillParser::ColorChanged(TColor) {}
int TCustomQuillParser::GetStyleByName(const std::string&) { return -1; }

void TCustomQuillParser::SetDelimiters(const std::string& s) {
  if (s == delimiters_) return;
  delimiters_ = s;
  Changed();
}

}  // namespace quill
