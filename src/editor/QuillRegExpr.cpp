#include "editor/QuillRegExpr.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

#include "editor/QuillUtils.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quill {

namespace {

// Nesting of groups and negations is bounded so that neither the compiler nor the
// matcher (which recurses once per nested negation) can exhaust the call stack.
constexpr int kMaxNesting = 500;

// Work allowed for one start position: a fixed allowance plus a share per character of
// the text, so an ordinary pattern is never cut short however long the line, while one
// that backtracks exponentially stops within a fraction of a second. The backtrack
// stack grows by at most one entry a step, so the allowance bounds it too.
constexpr int64_t kBaseBudget = 10'000'000;
constexpr int64_t kBudgetPerChar = 64;

// Backtrack entries: State >= 0 holds a code index plus these two flags; a negative
// State restores loop slot (-State - 1) to Pos; kLowerBound sits under a give-back entry.
constexpr int32_t kEndMarked = 1 << 30;
constexpr int32_t kGiveBack = 1 << 29;
constexpr int32_t kPcMask = kGiveBack - 1;
constexpr int32_t kLowerBound = INT32_MIN;

// What a run of one-character repetitions (OpRepeat, its b) does when what follows fails.
constexpr int32_t kPossessive = 1;       // nothing: no shorter run can succeed
constexpr int32_t kGivesBackAtOnce = 2;  // starts at the last place the literal after it can

// A length or offset without a bound.
constexpr int kUnbounded = INT_MAX / 4;

constexpr uint8_t AsciiUpper(uint8_t c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

struct FoldTables {
  std::array<uint8_t, 256> same{};
  std::array<uint8_t, 256> upper{};
  constexpr FoldTables() {
    for (int c = 0; c < 256; ++c) {
      same[c] = static_cast<uint8_t>(c);
      upper[c] = AsciiUpper(static_cast<uint8_t>(c));
    }
  }
};
constexpr FoldTables kFold;

struct Node {
  enum Type : uint8_t { Char, Class, LineStart, TextEnd, Group };
  Type type = Char;
  uint8_t ch = 0;  // folded
  bool escaped = false;
  bool any = false;
  bool setNegated = false;
  bool negated = false;
  char quant = 0;
  // A quantifier written right after "{": it repeats the group's (empty) start alone.
  bool groupStart = false;
  std::bitset<256> set;  // upper-cased members when the expression ignores case
  std::vector<Node> children;
};

enum Op : uint8_t {
  OpChar,
  OpStr,
  OpClass,
  OpLineStart,
  OpTextEnd,
  OpSplit,
  OpJmp,
  OpNotEnd,
  OpSave,
  OpProgress,
  OpRepeat,
  OpNot,
  OpNegClass,
  OpSucceed,
};

struct Inst {
  Op op;
  uint8_t c = 0;
  int32_t a = 0;
  int32_t b = 0;
};

}  // namespace

struct TQuillRegExpr::Program {
  std::vector<Inst> code;
  std::vector<std::array<bool, 256>> classes;
  std::string literals;
  const uint8_t* fold = kFold.same.data();
  int slotCount = 0;
  // Positions worth trying: a match at p can only begin with a character of startChars
  // unless startAnywhere.
  bool startAnywhere = true;
  std::array<bool, 256> startChars{};
  int singleStartChar = -1;
  bool onlyAtLineStart = false;
  // A literal every match holds (folded), looked for with a fast search before any
  // start is tried: a match starting at p holds it at p + literalMin .. p + literalMax.
  std::string literal;
  int literalMin = 0;
  int literalMax = 0;  // kUnbounded: anywhere after literalMin
  // The literal's first character in both cases, then its last in both cases, each
  // sixteen times over: what the search compares sixteen characters with at once.
  alignas(16) std::array<std::array<uint8_t, 16>, 4> literalBlocks{};
  // The expression is the literal alone: where the literal is, there is the match.
  bool literalOnly = false;
  // The expression starts with a run of one-character repetitions (code[0]), "+" or
  // "*". All starts inside one run share the outcome of its first: the run ends at
  // the same place, and what follows sees the same text.
  bool leadingRun = false;
  // The literal directly follows that run and the run never holds its first character,
  // so the run of a match ends right where an occurrence of the literal begins.
  bool literalAfterRun = false;
  // The expression ends with "$" and matches at most maxLength characters (-1: no bound),
  // so no match starts before the last maxLength characters of the text.
  bool endAnchored = false;
  int maxLength = -1;
};

// The position goes in first: the expression may hold "%d" itself.
EQuillRegExprError::EQuillRegExprError(const std::string& expression, int position)
    : platform::Exception(FormatMsg(FormatMsg("%s is invalid mask at (%d)", position).c_str(), expression)),
      position_(position) {}

EQuillRegExprGaveUp::EQuillRegExprGaveUp(const std::string& expression)
    : platform::Exception(FormatMsg("Search string '%s' backtracks too much: the search gave up", expression)) {}

namespace {

class Compiler {
 public:
  Compiler(const std::string& expression, bool caseSensitive, TQuillRegExpr::Program& program,
           std::vector<TQuillRegState>& states)
      : e_(expression), caseSensitive_(caseSensitive), prog_(program), states_(states) {}

