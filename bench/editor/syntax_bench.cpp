// Syntax-parses a generated 1,000,000-line Pascal-like document line by line, as the
// document does (each line starting in the state the previous one ended in), and prints
// lines per second. For scale, the same lines are also split into words by a plain loop.
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "editor/QuillSyntax.h"

int main() {
  const std::vector<std::string> rules = {
      "State = Normal",          "State = Comment",         "Token = tnone",
      "Token = tresword",        "Token = tcomment",        "Token = tstring",
      "Token = tinteger",        "Token = tident",          "Normal 'begin' Normal tresword",
      "Normal 'end' Normal tresword", "Normal 'if' Normal tresword", "Normal 'then' Normal tresword",
      "Normal 'var' Normal tresword", "Normal 'procedure' Normal tresword",
      "Normal \\{ Comment tcomment", "Comment [^}]+ Comment tcomment", "Comment \\} Normal tcomment",
      "Normal //.* Normal tcomment", "Normal #39[^#39]*#39| Normal tstring", "Normal [0-9]+ Normal tinteger",
      "Normal [a-z_][a-z0-9_]* Normal tident"};
  quill::TQuillParser parser;
  parser.SetRules(rules);

  static const char* fragments[] = {"begin", "end;", "if", "x", "then", "counter", ":=", "42", "+", "'text'",
                                 "{ note }", "// trailing", "procedure", "Value_1", "(", ")", "var", "{ open"};
  std::mt19937 rng(99);
  std::vector<std::string> lines(1000000);
  size_t bytes = 0;
  for (std::string& line : lines) {
    line.assign(2 * (rng() % 4), ' ');
    int n = 1 + rng() % 8;
    for (int i = 0; i < n; ++i) {
      line += fragments[rng() % std::size(fragments)];
      line += ' ';
    }
    if (rng() % 20 == 0) line += "}";
    bytes += line.size();
  }

  auto t0 = std::chrono::steady_clock::now();
  int state = 0;
  long tokens = 0;
  for (const std::string& line : lines) {
    int pos = 1;
    while (pos <= static_cast<int>(line.size())) {
      parser.ParseString(state, line, pos);
      ++tokens;
    }
  }
  double parse = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

  t0 = std::chrono::steady_clock::now();
  long words = 0;
  for (const std::string& line : lines) {
    bool inWord = false;
    for (char c : line) {
      bool w = c != ' ';
      words += w && !inWord;
      inWord = w;
    }
  }
  double scan = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

  std::printf("%zu lines, %.1f MB, %ld tokens\n", lines.size(), bytes / 1048576.0, tokens);
  std::printf("syntax parsing: %.0f ms, %.2f million lines/s, %.1f MB/s\n", parse * 1e3, lines.size() / parse / 1e6,
              bytes / parse / 1048576.0);
  std::printf("reference, splitting into words (%ld): %.0f ms\n", words, scan * 1e3);
  return 0;
}
