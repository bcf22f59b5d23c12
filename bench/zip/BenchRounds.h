#pragma once

// What every zip bench shares: both sides take turns for a number of rounds (the
// machine may be busy), the median of each side's time stands, and each row ends in
// its ratio against the goal and whether that is met.

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace bench {

struct TRoundTimes {
  double ours = 0;    // median seconds
  double theirs = 0;  // median seconds
  double ratio = 0;   // median of the rounds' theirs / ours (or ours / theirs, see Alternate)
};

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// Wall time for work that runs in other processes; the CPU time of the calling
// thread for work done in it, which other programs on a busy machine disturb less
// (time the thread spends waiting for a core does not count).
enum class TClock { kWall, kThread };

inline double SecondsOf(const std::function<void()>& run, TClock clock) {
  if (clock == TClock::kThread) {
    timespec a{}, b{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &a);
    run();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &b);
    return double(b.tv_sec - a.tv_sec) + double(b.tv_nsec - a.tv_nsec) * 1e-9;
  }
  const auto t0 = std::chrono::steady_clock::now();
  run();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Runs ours and theirs in turn (the first to go alternating); the ratio of each
// round is theirs / ours, or ours / theirs when oursOverTheirs.
inline TRoundTimes Alternate(int rounds, const std::function<void()>& ours, const std::function<void()>& theirs,
                             TClock clock, bool oursOverTheirs = false) {
  std::vector<double> a, b, r;
  for (int round = 0; round < rounds; ++round) {
    double x, y;
    if (round % 2 == 0) {
      x = SecondsOf(ours, clock);
      y = SecondsOf(theirs, clock);
    } else {
      y = SecondsOf(theirs, clock);
      x = SecondsOf(ours, clock);
    }
    a.push_back(x);
    b.push_back(y);
    r.push_back(oursOverTheirs ? x / y : y / x);
  }
  return {Median(a), Median(b), Median(r)};
}

// "ratio 1.2345 (goal >= 1.0000) met" or "... MISSED".
inline void PrintVerdict(double ratio, const char* op, double goal) {
  const bool atLeast = op[0] == '>';
  const bool met = atLeast ? ratio >= goal : ratio <= goal;
  std::printf("ratio %.4f (goal %s %.4f) %s", ratio, op, goal, met ? "met" : "MISSED");
}

}  // namespace bench