  void Compile() {
    std::vector<Node> items = ParseSeq(0);
    EmitStates(items, false);
    TQuillRegState end;
    states_.push_back(end);

    prog_.fold = caseSensitive_ ? kFold.same.data() : kFold.upper.data();
    callEnds_.emplace_back();
    EmitSeq(items);
    EndCall(Emit({OpSucceed}));
    MarkPossessiveRepeats();

    std::bitset<256> first;
    prog_.startAnywhere = SeqFirst(items, first);
    if (!prog_.startAnywhere) {
      for (int c = 0; c < 256; ++c) prog_.startChars[c] = first[c];
      if (first.count() == 1)
        for (int c = 0; c < 256; ++c)
          if (first[c]) prog_.singleStartChar = c;
    }
    prog_.onlyAtLineStart = !items.empty() && items[0].type == Node::LineStart &&
                            !items[0].negated && !items[0].quant;
    ChooseLiteral(items);
    prog_.endAnchored = !items.empty() && items.back().type == Node::TextEnd && !items.back().negated &&
                        !EndsEarly(items);
    const int longest = SeqSpan(items).max;
    prog_.maxLength = longest >= kUnbounded ? -1 : longest;
  }

 private:
  [[noreturn]] void Fail(size_t index) const { throw EQuillRegExprError(e_, static_cast<int>(index) + 1); }

  uint8_t Fold(uint8_t c) const { return caseSensitive_ ? c : AsciiUpper(c); }

  // --- reading the expression ---

  std::vector<Node> ParseSeq(int depth) {
    std::vector<Node> items;
    while (i_ < e_.size()) {
      char c = e_[i_];
      if (c == '}') {
        if (depth == 0) Fail(i_);
        return items;
      }
      if (c == '*' || c == '+' || c == '|') {
        if (items.empty() && depth > 0) {
          // Right after "{" the last state is the group's start, which may be repeated.
          items.emplace_back();
          items.back().type = Node::Group;
          items.back().groupStart = true;
        }
        if (items.empty() || items.back().quant || items.back().type == Node::LineStart ||
            items.back().type == Node::TextEnd)
          Fail(i_);
        items.back().quant = c;
        ++i_;
        continue;
      }
      items.push_back(ParseItem(depth));
    }
    return items;
  }

  Node ParseItem(int depth) {
    Node node;
    size_t bang = 0;
    while (i_ < e_.size() && e_[i_] == '!') {
      node.negated = true;
      bang = i_++;
    }
    if (i_ == e_.size()) Fail(bang);
    char c = e_[i_];
    if (node.negated && (c == '}' || c == '*' || c == '+' || c == '|')) Fail(i_);
    switch (c) {
      case '\\':
        if (i_ + 1 == e_.size()) Fail(i_);
        node.type = Node::Char;
        node.ch = Fold(static_cast<uint8_t>(e_[i_ + 1]));
        node.escaped = true;
        i_ += 2;
        break;
      case '.':
        node.type = Node::Class;
        node.any = true;
        node.set.set();
        ++i_;
        break;
      case '^':
        node.type = Node::LineStart;
        ++i_;
        break;
      case '$':
        node.type = Node::TextEnd;
        ++i_;
        break;
      case '[':
        ParseSet(node);
        break;
      case '{': {
        size_t open = i_;
        if (depth + 1 > kMaxNesting) Fail(i_);
        ++i_;
        node.type = Node::Group;
        node.children = ParseSeq(depth + 1);
        if (i_ == e_.size()) Fail(open);
        ++i_;
        break;
      }
      case '#':
        node.type = Node::Char;
        node.ch = Fold(ReadNumberedChar());
        break;
      default:
        node.type = Node::Char;
        node.ch = Fold(static_cast<uint8_t>(c));
        ++i_;
    }
    return node;
  }

  // At a "#": the digits that follow give the character, its number kept to the 8 bits
  // a character has; a "#" without digits stands for itself, so "#" can be written
  // plainly where no digit follows.
  uint8_t ReadNumberedChar() {
    ++i_;
    int value = 0, digits = 0;
    while (i_ < e_.size() && e_[i_] >= '0' && e_[i_] <= '9') {
      value = (value * 10 + (e_[i_] - '0')) % 256;
      ++digits;
      ++i_;
    }
    if (digits == 0) return '#';
    return static_cast<uint8_t>(value);
  }

  int ReadSetChar(size_t open) {
    char c = e_[i_];
    if (c == '\\') {
      if (i_ + 1 == e_.size()) Fail(open);
      char next = e_[i_ + 1];
      if (!std::strchr("!$*+.[]^{|}-\\", next) || next == '\0') Fail(i_);
      i_ += 2;
      return static_cast<uint8_t>(next);
    }
    if (c == '#') return ReadNumberedChar();
    ++i_;
    return static_cast<uint8_t>(c);
  }

