#include "editor/QuillKeyMaps.h"

#include <initializer_list>

#include "editor/QuillCommands.h"
#include "editor/QuillEdit.h"
#include "platform/VirtualKeys.h"

namespace quill {

namespace {

using namespace platform;
using E = TCustomQuillEdit;

constexpr uint8_t S = ssShift, A = ssAlt, C = ssCtrl;

// Registration in the words the maps are described in.
struct Map {
  TQuillKeyList& list;

  // In every state, ending any sequence.
  void Any(uint16_t key, uint8_t shift, TQuillKeyboardMethod m, int command) {
    list.RegisterAllKey(key, shift, m, static_cast<uint8_t>(command));
  }
  void Key(uint16_t key, uint8_t shift, TQuillKeyboardMethod m, int command, int newState = 0) {
    list.RegisterKey(key, shift, m, static_cast<uint8_t>(command), 0, static_cast<uint8_t>(newState));
  }
  void In(int state, uint16_t key, uint8_t shift, TQuillKeyboardMethod m, int command, int newState = 0) {
    list.RegisterKey(key, shift, m, static_cast<uint8_t>(command), static_cast<int8_t>(state),
                     static_cast<uint8_t>(newState));
  }
  // The key alone and with Mod, in a state.
  void InEither(int state, uint16_t key, uint8_t mod, TQuillKeyboardMethod m, int command) {
    In(state, key, 0, m, command);
    In(state, key, mod, m, command);
  }
  // The first key of a sequence.
  void Prefix(uint16_t key, uint8_t shift, int newState) { Key(key, shift, nullptr, 0, newState); }
};

enum class Kind { Default, Classic, Brief, Epsilon, VStudio };

void Common(Map& m, Kind kind) {
  m.Any(vkUp, 0, &E::Navigate, ecUp);
  m.Any(vkDown, 0, &E::Navigate, ecDown);
  m.Any(vkLeft, 0, &E::Navigate, ecLeft);
  m.Any(vkRight, 0, &E::Navigate, ecRight);
  m.Any(vkPrior, 0, &E::Navigate, ecPageUp);
  m.Any(vkNext, 0, &E::Navigate, ecPageDown);

  m.Key(vkDelete, 0, &E::DeleteStr, ecRight);
  m.Key(vkBack, 0, &E::DeleteStr, ecLeft);
  m.Key(vkBack, S, &E::DeleteStr, ecLeft);
  m.Key(vkReturn, 0, &E::ProcessKey, ecNewLine);
  m.Key(vkReturn, S, &E::ProcessKey, ecNewLine);
  m.Key(vkEscape, 0, &E::ProcessKey, ecEscape);
  m.Key(vkTab, 0, &E::ProcessKey, ecTab);
  m.Key(vkTab, S, &E::ProcessKey, ecBackTab);
  m.Key(vkLeft, C, &E::Navigate, ecWordLeft);
  m.Key(vkRight, C, &E::Navigate, ecWordRight);
  m.Key('J', C, &E::ShowCodeTemplates, 0);

  const struct {
    uint16_t key;
    int command;
  } extend[] = {{vkLeft, ecLeft},   {vkRight, ecRight}, {vkUp, ecUp},       {vkDown, ecDown},
                {vkHome, ecLineStart}, {vkEnd, ecLineEnd}, {vkPrior, ecPageUp}, {vkNext, ecPageDown}};
  for (const auto& e : extend) {
    m.Key(e.key, S, &E::SelectStreamBlock, e.command);
    m.Key(e.key, S | A, &E::SelectSquareBlock, e.command);
  }
  m.Key(vkLeft, S | C, &E::SelectStreamBlock, ecWordLeft);
  m.Key(vkRight, S | C, &E::SelectStreamBlock, ecWordRight);
  m.Key(vkLeft, S | A | C, &E::SelectSquareBlock, ecWordLeft);
  m.Key(vkRight, S | A | C, &E::SelectSquareBlock, ecWordRight);
  const bool classic = kind == Kind::Classic;
  const struct {
    uint16_t key;
    int command;
  } far[] = {{vkPrior, classic ? ecDocStart : ecWindowTop},
             {vkNext, classic ? ecDocEnd : ecWindowBottom},
             {vkHome, classic ? ecWindowTop : ecDocStart},
             {vkEnd, classic ? ecWindowBottom : ecDocEnd}};
  for (const auto& f : far) {
    m.Key(f.key, S | C, &E::SelectStreamBlock, f.command);
    m.Key(f.key, S | A | C, &E::SelectSquareBlock, f.command);
  }

  if (kind == Kind::Brief) return;
  m.Prefix('K', C, 1);
  m.Prefix('Q', C, 2);
  for (int n = 0; n <= 9; ++n) {
    const auto digit = static_cast<uint16_t>('0' + n);
    m.InEither(1, digit, C, &E::ToggleBookMark, n);
    m.Key(digit, S | C, &E::ToggleBookMark, n);
    m.InEither(2, digit, C, &E::GoToBookMark, n);
    m.Key(digit, C, &E::GoToBookMark, n);
  }
}

void Standard(Map& m) {
  m.Any(vkHome, 0, &E::Navigate, ecLineStart);
  m.Any(vkEnd, 0, &E::Navigate, ecLineEnd);
  m.Key(vkBack, A, &E::UndoOrRedo, ecUndo);
  m.Key(vkBack, S | A, &E::UndoOrRedo, ecRedo);
  m.Key(vkDelete, S, &E::ProcessBlock, ecCut);
  m.Key(vkDelete, C, &E::ProcessBlock, ecDeleteBlock);
  m.Key(vkInsert, S, &E::ProcessBlock, ecPaste);
  m.Key(vkInsert, C, &E::ProcessBlock, ecCopy);
  m.Key(vkInsert, 0, &E::Toggle, ecToggleOverwrite);
  m.In(2, 'F', C, &E::ExecuteDialog, ecFind);
  m.In(2, 'A', C, &E::ExecuteDialog, ecReplace);
  m.In(2, 'Y', C, &E::DeleteStr, ecLineEnd);
  m.Key(vkBack, C, &E::DeleteStr, ecWordLeft);
  m.Key('A', C, &E::ProcessBlock, ecSelectAll);
  m.Key('G', S | C, &E::InsertStr, 45);
  m.Prefix('O', C, 3);
  m.In(3, 'G', C, &E::ExecuteDialog, ecGotoLine);
  m.In(3, 'L', C, &E::ProcessBlock, ecSelectLine);
  m.In(3, 'U', C, &E::ProcessBlock, ecToggleCase);
  m.Key(vkOem4, C, &E::Navigate, 61);
  m.Key(vkOem6, C, &E::Navigate, 62);
  // Whatever key types "[" on the keyboard in use.
  const uint16_t bracket = KeyOfChar('[');
  if (bracket != 0xFFFF)
    m.Key(bracket & 0xFF, static_cast<uint8_t>(C | (bracket >> 8)), &E::FindBracket, 0);
  m.Key('E', C, &E::InitIncrementalSearch, 0);
}

void BlockSequences(Map& m) {
  const struct {
    char key;
    int command;
  } block[] = {{'B', ecMarkBlockBegin}, {'C', ecCopyToCaret},   {'E', ecLowerCaseWord},   {'F', ecUpperCaseWord},
               {'I', ecIndentBlock},    {'L', ecSelectLine},    {'N', ecUpperCaseBlock},  {'O', ecLowerCaseBlock},
               {'U', ecOutdentBlock},   {'K', ecMarkBlockEnd},  {'T', ecMarkWord},        {'V', ecMoveBlock},
               {'Y', ecDeleteSelection}},
    moves[] = {{'B', ecSelectionStart}, {'C', ecDocEnd},      {'D', ecLineEnd},   {'E', ecWindowTop},
               {'K', ecSelectionEnd},   {'R', ecDocStart},    {'S', ecLineStart}, {'T', ecWindowTop},
               {'U', ecWindowBottom},   {'X', ecWindowBottom}};
  for (const auto& b : block) m.InEither(1, static_cast<uint16_t>(b.key), C, &E::ProcessBlock, b.command);
  for (const auto& b : moves) m.InEither(2, static_cast<uint16_t>(b.key), C, &E::Navigate, b.command);
}

void FarMoves(Map& m, int home, int end, int pageUp, int pageDown) {
  m.Any(vkHome, C, &E::Navigate, home);
  m.Any(vkEnd, C, &E::Navigate, end);
  m.Any(vkPrior, C, &E::Navigate, pageUp);
  m.Any(vkNext, C, &E::Navigate, pageDown);
}

// The clipboard, search, undo, line and indent keys the default and VStudio
// maps bind alike; neither map binds these keys again afterwards.
void DefaultAndVStudio(Map& m) {
  m.Key('X', C, &E::ProcessBlock, ecCut);
  m.Key('V', C, &E::ProcessBlock, ecPaste);
  m.Key('C', C, &E::ProcessBlock, ecCopy);
  m.Key(vkF1 + 2, 0, &E::FindNext, ecFind);
  m.Key('F', C, &E::ExecuteDialog, ecFind);
  m.Key(vkDown, C, &E::Navigate, ecScrollDown);
  m.Key(vkUp, C, &E::Navigate, ecScrollUp);
  m.Key('Z', C, &E::UndoOrRedo, ecUndo);
  m.Key('Z', S | C, &E::UndoOrRedo, ecRedo);
  m.Key('Y', S | C, &E::DeleteStr, ecLineEnd);
  m.Key('Y', C, &E::DeleteStr, ecDeleteLine);
  m.Key('I', S | C, &E::ProcessBlock, ecIndentBlock);
  m.Key('U', S | C, &E::ProcessBlock, ecOutdentBlock);
  FarMoves(m, ecDocStart, ecDocEnd, ecWindowTop, ecWindowBottom);
}

void DefaultOwn(Map& m) {
  DefaultAndVStudio(m);
  m.Key('R', C, &E::ExecuteDialog, ecReplace);
  m.Key('L', C, &E::FindNext, ecFind);
  m.Key('I', C, &E::ProcessKey, ecTab);
  m.Key('N', C, &E::InsertStr, ecBreakLine);
  m.Key('T', C, &E::DeleteStr, ecWordEnd);
}

void ClassicOwn(Map& m) {
  m.Key('A', C, &E::Navigate, ecWordLeft);
  m.Key('C', C, &E::Navigate, ecWindowBottom);
  m.Key('D', C, &E::Navigate, ecRight);
  m.Key('E', C, &E::Navigate, ecUp);
  m.Key('F', C, &E::Navigate, ecWordRight);
  m.Key('G', C, &E::DeleteStr, ecRight);
  m.Key('H', C, &E::DeleteStr, ecLeft);
  m.Key('I', C, &E::ProcessKey, ecTab);
  m.Key('L', C, &E::FindNext, ecFind);
  m.Key('N', C, &E::ProcessKey, ecNewLine);
  m.Key('R', C, &E::Navigate, ecPageUp);
  m.Key('S', C, &E::Navigate, ecLeft);
  m.Key('T', C, &E::DeleteStr, ecWordEnd);
  m.Key('V', C, &E::Toggle, ecToggleOverwrite);
  m.Key('W', C, &E::Navigate, ecPageDown);
  m.Key('X', C, &E::Navigate, ecDown);
  m.Key('Y', C, &E::DeleteStr, ecDeleteLine);
  m.Key('Z', C, &E::Navigate, ecUp);
  m.Key('S', S | C, &E::FindNext, ecFind);
  m.Key(vkBack, S, &E::DeleteStr, ecLeft);
  FarMoves(m, ecWindowTop, ecWindowBottom, ecDocStart, ecDocEnd);
}

void BriefOwn(Map& m) {
  m.Key(vkSubtract, 0, &E::ProcessBlock, ecCut);
  m.Key(vkInsert, 0, &E::ProcessBlock, ecPaste);
  m.Key(vkAdd, 0, &E::ProcessBlock, ecCopy);
  m.Key(vkMultiply, 0, &E::UndoOrRedo, ecUndo);
  m.Key('A', C, &E::ProcessBlock, ecLineEnd);
  m.Key('B', C, &E::Navigate, ecWindowBottom);
  m.Key('C', C, &E::Navigate, ecCenterLine);
  m.Key('D', C, &E::Navigate, ecPageDown);
  m.Key('E', C, &E::Navigate, ecPageUp);
  m.Key('K', C, &E::DeleteStr, ecLineStart);
  m.Key('M', C, &E::ProcessKey, ecNewLine);
  m.Key('T', C, &E::Navigate, ecWindowTop);
  m.Key('U', C, &E::UndoOrRedo, ecRedo);
  m.Key(vkBack, C, &E::DeleteStr, ecWordLeft);
  m.Key(vkReturn, C, &E::InsertStr, ecBreakLine);
  m.Key('D', A, &E::DeleteStr, ecDeleteLine);
  m.Key('G', A, &E::ExecuteDialog, ecGotoLine);
  m.Key('I', A, &E::Toggle, ecToggleOverwrite);
  m.Key('K', A, &E::DeleteStr, ecLineEnd);
  m.Key('U', A, &E::UndoOrRedo, ecUndo);
  m.Key(vkBack, A, &E::DeleteStr, ecWordRight);
  m.Prefix('O', C, 3);
  m.In(3, 'O', C, &E::ProcessBlock, ecToggleCase);
  const uint16_t f5 = vkF1 + 4, f6 = vkF1 + 5;
  m.Key(f5, 0, &E::ExecuteDialog, ecFind);
  m.Key(f6, 0, &E::ExecuteDialog, ecReplace);
  m.Key(f5, A, &E::ExecuteDialog, ecFind);
  m.Key(f6, A, &E::ExecuteDialog, ecReplace);
  m.Key(f5, S, &E::FindNext, ecFind);
  m.Key(f6, S, &E::FindNext, ecReplace);
  m.Key(f5, C, &E::Toggle, ecToggleCaseSensitive);
  m.Key(f6, C, &E::Toggle, ecToggleRegularExpr);
  m.Key('S', A, &E::ExecuteDialog, ecFind);
  m.Key('S', C, &E::FindNext, ecFind);
  m.Key('T', A, &E::ExecuteDialog, ecReplace);
  m.Any(vkHome, S, &E::Navigate, ecLineStart);
  m.Any(vkEnd, S, &E::Navigate, ecLineEnd);
  FarMoves(m, ecWindowTop, ecWindowBottom, ecDocStart, ecDocEnd);
  for (int n = 0; n <= 9; ++n) {
    const auto digit = static_cast<uint16_t>('0' + n);
    m.Key(digit, A, &E::ToggleBookMark, n);
    m.InEither(4, digit, A, &E::GoToBookMark, n);
  }
  m.Prefix('J', A, 4);
  // Marking modes: 5 extends a stream, 6 a column block, until Esc.
  m.Key('A', A, &E::SelectStreamBlock, ecStreamMode, 5);
  m.Key('L', A, &E::ProcessBlock, ecSelectLine, 5);
  m.Key('M', A, &E::SelectStreamBlock, ecRight, 5);
  m.Key('C', A, &E::SelectSquareBlock, ecColumnMode, 6);
  const struct {
    uint16_t key;
    int command;
  } moves[] = {{vkLeft, ecLeft},   {vkRight, ecRight},     {vkUp, ecUp},        {vkDown, ecDown},
               {vkPrior, ecPageUp}, {vkNext, ecPageDown}, {vkHome, ecLineStart}, {vkEnd, ecLineEnd}};
  for (const auto& mv : moves) {
    m.In(5, mv.key, 0, &E::SelectStreamBlock, mv.command, 5);
    m.In(6, mv.key, 0, &E::SelectSquareBlock, mv.command, 6);
  }
  m.In(5, vkEscape, 0, &E::ProcessBlock, ecClearSelection);
  m.In(6, vkEscape, 0, &E::ProcessBlock, ecClearSelection);
  // Home twice goes to the top of the text, End twice to its end.
  m.Key(vkHome, 0, &E::Navigate, ecLineStart, 7);
  m.Key(vkEnd, 0, &E::Navigate, ecLineEnd, 7);
  m.In(7, vkHome, 0, &E::Navigate, ecDocStart);
  m.In(7, vkEnd, 0, &E::Navigate, ecDocEnd);
}

void EpsilonOwn(Map& m) {
  m.Key('Y', C, &E::ProcessBlock, ecPaste);
  m.Key('W', A, &E::ProcessBlock, ecCopy);
  m.Key('W', C, &E::ProcessBlock, ecCut);
  m.Key('H', C, &E::DeleteStr, ecLeft);
  m.Key('H', A | C, &E::DeleteStr, ecWordLeft);
  m.Key('D', C, &E::DeleteStr, ecRight);
  m.Key('D', A, &E::DeleteStr, ecWordRight);
  m.Key('C', A, &E::ProcessBlock, ecCapitalize);
  m.Key('M', C, &E::ProcessKey, ecNewLine);
  m.Key('O', C, &E::InsertStr, ecBreakLine);
  m.Key('L', A, &E::ProcessBlock, ecLowerCaseWord);
  m.Key('U', A, &E::ProcessBlock, ecUpperCaseWord);
  m.Prefix('X', C, 8);
  m.InEither(8, 'G', C, &E::ExecuteDialog, ecGotoLine);
  m.In(8, 'N', C, &E::ExecuteDialog, ecFind);
  m.InEither(8, 'R', C, &E::UndoOrRedo, ecRedo);
  m.InEither(8, 'U', C, &E::UndoOrRedo, ecUndo);
  m.In(8, '0', C, &E::DeleteStr, ecDeleteAll);
  m.In(8, vkTab, C, &E::ProcessBlock, ecIndentBlock);
  m.Key(vkF1 + 9, C, &E::UndoOrRedo, ecRedo);
  m.Key(vkF1 + 8, C, &E::UndoOrRedo, ecUndo);
  m.Key(vkInsert, 0, &E::Toggle, ecToggleOverwrite);
  m.Key(vkBack, A, &E::DeleteStr, ecWordLeft);
  m.Key('B', C, &E::Navigate, ecLeft);
  m.Key('F', C, &E::Navigate, ecRight);
  m.Key('B', A, &E::Navigate, ecWordLeft);
  m.Key('F', A, &E::Navigate, ecWordRight);
  m.Key('A', C, &E::Navigate, ecLineStart);
  m.Key('E', C, &E::Navigate, ecLineEnd);
  m.Key('P', C, &E::Navigate, ecUp);
  m.Key('N', C, &E::Navigate, ecDown);
  m.Key('V', C, &E::Navigate, ecPageDown);
  m.Key('V', A, &E::Navigate, ecPageUp);
  m.Key('Z', A, &E::Navigate, ecScrollDown);
  m.Key('Z', C, &E::Navigate, ecScrollUp);
  m.Key('S', A | C, &E::ExecuteDialog, ecFind);
  m.Key('R', A | C, &E::ExecuteDialog, ecReplace);
  m.Key('5', S | A, &E::ExecuteDialog, ecFind);
  m.Key('7', S | A, &E::ExecuteDialog, ecReplace);
  m.Key(vkHome, 0, &E::Navigate, ecWindowTop);
  m.Key(vkEnd, 0, &E::Navigate, ecWindowBottom);
  m.Key(vkHome, C, &E::Navigate, ecDocStart);
  m.Key(vkEnd, C, &E::Navigate, ecDocEnd);
  m.Key(vkF1 + 5, C, &E::Navigate, ecPageDown);
  m.Key(vkF1 + 5, S | C, &E::Navigate, ecPageDown);
  m.Key(vkSubtract, A, &E::Navigate, ecWindowTop);
}

void VStudioOwn(Map& m) {
  DefaultAndVStudio(m);
  m.Key(vkDelete, S, &E::ProcessBlock, ecCut);
  m.Key(vkInsert, S, &E::ProcessBlock, ecPaste);
  m.Key(vkInsert, C, &E::ProcessBlock, ecCopy);
  m.Key('G', A, &E::ExecuteDialog, ecGotoLine);
  m.Key('H', C, &E::ExecuteDialog, ecReplace);
  m.Key('I', C, &E::FindNext, ecFind);
  m.Key('L', C, &E::DeleteStr, ecDeleteLine);
  m.Key('T', C, &E::DeleteStr, ecWordLeft);
  m.In(1, 'E', C, &E::ProcessBlock, ecLowerCaseBlock);
  m.In(1, 'F', C, &E::ProcessBlock, ecUpperCaseBlock);
  m.In(2, 'A', 0, &E::ExecuteDialog, ecReplace);
  m.In(2, 'F', 0, &E::ExecuteDialog, ecFind);
  m.In(2, 'Y', 0, &E::DeleteStr, ecLineEnd);
  m.InEither(2, vkOem6, C, &E::Navigate, 61);
  m.InEither(2, vkOem4, C, &E::Navigate, 62);
  m.Key(vkOem6, A, &E::Navigate, 61);
  m.Key(vkOem4, A, &E::Navigate, 62);
  m.Key(vkF1 + 2, A, &E::ExecuteDialog, ecFind);
  m.Key(vkBack, C, &E::DeleteStr, ecWordLeft);
  m.Key(vkInsert, 0, &E::Toggle, ecToggleOverwrite);
  m.Key(vkBack, A, &E::UndoOrRedo, ecUndo);
  m.Key(vkBack, S | A, &E::UndoOrRedo, ecRedo);
  m.Key(vkDelete, C, &E::ProcessBlock, ecDeleteSelection);
  m.Any(vkHome, 0, &E::Navigate, ecLineStart);
  m.Any(vkEnd, 0, &E::Navigate, ecLineEnd);
}

// A map from an empty list: the bindings every map shares, then its groups in
// order (a later binding of the same keys replaces an earlier one).
void Fill(TCustomQuillEdit& edit, Kind kind, std::initializer_list<void (*)(Map&)> groups) {
  Map m{edit.KeyList()};
  m.list.Clear();
  Common(m, kind);
  for (auto group : groups) group(m);
}

}  // namespace

void InitializeDefaultKeys(TCustomQuillEdit& edit) {
  Fill(edit, Kind::Default, {Standard, BlockSequences, DefaultOwn});
}

void InitializeClassicKeys(TCustomQuillEdit& edit) {
  Fill(edit, Kind::Classic, {BlockSequences, Standard, ClassicOwn});
}

void InitializeBriefKeys(TCustomQuillEdit& edit) { Fill(edit, Kind::Brief, {BriefOwn}); }

void InitializeEpsilonKeys(TCustomQuillEdit& edit) { Fill(edit, Kind::Epsilon, {EpsilonOwn}); }

void InitializeVStudioKeys(TCustomQuillEdit& edit) { Fill(edit, Kind::VStudio, {BlockSequences, VStudioOwn}); }

}  // namespace quill
