#include "editor/QuillKeyList.h"

namespace quill {

TQuillKeyList::TQuillKeyList() {
  SetSorted(true);
  Duplicates = TDuplicates::dupIgnore;
}

int TQuillKeyList::Compare(const TQuillKeyData& a, const TQuillKeyData& b) const {
  if (a.Key != b.Key) return a.Key < b.Key ? -1 : 1;
  if (a.Shift != b.Shift) return a.Shift < b.Shift ? -1 : 1;
  // The every-state entry (-1) comes before the entries of single states.
  if (a.State != b.State) return a.State < b.State ? -1 : 1;
  return 0;
}

const TQuillKeyData* TQuillKeyList::RegisterKey(uint16_t key, uint8_t shift, TQuillKeyboardMethod method,
                                                uint8_t command, int8_t state, uint8_t newState) {
  const TQuillKeyData data{key, shift, state, newState, method, command};
  int index = -1;
  if (Find(data, index)) Delete(index);
  return &Items(Add(data));
}

int TQuillKeyList::FindKeyIndex(uint16_t key, uint8_t shift, int state) const {
  const TQuillKeyData probe{key, shift, -1, 0, nullptr, 0};
  int index = 0;
  Find(probe, index);
  int result = -1;
  for (; index < Count(); ++index) {
    const TQuillKeyData& d = Items(index);
    if (d.Key != key || d.Shift != shift) break;
    if (d.State == -1 || (state >= 0 && d.State == state)) result = index;
  }
  return result;
}

const TQuillKeyData* TQuillKeyList::FindKeyData(uint16_t key, uint8_t shift, int state) const {
  const int index = FindKeyIndex(key, shift, state);
  return index >= 0 ? &Items(index) : nullptr;
}

void TQuillKeyList::UnregisterKey(uint16_t key, uint8_t shift, int state) {
  const int index = FindKeyIndex(key, shift, state);
  if (index >= 0) Delete(index);
}

}  // namespace quill