  void ParseSet(Node& node) {
    size_t open = i_++;
    node.type = Node::Class;
    if (i_ < e_.size() && e_[i_] == '^') {
      node.setNegated = true;
      ++i_;
    }
    bool anyItem = false;
    for (;;) {
      if (i_ >= e_.size()) Fail(open);
      char c = e_[i_];
      if (c == ']') {
        if (!anyItem) Fail(i_);
        ++i_;
        break;
      }
      if (c == '-') Fail(i_);  // no character before it
      const int first = Fold(static_cast<uint8_t>(ReadSetChar(open)));
      anyItem = true;
      if (i_ >= e_.size() || e_[i_] != '-') {
        node.set.set(first);
        continue;
      }
      // A range; one whose end lies below its start adds nothing.
      const size_t dash = i_++;
      if (i_ >= e_.size()) Fail(open);
      if (e_[i_] == ']') Fail(dash);
      const int last = Fold(static_cast<uint8_t>(ReadSetChar(open)));
      for (int x = first; x <= last; ++x) node.set.set(x);
    }
  }

  // --- the state list the syntax parser reads ---

  void AddState(uint8_t kind, uint8_t ch = 0) {
    TQuillRegState s;
    s.Kind = kind;
    s.Char = ch;
    states_.push_back(s);
  }

  void EmitStates(const std::vector<Node>& items, bool negatedOuter) {
    for (const Node& item : items) {
      if (item.groupStart) {
        // The quantifier follows the group's start state, the item it repeats.
        const auto last = static_cast<int32_t>(states_.size()) - 1;
        states_.back().Next = last;
        AddState(item.quant == '+' ? rsPlus : item.quant == '|' ? rsOptional : rsStar);
        states_.back().Negated = states_[last].Negated;
        continue;
      }
      size_t start = states_.size();
      bool wrap = item.quant && ((item.type == Node::Char && !item.escaped) ||
                                 (item.type == Node::Class && !item.any));
      if (wrap) AddState(rsGroupStart);
      switch (item.type) {
        case Node::Char:
          if (item.escaped) AddState(rsEscape, item.ch);
          AddState(rsChar, item.ch);
          break;
        case Node::Class:
          if (item.any) {
            AddState(rsAnyChar);
          } else {
            AddState(rsCharSet);
            states_.back().Set = item.set;
            states_.back().SetNegated = item.setNegated;
          }
          break;
        case Node::LineStart:
          AddState(rsLineStart);
          break;
        case Node::TextEnd:
          AddState(rsTextEnd);
          break;
        case Node::Group:
          AddState(rsGroupStart);
          EmitStates(item.children, item.negated || negatedOuter);
          AddState(rsGroupEnd);
          break;
      }
      if (wrap) AddState(rsGroupEnd);
      if (item.negated || negatedOuter)
        for (size_t s = start; s < states_.size(); ++s) states_[s].Negated = true;
      if (item.quant) {
        int32_t last = static_cast<int32_t>(states_.size()) - 1;
        for (size_t s = start; s < states_.size(); ++s)
          if (states_[s].Next == -1) states_[s].Next = last;
        AddState(item.quant == '+' ? rsPlus : item.quant == '|' ? rsOptional : rsStar);
        if (item.negated || negatedOuter) states_.back().Negated = true;
      }
    }
  }

  // --- the program the matcher runs ---

  int Emit(Inst inst) {
    prog_.code.push_back(inst);
    return static_cast<int>(prog_.code.size()) - 1;
  }
  int Here() const { return static_cast<int>(prog_.code.size()); }

  int AddClass(const std::array<bool, 256>& table) {
    prog_.classes.push_back(table);
    return static_cast<int>(prog_.classes.size()) - 1;
  }

  // Which characters the item, taken without its negation, accepts at a position inside
  // the text; false when the item is not a one-character test.
  bool PlainAcceptance(const Node& node, std::array<bool, 256>& table) const {
    switch (node.type) {
      case Node::Char:
        for (int c = 0; c < 256; ++c) table[c] = Fold(static_cast<uint8_t>(c)) == node.ch;
        return true;
      case Node::Class:
        for (int c = 0; c < 256; ++c) table[c] = node.set[Fold(static_cast<uint8_t>(c))] != node.setNegated;
        return true;
      case Node::TextEnd:
        table.fill(false);
        return true;
      default:
        return false;
    }
  }

  // The item (negation included, quantifier not) as a one-character test, when it is one.
  bool OneCharTest(const Node& node, std::array<bool, 256>& table) const {
    if (node.type == Node::TextEnd && !node.negated) return false;
    if (!PlainAcceptance(node, table)) return false;
    if (node.negated)
      for (bool& b : table) b = !b;
    return true;
  }

  static bool Nullable(const Node& node) {
    if (node.negated) return false;
    switch (node.type) {
      case Node::Char:
      case Node::Class:
        return false;
      case Node::LineStart:
      case Node::TextEnd:
        return true;
      case Node::Group:
        for (const Node& child : node.children)
          if (!(child.quant == '*' || child.quant == '|' || Nullable(child))) return false;
        return true;
    }
    return true;
  }

  static bool IsPlainChar(const Node& node) {
    return node.type == Node::Char && !node.negated && !node.quant;
  }

  // A negated item that is not repeated itself ends the match, or the repetition it
  // stands in, once it takes its character.
  static bool EndsCall(const Node& node) { return node.negated && !node.quant; }

  // The sequence may end before its last item: it holds, outside any repetition, an item
  // that ends the match.
  static bool EndsEarly(const std::vector<Node>& items) {
    for (const Node& item : items)
      if (EndsCall(item) || (item.type == Node::Group && !item.quant && EndsEarly(item.children))) return true;
    return false;
  }

