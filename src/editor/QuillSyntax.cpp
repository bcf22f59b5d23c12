#include "editor/QuillSyntax.h"

#include <algorithm>
#include <bitset>

namespace quill {

namespace {

unsigned char Upper(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(static_cast<unsigned char>(a[i])) != Upper(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsLiteral(const std::string& expression) {
  return expression.size() >= 2 && expression.front() == '\'' && expression.back() == '\'';
}

}  // namespace

// --- TQuillParserRule ---

TQuillParserRule::TQuillParserRule(TQuillParserState* owner, bool caseSensitive)
    : Words(caseSensitive), Owner(owner), CaseSensitive(caseSensitive) {}

void TQuillParserRule::AddWord(const std::string& word, TQuillRule rule) {
  int index = 0;
  if (Words.Find(word, index)) {
    *static_cast<TQuillRule*>(Words.Objects(index)) = rule;
    return;
  }
  rules_.push_back(std::make_unique<TQuillRule>(rule));
  Words.AddObject(word, rules_.back().get());
  if (word.find(' ') != std::string::npos) HasSpaces = true;
}

const TQuillRule* TQuillParserRule::MatchWord(const std::string& s, size_t index, int& length) const {
  // Words are looked up where a word character begins; other text is left
  // to the expressions.
  if (Words.Count() == 0 || !ValueSet().Contains(s[index])) return nullptr;
  if (!HasSpaces) {
    // A keyword is a whole run of word characters.
    size_t end = index;
    while (end < s.size() && ValueSet().Contains(s[end])) ++end;
    int found = 0;
    if (!Words.Find(s.substr(index, end - index), found)) return nullptr;
    length = static_cast<int>(end - index);
    return static_cast<const TQuillRule*>(Words.Objects(found));
  }
  // Some word holds a blank: the longest word the text starts with.
  const TQuillRule* best = nullptr;
  size_t bestLength = 0;
  for (int i = 0; i < Words.Count(); ++i) {
    const std::string& w = Words.Strings(i);
    if (w.size() <= bestLength || w.size() > s.size() - index) continue;
    bool same = true;
    for (size_t k = 0; k < w.size() && same; ++k) {
      unsigned char a = static_cast<unsigned char>(s[index + k]), b = static_cast<unsigned char>(w[k]);
      same = CaseSensitive ? a == b : Upper(a) == Upper(b);
    }
    if (!same) continue;
    best = static_cast<const TQuillRule*>(Words.Objects(i));
    bestLength = w.size();
  }
  length = static_cast<int>(bestLength);
  return best;
}

// --- TQuillParserState ---

TQuillParserState::TQuillParserState(TQuillParser* owner, bool caseSensitive)
    : owner_(owner), caseSensitive_(caseSensitive) {}

unsigned char TQuillParserState::SlotIndex(unsigned char c) const { return caseSensitive_ ? c : Upper(c); }

TQuillParserRule& TQuillParserState::SlotFor(unsigned char c) {
  auto& slot = rules_[SlotIndex(c)];
  if (!slot) slot = std::make_unique<TQuillParserRule>(this, caseSensitive_);
  return *slot;
}

void TQuillParserState::AddRule(const std::string& expression, TQuillRule rule) {
  if (IsLiteral(expression)) {
    std::string word = expression.substr(1, expression.size() - 2);
    if (word.empty()) return;  // nothing to file it under, and nothing it could match
    SlotFor(static_cast<unsigned char>(word[0])).AddWord(word, rule);
    return;
  }
  if (expression == "$") {
    endOfLine_.push_back(std::make_unique<TQuillParserRegExpr>(expression, caseSensitive_, rule));
    return;
  }
  regExprs_.push_back(std::make_unique<TQuillParserRegExpr>(expression, caseSensitive_, rule));
  TQuillParserRegExpr* re = regExprs_.back().get();
  const TQuillRegState* first = re->GetFirstState();
  if (first == nullptr) return;

  // File the expression under every character a match can begin with. A negated first
  // item matches one character where the item does not, so it may begin anywhere; put
  // at the front of every slot, it is tried after the expressions filed there.
  if (first->Negated) {
    for (int c = 0; c < 256; ++c) {
      auto& list = SlotFor(static_cast<unsigned char>(c)).RegExprs;
      if (std::find(list.begin(), list.end(), re) == list.end()) list.insert(list.begin(), re);
    }
    return;
  }
  std::bitset<256> starts;
  switch (first->Kind) {
    case rsChar:
    case rsEscape:
      starts.set(first->Char);
      break;
    case rsAnyChar:
      starts.set();
      break;
    case rsCharSet:
      starts = first->SetNegated ? ~first->Set : first->Set;
      break;
    default:
      return;
  }
  std::bitset<256> filed;
  for (int c = 0; c < 256; ++c) {
    if (!starts[c]) continue;
    unsigned char index = SlotIndex(static_cast<unsigned char>(c));
    if (filed[index]) continue;
    filed.set(index);
    SlotFor(index).RegExprs.push_back(re);
  }
}

// --- TQuillParser ---

TQuillParser::TQuillParser(TQuillComponent* owner) : TCustomQuillParser(owner) {}

TQuillParser::~TQuillParser() = default;

void TQuillParser::SetRules(const std::vector<std::string>& rules) {
  rules_ = rules;
  RulesChanged(this);
}

void TQuillParser::RulesChanged(TQuillObject*) { ParseRules(); }

void TQuillParser::ParseRules() {
  tokens_.clear();
  stateNames_.clear();
  states_.clear();
  for (const std::string& raw : rules_) {
    std::string line = Trim(raw);
    if (line.empty() || line.compare(0, 2, "//") == 0) continue;
    size_t eq = line.find('=');
    if (eq != std::string::npos) {
      std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
      if (SameText(key, "State")) {
        size_t comma = value.find(',');
        bool caseSensitive = comma != std::string::npos && SameText(Trim(value.substr(comma + 1)), "CaseSensitive");
        AddState(comma == std::string::npos ? value : value.substr(0, comma), caseSensitive);
        continue;
      }
      if (SameText(key, "Token")) {
        AddToken(value);
        continue;
      }
      if (SameText(key, "Delimiters")) {
        SafeSetDelimiters(value);
        continue;
      }
    }
    ReadRuleLine(line);
  }
}

void TQuillParser::ReadRuleLine(const std::string& line) {
  std::string fields[4];
  size_t i = 0;
  for (std::string& field : fields) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    size_t end;
    if (line[i] == '\'') {
      end = line.find('\'', i + 1);
      end = end == std::string::npos ? line.size() : end + 1;
    } else {
      end = i;
      while (end < line.size() && !IsBlank(line[end])) ++end;
    }
    field = line.substr(i, end - i);
    i = end;
  }
  AddRule(IndexOfState(fields[0]), IndexOfToken(fields[3]), IndexOfState(fields[2]), fields[1]);
}

int TQuillParser::IndexOfState(const std::string& name) const {
  for (size_t i = 0; i < stateNames_.size(); ++i)
    if (SameText(stateNames_[i].first, name)) return static_cast<int>(i);
  return -1;
}

int TQuillParser::IndexOfToken(const std::string& name) const {
  for (size_t i = 0; i < tokens_.size(); ++i)
    if (SameText(tokens_[i], name)) return static_cast<int>(i);
  return -1;
}

int TQuillParser::AddState(const std::string& name, bool caseSensitive) {
  stateNames_.push_back({Trim(name), caseSensitive});
  return StateCount() - 1;
}

int TQuillParser::AddToken(const std::string& name) {
  tokens_.push_back(Trim(name));
  return TokenCount() - 1;
}

void TQuillParser::AddRule(int state, int token, int nextState, const std::string& expression) {
  if (state < 0 || token < 0 || nextState < 0 || expression.empty()) return;
  GetParserState(state)->AddRule(expression, TQuillRule{nextState, token});
}

TQuillParserState* TQuillParser::GetParserState(int index) {
  if (index < 0) return nullptr;
  while (static_cast<int>(states_.size()) <= index) {
    size_t i = states_.size();
    bool caseSensitive = i < stateNames_.size() && stateNames_[i].second;
    states_.push_back(std::make_unique<TQuillParserState>(this, caseSensitive));
  }
  return states_[static_cast<size_t>(index)].get();
}

bool TQuillParser::ApplyRule(TQuillParserState& ps, int& state, const std::string& s, int& pos, int& token) {
  const size_t index = static_cast<size_t>(pos - 1);
  TQuillParserRule* slot = ps.Slot(static_cast<unsigned char>(s[index]));
  if (slot == nullptr) return false;
  int length = 0;
  if (const TQuillRule* rule = slot->MatchWord(s, index, length)) {
    state = rule->NextState;
    token = rule->Token;
    pos += length;
    return true;
  }
  const std::string_view rest = std::string_view(s).substr(index);
  for (auto it = slot->RegExprs.rbegin(); it != slot->RegExprs.rend(); ++it) {
    if ((*it)->StringMatch(rest, index == 0, length)) {
      state = (*it)->Rule.NextState;
      token = (*it)->Rule.Token;
      pos += std::max(length, 1);
      return true;
    }
  }
  return false;
}

int TQuillParser::ParseString(int& state, const std::string& s, int& pos) {
  const int length = static_cast<int>(s.size());
  if (state < 0 || state >= std::max(StateCount(), static_cast<int>(states_.size()))) {
    pos = length + 1;
    return -1;
  }
  pos = std::max(pos, 1);
  int token = 0;
  if (pos <= length && !ApplyRule(*GetParserState(state), state, s, pos, token)) {
    // Unmatched text: a word and the delimiters after it, at least one character.
    int start = pos;
    while (pos <= length && ValueSet().Contains(s[static_cast<size_t>(pos - 1)])) ++pos;
    while (pos <= length && DelimSet().Contains(s[static_cast<size_t>(pos - 1)])) ++pos;
    if (pos == start) ++pos;
    token = 0;
  }
  if (pos > length) {
    const auto& endOfLine = GetParserState(state)->EndOfLine();
    if (!endOfLine.empty()) {
      state = endOfLine.back()->Rule.NextState;
      token = endOfLine.back()->Rule.Token;
    }
  }
  return token;
}

void TQuillParser::GetFont(int, TColor& color, TFontStyles& style) {
  color = clNone;
  style = 0;
}

TColor TQuillParser::GetColor(int) { return clNone; }
TColor TQuillParser::GetDefaultColor() { return clNone; }
int TQuillParser::GetStyleCount() { return TokenCount(); }
int TQuillParser::GetStyleByName(const std::string& name) { return IndexOfToken(name); }

// --- TQuillSourceParser ---

void TQuillSourceParser::Reset() {
  if (source_ == nullptr) throw platform::Exception(msg::sStringsExpected);
  lineIndex_ = 0;
  position_ = 1;
  tokenStart_ = 1;
  token_ = 0;
  state_ = InitialState;
  line_ = source_->empty() ? std::string() : (*source_)[0];
}

bool TQuillSourceParser::UpdateString() {
  const int count = source_ ? static_cast<int>(source_->size()) : 0;
  while (++lineIndex_ < count) {
    if (!(*source_)[static_cast<size_t>(lineIndex_)].empty()) {
      line_ = (*source_)[static_cast<size_t>(lineIndex_)];
      position_ = 1;
      tokenStart_ = 1;
      return true;
    }
  }
  lineIndex_ = count;
  line_.clear();
  token_ = -1;
  return false;
}

int TQuillSourceParser::NextToken() {
  tokenStart_ = position_;
  if (line_.empty() || position_ > static_cast<int>(line_.size())) {
    if (!UpdateString()) return token_ = -1;
  }
  token_ = ParseString(state_, line_, position_);
  return token_;
}

int TQuillSourceParser::PeekToken(std::string& s) {
  SaveState();
  int token = NextToken();
  s = TokenString();
  RestoreState();
  return token;
}

std::string TQuillSourceParser::TokenString() const {
  int start = std::clamp(tokenStart_, 1, static_cast<int>(line_.size()) + 1);
  int end = std::clamp(position_, start, static_cast<int>(line_.size()) + 1);
  return line_.substr(static_cast<size_t>(start - 1), static_cast<size_t>(end - start));
}

bool TQuillSourceParser::EndOfSource() const {
  return token_ == -1 || source_ == nullptr || lineIndex_ >= static_cast<int>(source_->size());
}

void TQuillSourceParser::SaveState() { saved_.push_back({state_, token_, position_, tokenStart_, lineIndex_}); }

void TQuillSourceParser::RestoreState() {
  if (saved_.empty()) return;
  const TQuillParserSaveState s = saved_.back();
  saved_.pop_back();
  if (s.LineIndex != lineIndex_) {
    bool inRange = source_ != nullptr && s.LineIndex >= 0 && s.LineIndex < static_cast<int>(source_->size());
    line_ = inRange ? (*source_)[static_cast<size_t>(s.LineIndex)] : std::string();
  }
  state_ = s.State;
  token_ = s.Token;
  position_ = s.Position;
  tokenStart_ = s.TokenStart;
  lineIndex_ = s.LineIndex;
}

}  // namespace quill
