#pragma once

// The editor's table of key bindings. Each entry ties a key with a shift
// state, in one state of a small key-sequence machine, to an editor command
// handler and a command code (QuillCommands.h). A two-key command is two
// entries: a prefix key that only switches the state, and the second key
// bound in that state. The control looks each pressed key up together with
// its current state and enters the entry's NewState after it fires.

#include <cstdint>

#include "editor/QuillContainers.h"

namespace quill {

class TCustomQuillEdit;

// A handler of the control taking the entry's one-byte command.
using TQuillKeyboardMethod = void (TCustomQuillEdit::*)(int command);

struct TQuillKeyData {
  uint16_t Key = 0;
  uint8_t Shift = 0;  // ssShift | ssAlt | ssCtrl
  int8_t State = 0;   // -1: in every state
  uint8_t NewState = 0;
  TQuillKeyboardMethod Method = nullptr;  // none: the entry only switches the state
  uint8_t Command = 0;
};

class TQuillKeyList : public TQuillSortedList<TQuillKeyData> {
 public:
  TQuillKeyList();

  // Replaces a binding of the same key, shift and state. The result stays
  // valid until the list changes.
  const TQuillKeyData* RegisterKey(uint16_t key, uint8_t shift, TQuillKeyboardMethod method, uint8_t command,
                                   int8_t state, uint8_t newState);
  // A binding for every state that ends any pending sequence.
  const TQuillKeyData* RegisterAllKey(uint16_t key, uint8_t shift, TQuillKeyboardMethod method, uint8_t command) {
    return RegisterKey(key, shift, method, command, -1, 0);
  }
  const TQuillKeyData* RegisterSimpleKey(uint16_t key, uint8_t shift, TQuillKeyboardMethod method, uint8_t command) {
    return RegisterKey(key, shift, method, command, 0, 0);
  }
  // The binding of the key in that state, where one for that very state wins
  // over one for every state; a negative state finds every-state bindings
  // only. -1 / null when none.
  int FindKeyIndex(uint16_t key, uint8_t shift, int state) const;
  const TQuillKeyData* FindKeyData(uint16_t key, uint8_t shift, int state) const;
  void UnregisterKey(uint16_t key, uint8_t shift, int state);

 protected:
  int Compare(const TQuillKeyData& a, const TQuillKeyData& b) const override;
};

}  // namespace quill