  // Where the negated items of the current match or repetition go once they took their
  // character: the end of that match or repetition, known only when it is emitted.
  void EndCall(int target) {
    for (int at : callEnds_.back()) prog_.code[at].b = target;
    callEnds_.pop_back();
  }

  void EmitSeq(const std::vector<Node>& items) {
    size_t k = 0;
    while (k < items.size()) {
      if (IsPlainChar(items[k])) {
        size_t j = k;
        while (j < items.size() && IsPlainChar(items[j])) ++j;
        if (j - k == 1) {
          Emit({OpChar, items[k].ch});
        } else {
          int offset = static_cast<int>(prog_.literals.size());
          for (size_t m = k; m < j; ++m) prog_.literals.push_back(static_cast<char>(items[m].ch));
          Emit({OpStr, 0, offset, static_cast<int32_t>(j - k)});
        }
        k = j;
        continue;
      }
      EmitItem(items[k]);
      ++k;
    }
  }

  void EmitAtom(const Node& node, bool honourNegation) {
    std::array<bool, 256> table;
    if (honourNegation && node.negated) {
      int at;
      if (PlainAcceptance(node, table)) {
        at = Emit({OpNegClass, 0, AddClass(table)});
      } else {
        // The body is tried as a match of its own at the current position.
        at = Emit({OpNot});
        callEnds_.emplace_back();
        EmitAtom(node, false);
        EndCall(Emit({OpSucceed}));
      }
      callEnds_.back().push_back(at);
      return;
    }
    switch (node.type) {
      case Node::Char:
        Emit({OpChar, node.ch});
        break;
      case Node::Class:
        PlainAcceptance(node, table);
        // "." and "[^...]" also fit the end of the text, once (see OpClass).
        Emit({OpClass, static_cast<uint8_t>(node.any || node.setNegated), AddClass(table)});
        break;
      case Node::LineStart:
        Emit({OpLineStart});
        break;
      case Node::TextEnd:
        Emit({OpTextEnd});
        break;
      case Node::Group:
        EmitSeq(node.children);
        break;
    }
  }

  void EmitItem(const Node& node) {
    if (!node.quant) {
      EmitAtom(node, true);
      return;
    }
    std::array<bool, 256> table;
    if (OneCharTest(node, table)) {
      Emit({OpRepeat, static_cast<uint8_t>(node.quant), AddClass(table)});
      return;
    }
    // Every repetition must consume a character; an item that might not is checked.
    int slot = Nullable(node) ? prog_.slotCount++ : -1;
    auto body = [&] {
      Emit({OpNotEnd});
      if (slot >= 0) Emit({OpSave, 0, slot});
      callEnds_.emplace_back();
      EmitAtom(node, true);
      EndCall(Here());
      if (slot >= 0) Emit({OpProgress, 0, slot});
    };
    if (node.quant == '*') {
      int split = Emit({OpSplit});
      body();
      Emit({OpJmp, 0, split});
      prog_.code[split].a = split + 1;
      prog_.code[split].b = Here();
    } else if (node.quant == '+') {
      int loop = Here();
      body();
      Emit({OpSplit, 0, loop, Here() + 1});
    } else {
      int split = Emit({OpSplit});
      body();
      prog_.code[split].a = split + 1;
      prog_.code[split].b = Here();
    }
  }

  // A run that is followed by a literal it can never contain need not give anything
  // back: every shorter run would leave one of its own characters before the literal.
  // Nor need a run that ends the program: its longest form already succeeds. A run of
  // "+" or "*" followed by a literal it may contain stops where the literal cannot
  // start (the run's tables hold both cases of a letter or neither), so it gives back
  // at once.
  void MarkPossessiveRepeats() {
    std::vector<Inst>& code = prog_.code;
    for (size_t pc = 0; pc + 1 < code.size(); ++pc) {
      if (code[pc].op != OpRepeat) continue;
      const Inst& next = code[pc + 1];
      int c;
      if (next.op == OpChar) {
        c = next.c;
      } else if (next.op == OpStr) {
        c = static_cast<uint8_t>(prog_.literals[next.a]);
      } else {
        if (next.op == OpSucceed) code[pc].b = kPossessive;
        continue;
      }
      const std::array<bool, 256>& table = prog_.classes[code[pc].a];
      bool overlaps = false;
      for (int x = 0; x < 256; ++x) overlaps = overlaps || (table[x] && Fold(static_cast<uint8_t>(x)) == c);
      if (!overlaps) code[pc].b = kPossessive;
      else if (code[pc].c != '|') code[pc].b = kGivesBackAtOnce;
    }
  }

  // --- what the search looks for before it tries a start ---

  struct Span {
    int min = 0;
    int max = 0;
  };

  static int Add(int a, int b) { return a >= kUnbounded || b >= kUnbounded ? kUnbounded : a + b; }

