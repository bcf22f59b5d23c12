#include "editor/QuillDocParser.h"

#include <algorithm>

namespace quill {

namespace {

constexpr char ObjectChar = '\x01';

std::string LineText(const TCustomQuillEditSource& doc, int line) {
  if (line < 0 || line >= doc.Strings().Count()) return {};
  return doc.Strings().Get(line);
}

bool Delim(const TCustomQuillEditSource& doc, const std::string& s, int index) {
  return doc.Delimiters().Contains(s[static_cast<size_t>(index - 1)]);
}

char Partner(char ch) {
  switch (ch) {
    case '(': return ')';
    case '<': return '>';
    case '[': return ']';
    case '{': return '}';
    case ')': return '(';
    case '>': return '<';
    case ']': return '[';
    case '}': return '{';
    default: return 0;
  }
}

}  // namespace

bool IsDelimiter(const TCustomQuillEditSource& doc, const std::string& s, int index) {
  if (index < 1 || index > static_cast<int>(s.size())) return false;
  return Delim(doc, s, index);
}

void GetWord(const TCustomQuillEditSource& doc, TPoint p, int& start, int& end, TQuillWordSelType selType) {
  start = end = 0;
  const std::string s = LineText(doc, p.Y);
  const int len = static_cast<int>(s.size());
  if (p.X < 0 || len == 0) return;
  const auto isObject = [&](int i) { return s[static_cast<size_t>(i - 1)] == ObjectChar; };

  int from = std::min(p.X + 1, len);
  while (from >= 1 && Delim(doc, s, from)) --from;
  if (from < 1) {
    from = std::min(p.X + 1, len);
  } else if (!isObject(from)) {
    while (from > 1 && !Delim(doc, s, from - 1) && !isObject(from - 1)) --from;
  }
  while (from <= len && Delim(doc, s, from)) ++from;
  if (from > len) return;

  start = end = from;
  if (!isObject(from))
    while (end < len && !Delim(doc, s, end + 1) && !isObject(end + 1)) ++end;

  if (selType == TQuillWordSelType::wsWordAndSpace) {
    if (end < len && s[static_cast<size_t>(end)] == ' ') ++end;
  } else if (selType == TQuillWordSelType::wsToNextWord) {
    while (end < len && Delim(doc, s, end + 1)) ++end;
  }
}

std::string GetTextAt(const TCustomQuillEditSource& doc, TPoint p, bool check) {
  const std::string s = LineText(doc, p.Y);
  if (check && (p.X < 0 || p.X >= static_cast<int>(s.size()) || Delim(doc, s, p.X + 1))) return {};
  int start = 0, end = 0;
  GetWord(doc, p, start, end, TQuillWordSelType::wsWord);
  if (start <= 0 || end < start) return {};
  return s.substr(static_cast<size_t>(start - 1), static_cast<size_t>(end - start + 1));
}

int FindBracket(const TCustomQuillEditSource& doc, char ch, TPoint p, bool forward) {
  const std::string s = LineText(doc, p.Y);
  const int len = static_cast<int>(s.size());
  if (forward) {
    for (int i = std::max(p.X, 1); i <= len; ++i)
      if (s[static_cast<size_t>(i - 1)] == ch) return i;
  } else {
    for (int i = std::min(p.X, len); i >= 1; --i)
      if (s[static_cast<size_t>(i - 1)] == ch) return i;
  }
  return 0;
}

bool FindCloseBracket(const TCustomQuillEditSource& doc, char ch, TPoint& p) {
  if (ch != '(' && ch != '<' && ch != '[' && ch != '{') return false;
  const char partner = Partner(ch);
  const int count = doc.Strings().Count();
  int depth = 1, x = p.X + 1, y = p.Y;
  while (y < count && depth > 0) {
    const int o = FindBracket(doc, ch, {x + 1, y}, true);
    const int c = FindBracket(doc, partner, {x + 1, y}, true);
    if (o == 0 && c == 0) {
      ++y;
      x = 0;
    } else if (c != 0 && (o == 0 || c < o)) {
      x = c;
      --depth;
    } else {
      x = o;
      ++depth;
    }
  }
  if (depth != 0) return false;
  p = {x - 1, y};
  return true;
}

bool FindOpenBracket(const TCustomQuillEditSource& doc, char ch, TPoint& p) {
  if (ch != ')' && ch != '>' && ch != ']' && ch != '}') return false;
  const char partner = Partner(ch);
  int depth = 1, x = p.X + 1, y = p.Y;
  while (y >= 0 && depth > 0) {
    const int o = FindBracket(doc, ch, {x - 1, y}, false);
    const int c = FindBracket(doc, partner, {x - 1, y}, false);
    if (c != 0 && (o == 0 || c > o)) {
      x = c;
      --depth;
    } else if (o == 0 && c == 0) {
      --y;
      x = static_cast<int>(LineText(doc, y).size()) + 1;
    } else {
      x = o;
      ++depth;
    }
  }
  if (depth != 0) return false;
  p = {x - 1, y};
  return true;
}

}  // namespace quill
