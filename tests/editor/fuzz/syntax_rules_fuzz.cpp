// Reads arbitrary rule texts and parses arbitrary lines with them: a malformed
// expression may only raise the expression error, and parsing always moves forward
// and ends.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "editor/QuillSyntax.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Rules, then a line holding only "%%", then the text to parse.
  std::string input(reinterpret_cast<const char*>(data), size);
  std::string rulesText = input, text;
  size_t split = input.find("\n%%\n");
  if (split != std::string::npos) {
    rulesText = input.substr(0, split);
    text = input.substr(split + 4);
  }
  std::vector<std::string> rules, lines;
  for (size_t start = 0; start <= rulesText.size();) {
    size_t end = rulesText.find('\n', start);
    if (end == std::string::npos) end = rulesText.size();
    rules.push_back(rulesText.substr(start, end - start));
    start = end + 1;
  }
  for (size_t start = 0; start <= text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }

  quill::TQuillSourceParser parser;
  try {
    parser.SetRules(rules);
  } catch (const quill::EQuillRegExprError&) {
    return 0;
  }
  int state = 0;
  for (const std::string& line : lines) {
    int pos = 1;
    while (pos <= static_cast<int>(line.size())) {
      int before = pos;
      int token = parser.ParseString(state, line, pos);
      if (pos <= before || token < -1 || token >= parser.TokenCount() + (parser.TokenCount() == 0)) std::abort();
    }
  }
  parser.SetSource(&lines);
  parser.Reset();
  for (size_t steps = 0; !parser.EndOfSource(); ++steps) {
    if (steps > 4 * text.size() + 8) std::abort();
    std::string peeked;
    parser.PeekToken(peeked);
    if (parser.NextToken() < 0) break;
    if (parser.TokenString() != peeked) std::abort();
  }
  return 0;
}