  // The characters an item takes, at least and at most ("." and "[^...]" may take none
  // at the end of the text).
  static Span ItemSpan(const Node& node) {
    Span span{1, 1};
    if (!node.negated) {
      switch (node.type) {
        case Node::Char:
          break;
        case Node::Class:
          span.min = node.any || node.setNegated ? 0 : 1;
          break;
        case Node::LineStart:
        case Node::TextEnd:
          span = {0, 0};
          break;
        case Node::Group:
          span = SeqSpan(node.children);
          break;
      }
    }
    if (node.quant == '|' || node.quant == '*') span.min = 0;
    if (node.quant == '*' || node.quant == '+') span.max = kUnbounded;
    return span;
  }

  static Span SeqSpan(const std::vector<Node>& items) {
    Span span;
    bool mayEnd = false;  // past an item that may end the match: nothing more is sure
    for (const Node& item : items) {
      const Span s = ItemSpan(item);
      span = {mayEnd ? span.min : Add(span.min, s.min), Add(span.max, s.max)};
      mayEnd = mayEnd || EndsCall(item) || (item.type == Node::Group && !item.quant && EndsEarly(item.children));
    }
    return span;
  }

  // A run of literal characters every match holds, at offsets min .. max from its start.
  struct LiteralRun {
    std::string text;
    int min = 0;
    int max = 0;
  };

  // Walks the items every match passes through in order (groups without a quantifier,
  // and the first pass of a "+" group), collecting the runs of plain characters. True
  // when it stopped at an item that may end the match (or the repetition it is in).
  static bool CollectRuns(const std::vector<Node>& items, Span& at, LiteralRun& open, std::vector<LiteralRun>& runs) {
    auto close = [&] {
      if (!open.text.empty()) runs.push_back(open);
      open.text.clear();
    };
    for (const Node& item : items) {
      if (EndsCall(item)) {
        close();
        return true;
      }
      if (IsPlainChar(item)) {
        if (open.text.empty()) {
          open.min = at.min;
          open.max = at.max;
        }
        open.text.push_back(static_cast<char>(item.ch));
        at = {Add(at.min, 1), Add(at.max, 1)};
        continue;
      }
      if (item.type == Node::Group && !item.negated && (!item.quant || item.quant == '+')) {
        const bool ended = CollectRuns(item.children, at, open, runs);
        if (item.quant) {
          // Past the first pass offsets are known only from below.
          close();
          at.max = kUnbounded;
        } else if (ended) {
          return true;
        }
        continue;
      }
      close();
      const Span s = ItemSpan(item);
      at = {Add(at.min, s.min), Add(at.max, s.max)};
    }
    return false;
  }

  void ChooseLiteral(const std::vector<Node>& items) {
    const std::vector<Inst>& code = prog_.code;
    prog_.literalOnly = code.size() == 2 && (code[0].op == OpChar || code[0].op == OpStr);
    prog_.leadingRun = code[0].op == OpRepeat && code[0].c != '|';
    if (prog_.leadingRun && code[0].b == kPossessive && (code[1].op == OpChar || code[1].op == OpStr)) {
      prog_.literalAfterRun = true;
      prog_.literal = code[1].op == OpChar ? std::string(1, static_cast<char>(code[1].c))
                                           : prog_.literals.substr(static_cast<size_t>(code[1].a),
                                                                   static_cast<size_t>(code[1].b));
      prog_.literalMin = code[0].c == '+' ? 1 : 0;
      prog_.literalMax = kUnbounded;
    } else {
      Span at;
      LiteralRun open;
      std::vector<LiteralRun> runs;
      CollectRuns(items, at, open, runs);
      if (!open.text.empty()) runs.push_back(open);
      // The longest run at known offsets; without one, the longest anywhere.
      const LiteralRun* best = nullptr;
      auto better = [](const LiteralRun& a, const LiteralRun* b) {
        if (b == nullptr) return true;
        const bool boundedA = a.max < kUnbounded, boundedB = b->max < kUnbounded;
        if (boundedA != boundedB) return boundedA;
        if (a.text.size() != b->text.size()) return a.text.size() > b->text.size();
        return a.max - a.min < b->max - b->min;
      };
      for (const LiteralRun& run : runs)
        if (better(run, best)) best = &run;
      if (best == nullptr) return;
      prog_.literal = best->text;
      prog_.literalMin = best->min;
      prog_.literalMax = best->max;
    }
    const auto other = [this](uint8_t c) {
      return static_cast<uint8_t>(!caseSensitive_ && c >= 'A' && c <= 'Z' ? c + 32 : c);
    };
    const auto first = static_cast<uint8_t>(prog_.literal.front()), last = static_cast<uint8_t>(prog_.literal.back());
    const uint8_t blocks[4] = {first, other(first), last, other(last)};
    for (size_t k = 0; k < 4; ++k) prog_.literalBlocks[k].fill(blocks[k]);
  }

  // Characters a match starting inside the text may begin with; true when the sequence
  // can get past the position without reading its character (then any position will do).
  bool SeqFirst(const std::vector<Node>& items, std::bitset<256>& first) const {
    for (const Node& item : items)
      if (!ItemFirst(item, first)) return false;
    return true;
  }

