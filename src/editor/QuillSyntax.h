#pragma once

// The syntax parser: a table-driven state machine whose rules are given as text, that
// splits a line into tokens. The document runs it line by line, keeping per line the
// state reached at its end; the source parser walks a whole list of strings with it.
//
// Rule text, one statement per line (keywords without regard to case):
//   // comment
//   State = Name [, CaseSensitive]      declares states 0, 1, 2 ...
//   Token = Name                        declares tokens 0, 1, 2 ...
//   Delimiters = text
//   StateName Expression NextStateName TokenName
// An expression in single quotes is a literal word; "$" alone is the state's
// end-of-line rule; anything else is a regular expression (QuillRegExpr.h).

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "editor/QuillContainers.h"
#include "editor/QuillRegExpr.h"

namespace quill {

struct TQuillRule {
  int NextState = 0;
  int Token = 0;
};

// A rule's regular expression together with where it leads.
class TQuillParserRegExpr : public TQuillRegExpr {
 public:
  TQuillParserRegExpr(const std::string& expression, bool caseSensitive, TQuillRule rule)
      : TQuillRegExpr(expression, caseSensitive), Rule(rule) {}
  TQuillRule Rule;
};

class TQuillParser;
class TQuillParserState;

// The rules of one state that can start with one character.
class TQuillParserRule {
 public:
  TQuillParserRule(TQuillParserState* owner, bool caseSensitive);

  void AddWord(const std::string& word, TQuillRule rule);
  // The word rule matching S at the 0-based index, with its length; null when none.
  const TQuillRule* MatchWord(const std::string& s, size_t index, int& length) const;

  TFastStringList Words;  // objects are the words' TQuillRule
  // Some word holds a blank, so words are matched as prefixes of the text
  // rather than as whole runs of word characters.
  bool HasSpaces = false;
  std::vector<TQuillParserRegExpr*> RegExprs;  // owned by the state
  TQuillParserState* Owner;
  bool CaseSensitive;

 private:
  std::vector<std::unique_ptr<TQuillRule>> rules_;
};

class TQuillParserState {
 public:
  TQuillParserState(TQuillParser* owner, bool caseSensitive);

  // Raises EQuillRegExprError for a malformed regular expression.
  void AddRule(const std::string& expression, TQuillRule rule);
  // The slot for a first character, or null when no rule starts with it.
  TQuillParserRule* Slot(unsigned char c) const { return rules_[SlotIndex(c)].get(); }
  const std::vector<std::unique_ptr<TQuillParserRegExpr>>& RegExprs() const { return regExprs_; }
  const std::vector<std::unique_ptr<TQuillParserRegExpr>>& EndOfLine() const { return endOfLine_; }
  bool CaseSensitive() const { return caseSensitive_; }
  TQuillParser* Owner() const { return owner_; }

 private:
  unsigned char SlotIndex(unsigned char c) const;
  TQuillParserRule& SlotFor(unsigned char c);

  std::array<std::unique_ptr<TQuillParserRule>, 256> rules_;
  std::vector<std::unique_ptr<TQuillParserRegExpr>> regExprs_;
  std::vector<std::unique_ptr<TQuillParserRegExpr>> endOfLine_;
  TQuillParser* owner_;
  bool caseSensitive_;
};

class TQuillParser : public TCustomQuillParser {
 public:
  explicit TQuillParser(TQuillComponent* owner = nullptr);
  ~TQuillParser() override;

  const std::vector<std::string>& Rules() const { return rules_; }
  // Any change re-reads the rules; raises EQuillRegExprError for a malformed expression.
  void SetRules(const std::vector<std::string>& rules);
  virtual void RulesChanged(TQuillObject* sender);

  // The token of the text at the 1-based Pos (0 for text no rule matches), moving Pos
  // past it and State on; -1 (and Pos past the end) for a state never declared.
  int ParseString(int& state, const std::string& s, int& pos) override;
  void GetFont(int index, TColor& color, TFontStyles& style) override;
  TColor GetColor(int index) override;
  TColor GetDefaultColor() override;
  int GetStyleCount() override;
  int GetStyleByName(const std::string& name) override;

  int AddState(const std::string& name, bool caseSensitive);
  int AddToken(const std::string& name);
  void AddRule(int state, int token, int nextState, const std::string& expression);
  TQuillParserState* GetParserState(int index);

  int StateCount() const { return static_cast<int>(stateNames_.size()); }
  const std::string& StateName(int index) const { return stateNames_.at(static_cast<size_t>(index)).first; }
  int TokenCount() const { return static_cast<int>(tokens_.size()); }
  const std::string& TokenName(int index) const { return tokens_.at(static_cast<size_t>(index)); }
  int IndexOfState(const std::string& name) const;
  int IndexOfToken(const std::string& name) const;

 protected:
  void ParseRules();

 private:
  bool ApplyRule(TQuillParserState& ps, int& state, const std::string& s, int& pos, int& token);
  void ReadRuleLine(const std::string& line);

  std::vector<std::string> rules_;
  std::vector<std::pair<std::string, bool>> stateNames_;  // name, case-sensitive
  std::vector<std::string> tokens_;
  std::vector<std::unique_ptr<TQuillParserState>> states_;
};

struct TQuillParserSaveState {
  int State;
  int Token;
  int Position;
  int TokenStart;
  int LineIndex;
};

// Walks a list of strings token by token, the state carrying over from line to line
// and empty lines skipped.
class TQuillSourceParser : public TQuillParser {
 public:
  explicit TQuillSourceParser(TQuillComponent* owner = nullptr) : TQuillParser(owner) {}

  // The strings are not owned; they must outlive the walk.
  void SetSource(const std::vector<std::string>* strings) { source_ = strings; }
  const std::vector<std::string>* Source() const { return source_; }

  // Raises "Strings can't be nil" without source strings.
  void Reset();
  int NextToken();
  int PeekToken(std::string& s);
  std::string TokenString() const;
  bool EndOfSource() const;
  void SaveState();
  void RestoreState();
  virtual bool UpdateString();

  int Token() const { return token_; }
  int Position() const { return position_; }
  int TokenStart() const { return tokenStart_; }
  int CurrentState() const { return state_; }
  int LineIndex() const { return lineIndex_; }
  const std::string& Line() const { return line_; }

 private:
  int token_ = 0;
  const std::vector<std::string>* source_ = nullptr;
  int position_ = 1;
  int tokenStart_ = 1;
  int state_ = 0;
  std::string line_;
  int lineIndex_ = 0;
  std::vector<TQuillParserSaveState> saved_;
};

}  // namespace quill
