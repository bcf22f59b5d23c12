// Searches about 50 MB of generated chat transcript, line by line as the editor does,
// for a set of patterns: with our expressions and with PCRE2's JIT-compiled matcher,
// the two taking turns over several rounds, and prints each pattern's median time
// ratio against PCRE2-JIT, the total, the goal and whether it is met. PCRE2's
// interpreter is shown beside them, timed in one run. Run it pinned to two cores (taskset -c 2,3).
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
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

constexpr double kGoal = 1.0;  // our time over PCRE2-JIT's, at most
constexpr int kRounds = 5;

struct Pattern {
  const char* ours;
  const char* pcre;
  bool caseSensitive;
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
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

long CountOurs(quill::TQuillRegExpr& re, const std::vector<std::string_view>& lines) {
  long count = 0;
  for (std::string_view line : lines) {
    int pos = 1, len = 0;
    while (re.Find(line, true, len, pos)) {
      ++count;
      pos += len > 0 ? len : 1;
    }
  }
  return count;
}

pcre2_code* Compile(const Pattern& p) {
  int err = 0;
  PCRE2_SIZE errOffset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(p.pcre), PCRE2_ZERO_TERMINATED,
                                   p.caseSensitive ? 0 : PCRE2_CASELESS, &err, &errOffset, nullptr);
  if (code == nullptr) {
    std::fprintf(stderr, "pcre2 rejected %s\n", p.pcre);
    std::exit(1);
  }
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50;
  const int rounds = argc > 2 ? std::max(std::atoi(argv[2]), 1) : kRounds;
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
      {"SEE YOU LATER", "see you later", false},
      {"[0-9]+:[0-9][0-9]", "[0-9]+:[0-9][0-9]", true},
      {"[a-z0-9]+@[a-z]+\\.[a-z.]+", "[a-z0-9]+@[a-z]+\\.[a-z.]+", true},
      {"http://[a-z0-9.]+/", "http://[a-z0-9.]+/", true},
      {"{re}|send", "(?:re)?send", true},
      {"\"[^\"]*\"", "\"[^\"]*\"", true},
      {"z[a-z]*a", "z[a-z]*a", true},
      {"[a-z]+ing", "[a-z]+ing", true},
      {"^[#91][0-9]+:00", "^[\\x5b][0-9]+:00", true},
      {"l{az}+y", "l(?:az)+y", true},
      {"qu!ic", "qu[^i]c", true},
      {"dog$", "dog$", true},
  };

  // Compiled once; the rounds time the searches only.
  std::vector<std::unique_ptr<quill::TQuillRegExpr>> ours;
  std::vector<pcre2_code*> jit, interpreted;
  for (const Pattern& p : patterns) {
    ours.push_back(std::make_unique<quill::TQuillRegExpr>(p.ours, p.caseSensitive));
    interpreted.push_back(Compile(p));
    jit.push_back(Compile(p));
    if (pcre2_jit_compile(jit.back(), PCRE2_JIT_COMPLETE) != 0) {
      std::fprintf(stderr, "pcre2 could not JIT-compile %s\n", p.pcre);
      return 1;
    }
  }

  const size_t count = patterns.size();
  std::vector<std::vector<double>> oursTimes(count), jitTimes(count), ratios(count);
  std::vector<double> totalRatios;
  std::vector<long> oursMatches(count), jitMatches(count);
  for (int round = 0; round < rounds; ++round) {
    double oursTotal = 0, jitTotal = 0;
    for (size_t i = 0; i < count; ++i) {
      double o = 0, j = 0;
      auto runOurs = [&] {
        const auto t0 = std::chrono::steady_clock::now();
        oursMatches[i] = CountOurs(*ours[i], lines);
        o = Seconds(t0);
      };
      auto runJit = [&] {
        const auto t0 = std::chrono::steady_clock::now();
        jitMatches[i] = CountPerLine(jit[i], lines);
        j = Seconds(t0);
      };
      if ((round + static_cast<int>(i)) % 2 == 0) {
        runOurs();
        runJit();
      } else {
        runJit();
        runOurs();
      }
      oursTimes[i].push_back(o);
      jitTimes[i].push_back(j);
      ratios[i].push_back(o / j);
      oursTotal += o;
      jitTotal += j;
    }
    totalRatios.push_back(oursTotal / jitTotal);
  }

  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  sched_getaffinity(0, sizeof cpus, &cpus);
  std::printf("%zu MB, %zu lines; medians of %d rounds, ours and PCRE2-JIT taking turns, on %d cores\n",
              text.size() >> 20, lines.size(), rounds, CPU_COUNT(&cpus));
  std::printf("%-28s %9s %9s %9s %10s %9s\n", "pattern", "matches", "ours ms", "jit ms", "ratio/jit", "interp ms");
  double oursSum = 0, jitSum = 0, interpSum = 0;
  bool countsAgree = true;
  for (size_t i = 0; i < count; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    const long interpMatches = CountPerLine(interpreted[i], lines);
    const double interp = Seconds(t0);
    const double o = Median(oursTimes[i]), j = Median(jitTimes[i]);
    oursSum += o;
    jitSum += j;
    interpSum += interp;
    const bool agree = oursMatches[i] == jitMatches[i] && jitMatches[i] == interpMatches;
    countsAgree = countsAgree && agree;
    std::printf("%-28s %9ld %9.1f %9.1f %10.2f %9.1f%s\n", patterns[i].ours, oursMatches[i], o * 1e3, j * 1e3,
                Median(ratios[i]), interp * 1e3, agree ? "" : "  (match counts differ)");
  }
  const double ratio = Median(totalRatios);
  std::printf("%-28s %9s %9.1f %9.1f %10.2f %9.1f\n", "total", "", oursSum * 1e3, jitSum * 1e3, ratio,
              interpSum * 1e3);
  std::printf("ours vs PCRE2-JIT over all patterns: %.2fx its time (median of per-round totals); goal <= %.2fx: %s\n",
              ratio, kGoal, ratio <= kGoal && countsAgree ? "met" : "NOT met");
  for (size_t i = 0; i < count; ++i) {
    pcre2_code_free(jit[i]);
    pcre2_code_free(interpreted[i]);
  }
  return countsAgree ? 0 : 1;
}