  bool ItemFirst(const Node& node, std::bitset<256>& first) const {
    bool passes = false;
    std::array<bool, 256> table;
    if (node.negated) {
      if (OneCharTest(node, table)) {
        for (int c = 0; c < 256; ++c)
          if (table[c]) first.set(c);
      } else {
        first.set();
      }
    } else {
      switch (node.type) {
        case Node::Char:
        case Node::Class:
          PlainAcceptance(node, table);
          for (int c = 0; c < 256; ++c)
            if (table[c]) first.set(c);
          break;
        case Node::LineStart:
          passes = true;
          break;
        case Node::TextEnd:
          break;
        case Node::Group:
          passes = SeqFirst(node.children, first);
          break;
      }
    }
    return passes || node.quant == '*' || node.quant == '|';
  }

  const std::string& e_;
  bool caseSensitive_;
  TQuillRegExpr::Program& prog_;
  std::vector<TQuillRegState>& states_;
  size_t i_ = 0;
  std::vector<std::vector<int>> callEnds_;
};

// The first position at or after From where the program's literal stands in T (its
// characters compared folded), or -1. Candidates are the places where both its first
// and its last character fit, in either case, found sixteen at a time.
int FindLiteral(const TQuillRegExpr::Program& prog, const uint8_t* t, int from, int n) {
  const auto* lit = reinterpret_cast<const uint8_t*>(prog.literal.data());
  const int m = static_cast<int>(prog.literal.size());
  const uint8_t* fold = prog.fold;
  auto fits = [&](int at) {
    for (int k = 1; k + 1 < m; ++k)
      if (fold[t[at + k]] != lit[k]) return false;
    return true;
  };
  int i = std::max(from, 0);
  if (m == 1 && prog.literalBlocks[0][0] == prog.literalBlocks[1][0]) {
    if (i >= n) return -1;
    const void* hit = std::memchr(t + i, lit[0], static_cast<size_t>(n - i));
    return hit != nullptr ? static_cast<int>(static_cast<const uint8_t*>(hit) - t) : -1;
  }
#if defined(__SSE2__)
  const auto* blocks = reinterpret_cast<const __m128i*>(prog.literalBlocks.data());
  const __m128i firstA = _mm_load_si128(blocks), firstB = _mm_load_si128(blocks + 1);
  const __m128i lastA = _mm_load_si128(blocks + 2), lastB = _mm_load_si128(blocks + 3);
  // Starts at..at+15 whose first and last characters fit, as bits.
  auto candidates = [&](int at) {
    const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + at));
    const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + at + m - 1));
    const __m128i both = _mm_and_si128(_mm_or_si128(_mm_cmpeq_epi8(head, firstA), _mm_cmpeq_epi8(head, firstB)),
                                       _mm_or_si128(_mm_cmpeq_epi8(tail, lastA), _mm_cmpeq_epi8(tail, lastB)));
    return static_cast<unsigned>(_mm_movemask_epi8(both));
  };
  const int lastStart = n - m;  // the last place the literal fits
  if (lastStart - i + 1 >= 16) {
    for (; i + 15 <= lastStart; i += 16)
      for (unsigned mask = candidates(i); mask != 0; mask &= mask - 1)
        if (fits(i + __builtin_ctz(mask))) return i + __builtin_ctz(mask);
    // The rest in one block that ends at the last start, its earlier starts seen already.
    if (i <= lastStart) {
      const int block = lastStart - 15;
      for (unsigned mask = candidates(block) >> (i - block); mask != 0; mask &= mask - 1)
        if (fits(i + __builtin_ctz(mask))) return i + __builtin_ctz(mask);
    }
    return -1;
  }
#endif
  for (; i + m <= n; ++i)
    if (fold[t[i]] == lit[0] && fold[t[i + m - 1]] == lit[m - 1] && fits(i)) return i;
  return -1;
}

}  // namespace

TQuillRegExpr::TQuillRegExpr(const std::string& Expression, bool CaseSensitive)
    : caseSensitive_(CaseSensitive), expression_(Expression), program_(std::make_unique<Program>()) {
  InitRegStates();
}

void TQuillRegExpr::InitRegStates() {
  Compiler(expression_, caseSensitive_, *program_, states_).Compile();
  slots_.assign(program_->slotCount, 0);
}

TQuillRegExpr::~TQuillRegExpr() = default;

bool TQuillRegExpr::EmptyLine() const {
  return expression_ == "^" || expression_ == "$" || expression_ == "^$";
}

const TQuillRegState* TQuillRegExpr::GetFirstState() const {
  // The last state is the end of the expression, whatever character it holds.
  for (size_t i = 0; i + 1 < states_.size(); ++i) {
    uint8_t kind = states_[i].Kind;
    if (kind == rsChar || kind == rsAnyChar || kind == rsCharSet || kind == rsEscape)
      return &states_[i];
  }
  return nullptr;
}

void TQuillRegExpr::StartCall() { aborted_ = false; }

int TQuillRegExpr::MatchAt(std::string_view text, int pos, bool firstInLine) {
  text_ = reinterpret_cast<const uint8_t*>(text.data());
  textLength_ = static_cast<int>(text.size());
  lineStart_ = pos;
  firstInLine_ = firstInLine;
  stack_.Clear();
  budget_ = kBaseBudget + kBudgetPerChar * static_cast<int64_t>(text.size());
  int end = Run(0, pos, false);
  return end < 0 ? -1 : end - pos;
}

