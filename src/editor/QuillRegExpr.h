#pragma once

// The editor's own small regular expressions, used by the syntax parser (anchored at one
// position of a line) and by regular-expression search (scanning a line either way).
//
// Syntax, one 8-bit character per byte:
//   c          a character (compared upper-cased unless case-sensitive)
//   #NNN       the character with decimal number NNN (the number kept to 8 bits)
//   \c         the character c itself, whatever it is
//   .          any one character
//   [...]      a set: characters, #NNN, ranges a-z, \ before one of !$*+.[]^{|}-\ ;
//              "[^" negates it; without case the members and range ends are upper-cased
//   ^  $       start of the line (when the match starts there), end of the text
//   {...}      a group
//   X+ X* X|   one or more, zero or more, zero or one of the item X (postfix)
//   !X         one character where X does not match (X an item or a group), taken where
//              X fails; the match (or the repetition holding !X) ends with it. Where X
//              does match, or no character is left to take, the path fails.

#include <bitset>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Exception.h"

namespace quill {

// Raised by the compiler: "<expression> is invalid mask at (<1-based position>)".
class EQuillRegExprError : public platform::Exception {
 public:
  EQuillRegExprError(const std::string& expression, int position);
  int Position() const { return position_; }

 private:
  int position_;
};

// Raised by a search whose expression backtracked past its allowance at one start
// position: the search cannot tell whether the text matches there, so it must not
// answer "not found".
class EQuillRegExprGaveUp : public platform::Exception {
 public:
  explicit EQuillRegExprGaveUp(const std::string& expression);
};

// Kinds of the compiled state list, in the order the state records number them.
enum TQuillRegStateKind : uint8_t {
  rsChar = 0,        // a literal character; the final state is a kind-0 state too
  rsAnyChar = 1,     // "."
  rsCharSet = 2,     // "[...]"
  rsLineStart = 3,   // "^"
  rsTextEnd = 4,     // "$"
  rsGroupStart = 5,  // "{" (also the implicit group around a quantified literal or set)
  rsGroupEnd = 6,    // "}"
  rsEscape = 7,      // the backslash of an escaped character; Char holds that character
  rsPlus = 8,
  rsOptional = 9,
  rsStar = 10,
};

// One item of the compiled expression, as the syntax parser reads it to file rules by
// their first character.
struct TQuillRegState {
  int32_t Next = -1;  // for states of a quantified item: index of the item's last state
  bool Negated = false;
  uint8_t Kind = rsChar;
  uint8_t Char = 0;  // upper-cased unless case-sensitive
  bool SetNegated = false;
  std::bitset<256> Set;  // members of a set (both cases of a letter when case-insensitive)
};

struct TQuillStackEntry {
  int32_t Pos;
  int32_t State;
};

// The backtracking stack: alternatives still to try, kept in one reusable block.
class TQuillStackList {
 public:
  TQuillStackList() { items_.reserve(16); }
  void Push(int32_t pos, int32_t state) { items_.push_back({pos, state}); }
  bool Pop(int32_t& pos, int32_t& state) {
    if (items_.empty()) return false;
    pos = items_.back().Pos;
    state = items_.back().State;
    items_.pop_back();
    return true;
  }
  void Clear() { items_.clear(); }
  size_t Count() const { return items_.size(); }
  void SetCount(size_t count) { items_.resize(count); }
  TQuillStackEntry& operator[](size_t index) { return items_[index]; }
  TQuillStackEntry& Last() { return items_.back(); }

 private:
  std::vector<TQuillStackEntry> items_;
};

class TQuillRegExpr {
 public:
  // Compiles at once; raises EQuillRegExprError on a malformed expression.
  TQuillRegExpr(const std::string& Expression, bool CaseSensitive);
  virtual ~TQuillRegExpr();
  TQuillRegExpr(const TQuillRegExpr&) = delete;
  TQuillRegExpr& operator=(const TQuillRegExpr&) = delete;

  const std::string& Expression() const { return expression_; }
  bool CaseSensitive() const { return caseSensitive_; }
  const std::vector<TQuillRegState>& States() const { return states_; }

  // Match anchored at the start of P, which is also taken as the line start ("^" holds
  // there only when FirstInLine). Len is the length matched, at least 1. A match that
  // runs past its allowance answers false with GaveUp() set: the syntax parser, which
  // calls this while it paints, has no way to report it.
  bool StringMatch(std::string_view P, bool FirstInLine, int& Len);
  // The last StringMatch or search stopped at its allowance instead of deciding.
  bool GaveUp() const { return aborted_; }

  // Searches Text from the 1-based Pos towards its end (Forward) or its start, one
  // position at a time; the first position with a match wins. On success Pos is the
  // match start (1-based) and MatchEnd its end counted from the start of Text; on
  // failure both are 0. Each start position has its own allowance, which grows with
  // the text; one that runs past it raises EQuillRegExprGaveUp.
  bool FindRegExpr(std::string_view Text, bool Forward, int& MatchEnd, int& Pos);
  // As FindRegExpr, with MatchLen the length of the match (0 for an empty one).
  bool Find(std::string_view Text, bool Forward, int& MatchLen, int& Pos);
  bool FindString(const std::string& S, int& Pos, bool Forward, int& MatchLen);

  // The expression only asks for an empty line: "^", "$" or "^$".
  bool EmptyLine() const;
  // The first state that reads a character (literal, escape, "." or set), or null.
  const TQuillRegState* GetFirstState() const;

  void Push(int32_t P, int32_t State) { stack_.Push(P, State); }
  bool Pop(int32_t& P, int32_t& State) { return stack_.Pop(P, State); }

  struct Program;

 private:
  // Reads the expression into its states and the program that runs them.
  void InitRegStates();
  int MatchAt(std::string_view text, int pos, bool firstInLine);
  int SearchForward(std::string_view text, int from, int& length);
  int Run(int pc, int pos, bool endMarked);
  void StartCall();

  std::vector<TQuillRegState> states_;
  TQuillStackList stack_;
  bool caseSensitive_;
  std::string expression_;
  bool firstInLine_ = false;
  int lineStart_ = 0;

  std::unique_ptr<Program> program_;
  std::vector<int32_t> slots_;
  const uint8_t* text_ = nullptr;
  int textLength_ = 0;
  int64_t budget_ = 0;
  bool aborted_ = false;
  // Where the body of a negated item first failed, during its trial.
  int negFail_ = -1;
};

}  // namespace quill
