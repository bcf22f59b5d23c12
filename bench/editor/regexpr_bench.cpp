// Searches about 50 MB of generated chat transcript, line by line as the editor does,
// for a set of patterns: with our expressions, with PCRE2 interpreted and with PCRE2's
// JIT compiler, all in the same run, and prints the times side by side with the ratios.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "editor/QuillRegExpr.h"

namespace {

std::string MakeText(size_t bytes) {
  static const char* words[] = {
      "the",   "and",     "message", "transcript", "send",   "resend", "file",   "room",   "hello",
      "quick", "brown",   "fox",     "jumps",      "over",   "lazy",   "dog",    "Parlo",  "chat",
      "zebra", "meeting", "tomorrow", "thanks",    "see",    "you",    "later",  "quirk",  "picture",
      "sent",  "received", "invitation", "member", "host",   "window", "editor", "search", "text"};
  std::mt19937 rng(12345);
  std::string text;
  text.reserve(bytes + 256);
  while (text.size() < bytes) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%02u:%02u] ", static_cast<unsigned>(rng() % 24), static_cast<unsigned>(rng() % 60));
    text += stamp;
    int n = 4 + rng() % 16;
    for (int i = 0; i < n; ++i) {
      unsigned r = rng() % 100;
      if (r < 2) {
        text += "user" + std::to_string(rng() % 1000) + "@mail.example.com";
      } else if (r < 4) {
        text += "http://www.site" + std::to_string(rng() % 100) + ".org/page";
      } else if (r < 6) {
        text += "\"" + std::string(words[rng() % std::size(words)]) + "\"";
      } else if (r < 9) {
        text += std::to_string(rng() % 100000);
      } else {
        text += words[rng() % std::size(words)];
      }
      text += i + 1 < n ? ' ' : '\n';
    }
  }
  return text;
}

struct Pattern {
  const char* ours;
  const char* pcre;
  bool caseSensitive;
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Every match in every line, as the editor searches.
long CountPerLine(const pcre2_code* code, const std::vector<std::string_view>& lines) {
  pcre2_match_data* md = pcre2_match_data_create_from_pattern(code, nullptr);
  long count = 0;
  for (std::string_view line : lines) {
    PCRE2_SIZE offset = 0;
    while (offset < line.size() &&
           pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(line.data()), line.size(), offset, 0, md, nullptr) >= 0) {
      ++count;
      PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md);
      offset = ov[1] > ov[0] ? ov[1] : ov[0] + 1;
    }
  }
  pcre2_match_data_free(md);
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50;
  const std::string text = MakeText(megabytes << 20);
  std::vector<std::string_view> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(std::string_view(text).substr(start, end - start));
    start = end + 1;
  }

  const std::vector<Pattern> patterns = {
      {"invitation", "invitation", true},
      {"PARLO", "parlo", false},
      {"[0-9]+:[0-9][0-9]", "[0-9]+:[0-9][0-9]", true},
      {"[a-z0-9]+@[a-z]+\\.[a-z.]+", "[a-z0-9]+@[a-z]+\\.[a-z.]+", true},
      {"http://[a-z0-9.]+/", "http://[a-z0-9.]+/", true},
      {"{re}|send", "(?:re)?send", true},
      {"\"[^\"]*\"", "\"[^\"]*\"", true},
      {"z[a-z]*a", "z[a-z]*a", true},
      {"^[#91][0-9]+:00", "^[\\x5b][0-9]+:00", true},
      {"l{az}+y", "l(?:az)+y", true},
      {"qu!ic", "qu[^i]c", true},
      {"dog$", "dog$", true},
  };

  std::printf("%zu MB, %zu lines\n", text.size() >> 20, lines.size());
  std::printf("%-28s %9s %9s %9s %9s %7s %9s %7s %11s %7s\n", "pattern", "matches", "pcre2", "ours ms", "pcre2 ms",
              "ratio", "jit ms", "ratio", "pcre2 1-call", "ratio");
  double totalOurs = 0, totalPcre = 0, totalJit = 0, totalWhole = 0;
  for (const Pattern& p : patterns) {
    quill::TQuillRegExpr re(p.ours, p.caseSensitive);
    auto t0 = std::chrono::steady_clock::now();
    long ours = 0;
    for (std::string_view line : lines) {
      int pos = 1, len = 0;
      while (re.Find(line, true, len, pos)) {
        ++ours;
        pos += len > 0 ? len : 1;
      }
    }
    double oursTime = Seconds(t0);

    int err = 0;
    PCRE2_SIZE errOffset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(p.pcre), PCRE2_ZERO_TERMINATED,
                                     p.caseSensitive ? 0 : PCRE2_CASELESS, &err, &errOffset, nullptr);
    if (!code) {
      std::fprintf(stderr, "pcre2 rejected %s\n", p.pcre);
      return 1;
    }
    t0 = std::chrono::steady_clock::now();
    const long theirs = CountPerLine(code, lines);
    double pcreTime = Seconds(t0);
    // The same search with the pattern compiled to machine code.
    double jitTime = 0;
    if (pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0) {
      t0 = std::chrono::steady_clock::now();
      if (CountPerLine(code, lines) != theirs) std::fprintf(stderr, "pcre2 jit counts differ for %s\n", p.pcre);
      jitTime = Seconds(t0);
    }
    pcre2_code_free(code);
    totalJit += jitTime;

    // PCRE2's best case for comparison: the whole text in one subject, lines marked
    // by "^" and "$" (a set may then match across a line break, so counts can differ).
    code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(p.pcre), PCRE2_ZERO_TERMINATED,
                         PCRE2_MULTILINE | (p.caseSensitive ? 0 : PCRE2_CASELESS), &err, &errOffset, nullptr);
    pcre2_match_data* md = pcre2_match_data_create_from_pattern(code, nullptr);
    t0 = std::chrono::steady_clock::now();
    long whole = 0;
    PCRE2_SIZE offset = 0;
    while (offset < text.size() &&
           pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), offset, 0, md, nullptr) >= 0) {
      ++whole;
      PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md);
      offset = ov[1] > ov[0] ? ov[1] : ov[0] + 1;
    }
    double wholeTime = Seconds(t0);
    pcre2_match_data_free(md);
    pcre2_code_free(code);
    totalWhole += wholeTime;

    totalOurs += oursTime;
    totalPcre += pcreTime;
    std::printf("%-28s %9ld %9ld %9.1f %9.1f %7.2f %9.1f %7.2f %11.1f %7.2f%s\n", p.ours, ours, theirs,
                oursTime * 1e3, pcreTime * 1e3, oursTime / pcreTime, jitTime * 1e3,
                jitTime > 0 ? oursTime / jitTime : 0.0, wholeTime * 1e3, oursTime / wholeTime,
                ours == theirs ? "" : "  (counts differ)");
  }
  std::printf("%-28s %9s %9s %9.1f %9.1f %7.2f %9.1f %7.2f %11.1f %7.2f\n", "total", "", "", totalOurs * 1e3,
              totalPcre * 1e3, totalOurs / totalPcre, totalJit * 1e3, totalJit > 0 ? totalOurs / totalJit : 0.0,
              totalWhole * 1e3, totalOurs / totalWhole);
  return 0;
}