// Runs the program from pc until it succeeds (returns the position reached) or every
// alternative pushed since entry has failed (-1). Recurses only for a negated item,
// whose body is tried as a separate match at the current position.
int TQuillRegExpr::Run(int pc, int pos, bool endMarked) {
  const Program& prog = *program_;
  const Inst* code = prog.code.data();
  const uint8_t* fold = prog.fold;
  const uint8_t* t = text_;
  const int n = textLength_;
  const size_t base = stack_.Count();

  auto push = [&](int32_t p, int32_t state) {
    stack_.Push(p, state);
    return true;
  };

  for (;;) {
    if (--budget_ < 0) aborted_ = true;
    if (aborted_) {
      stack_.SetCount(base);
      return -1;
    }
    const Inst& in = code[pc];
    int failAt = pos;  // where the state that fails stands
    switch (in.op) {
      case OpChar:
        if (pos < n && fold[t[pos]] == in.c) {
          ++pos;
          ++pc;
          continue;
        }
        break;
      case OpStr: {
        if (n - pos < in.b) {
          const char* lit = prog.literals.data() + in.a;
          while (failAt < n && fold[t[failAt]] == static_cast<uint8_t>(lit[failAt - pos])) ++failAt;
          break;
        }
        const char* lit = prog.literals.data() + in.a;
        int k = 0;
        while (k < in.b && fold[t[pos + k]] == static_cast<uint8_t>(lit[k])) ++k;
        failAt = pos + k;
        if (k < in.b) break;
        pos += in.b;
        ++pc;
        continue;
      }
      case OpClass:
        if (pos < n) {
          if (prog.classes[in.a][t[pos]]) {
            ++pos;
            ++pc;
            continue;
          }
          break;
        }
        // At the end of the text "." and "[^...]" fit without consuming, but only once:
        // nothing after that can consume again.
        if (in.c && !endMarked) {
          endMarked = true;
          ++pc;
          continue;
        }
        break;
      case OpLineStart:
        if (pos == lineStart_ && firstInLine_) {
          ++pc;
          continue;
        }
        break;
      case OpTextEnd:
        if (pos == n) {
          ++pc;
          continue;
        }
        break;
      case OpSplit:
        if (!push(pos, in.b | (endMarked ? kEndMarked : 0))) continue;
        pc = in.a;
        continue;
      case OpJmp:
        pc = in.a;
        continue;
      case OpNotEnd:
        if (pos < n) {
          ++pc;
          continue;
        }
        break;
      case OpSave:
        if (!push(slots_[in.a], -(in.a + 1))) continue;
        slots_[in.a] = pos;
        ++pc;
        continue;
      case OpProgress:
        if (pos != slots_[in.a]) {
          ++pc;
          continue;
        }
        break;
      case OpRepeat: {
        const std::array<bool, 256>& table = prog.classes[in.a];
        int limit = in.c == '|' ? std::min(n, pos + 1) : n;
        int end = pos;
        while (end < limit && table[t[end]]) ++end;
        int least = pos + (in.c == '+' ? 1 : 0);
        if (end < least) break;
        if (in.b == kGivesBackAtOnce) {
          const Inst& next = code[pc + 1];
          const uint8_t c = next.op == OpChar ? next.c : static_cast<uint8_t>(prog.literals[next.a]);
          while (end >= least && (end >= n || fold[t[end]] != c)) --end;
          if (end < least) break;
        }
        if (end > least && in.b != kPossessive) {
          if (!push(least, kLowerBound)) continue;
          if (!push(end, pc | kGiveBack | (endMarked ? kEndMarked : 0))) continue;
        }
        pos = end;
        ++pc;
        continue;
      }
      case OpNegClass:
        // One character that the item does not fit; it ends the match or repetition.
        // At the end of the text there is none to take.
        if (pos < n && !prog.classes[in.a][t[pos]]) {
          ++pos;
          pc = in.b;
          continue;
        }
        break;
      case OpNot: {
        if (pos >= n) break;
        const int outer = negFail_;
        negFail_ = -1;
        const int matched = Run(pc + 1, pos, endMarked);
        const int failed = std::max(negFail_, pos);
        negFail_ = outer;
        if (aborted_) continue;
        // Where the body fits, the negation fails; where it fails, the character there
        // is the one taken.
        if (matched >= 0 || failed >= n) break;
        pos = failed + 1;
        pc = in.b;
        continue;
      }
      case OpSucceed:
        stack_.SetCount(base);
        return pos;
    }

    // The current path failed: resume the most recent alternative.
    if (negFail_ < 0) negFail_ = failAt;
    for (;;) {
      if (stack_.Count() == base) return -1;
      TQuillStackEntry& top = stack_.Last();
      if (top.State < 0) {
        slots_[-top.State - 1] = top.Pos;
        stack_.SetCount(stack_.Count() - 1);
        continue;
      }
      pc = top.State & kPcMask;
      endMarked = (top.State & kEndMarked) != 0;
      if (top.State & kGiveBack) {
        // A run of one-character repetitions gives back one character at a time; when
        // a literal follows, positions where it cannot match are skipped at once.
        int least = stack_[stack_.Count() - 2].Pos;
        int end = top.Pos - 1;
        const Inst& next = code[pc + 1];
        if (next.op == OpChar) {
          while (end >= least && (end >= n || fold[t[end]] != next.c)) --end;
        } else if (next.op == OpStr) {
          uint8_t c = static_cast<uint8_t>(prog.literals[next.a]);
          while (end >= least && (end >= n || fold[t[end]] != c)) --end;
        }
        if (end < least) {
          stack_.SetCount(stack_.Count() - 2);
          continue;
        }
        top.Pos = end;
        pos = end;
        ++pc;
        break;
      }
      pos = top.Pos;
      stack_.SetCount(stack_.Count() - 1);
      break;
    }
  }
}

bool TQuillRegExpr::StringMatch(std::string_view P, bool FirstInLine, int& Len) {
  StartCall();
  int length = MatchAt(P, 0, FirstInLine);
  if (length < 0) return false;
  Len = std::max(length, 1);
  return true;
}

bool TQuillRegExpr::FindRegExpr(std::string_view Text, bool Forward, int& MatchEnd, int& Pos) {
  const Program& prog = *program_;
  const int n = static_cast<int>(Text.size());
  if (n == 0) {
    bool found = EmptyLine();
    Pos = found ? 1 : 0;
    MatchEnd = 0;
    return found;
  }
  if (expression_ == "$" && (Forward || Pos == n)) {
    Pos = n + 1;
    MatchEnd = n;
    return true;
  }
  int start = Pos - 1;
  MatchEnd = 0;
  Pos = 0;
  StartCall();
  if (Forward) {
    int length = 0;
    const int at = SearchForward(Text, std::max(start, 0), length);
    if (aborted_) throw EQuillRegExprGaveUp(expression_);
    if (at < 0) return false;
    Pos = at + 1;
    MatchEnd = at + length;
    return true;
  }
  start = std::min(start, n - 1);
  const auto* t = reinterpret_cast<const uint8_t*>(Text.data());
  for (int p = start; p >= 0; --p) {
    if (prog.onlyAtLineStart) p = 0;
    if (!prog.startAnywhere) {
      while (p >= 0 && !prog.startChars[t[p]]) --p;
      if (p < 0) break;
    }
    int length = MatchAt(Text, p, p == 0);
    if (length >= 0) {
      Pos = p + 1;
      MatchEnd = p + length;
      return true;
    }
    if (aborted_) throw EQuillRegExprGaveUp(expression_);
  }
  return false;
}

// The first start at or after From with a match, or -1; Length is the match's length.
// Starts are tried in order, but only where a match can begin: near an occurrence of
// the literal, on a character that can begin one, once per leading run.
int TQuillRegExpr::SearchForward(std::string_view text, int from, int& length) {
  const Program& prog = *program_;
  const auto* t = reinterpret_cast<const uint8_t*>(text.data());
  const int n = static_cast<int>(text.size());
  const std::array<bool, 256>* run = prog.leadingRun ? &prog.classes[prog.code[0].a] : nullptr;
  int next = from;
  if (prog.endAnchored && prog.maxLength >= 0) next = std::max(next, n - prog.maxLength);
  if (prog.onlyAtLineStart) {
    // One start to try: trying it costs less than looking for the literal first.
    if (next > 0 || next >= n || (!prog.startAnywhere && !prog.startChars[t[0]])) return -1;
    length = MatchAt(text, 0, true);
    return length >= 0 ? 0 : -1;
  }
  while (next < n) {
    int lo = next, hi = n - 1, after = n;
    if (!prog.literal.empty()) {
      const int at = FindLiteral(prog, t, next + prog.literalMin, n);
      if (at < 0) return -1;
      hi = at - prog.literalMin;
      after = hi + 1;
      if (prog.literalAfterRun) {
        // Every start in the run before this occurrence has the outcome of its first.
        lo = at;
        while (lo > next && (*run)[t[lo - 1]]) --lo;
        hi = lo;
        after = at + 1;
      } else if (prog.literalMax < kUnbounded) {
        lo = std::max(next, at - prog.literalMax);
      }
    }
    for (int q = lo; q <= hi; ++q) {
      if (!prog.startAnywhere) {
        if (prog.singleStartChar >= 0) {
          const void* hit = std::memchr(t + q, prog.singleStartChar, static_cast<size_t>(hi - q + 1));
          if (hit == nullptr) break;
          q = static_cast<int>(static_cast<const uint8_t*>(hit) - t);
        } else {
          while (q <= hi && !prog.startChars[t[q]]) ++q;
          if (q > hi) break;
        }
      }
      if (prog.literalOnly) {
        length = static_cast<int>(prog.literal.size());
        return q;
      }
      const int matched = MatchAt(text, q, q == 0);
      if (matched >= 0) {
        length = matched;
        return q;
      }
      if (aborted_) return -1;
      if (run != nullptr)
        while (q < n && (*run)[t[q]]) ++q;
    }
    next = after;
  }
  return -1;
}

bool TQuillRegExpr::Find(std::string_view Text, bool Forward, int& MatchLen, int& Pos) {
  int matchEnd = 0;
  bool found = FindRegExpr(Text, Forward, matchEnd, Pos);
  MatchLen = found ? matchEnd - Pos + 1 : 0;
  return found;
}

bool TQuillRegExpr::FindString(const std::string& S, int& Pos, bool Forward, int& MatchLen) {
  return Find(S, Forward, MatchLen, Pos);
}

}  // namespace quill
