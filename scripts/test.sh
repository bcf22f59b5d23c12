#!/usr/bin/env bash
# Installs what Parlo needs, checks the include layers, builds it three ways and
# runs every test:
#   build       the normal build: unit, loopback and end-to-end tests
#   build-asan  the same tests under AddressSanitizer and UndefinedBehaviorSanitizer
#   build-fuzz  clang's libFuzzer targets, each run for a bounded number of inputs
#   build-tsan  the capture component's tests (its streaming threads) under ThreadSanitizer
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
status=0
# Each phase says when it starts and how much processor time the run has used so
# far (user and system, of every process it waited for), so a slow CI run shows
# where its time went even on a machine shared with other work.
# Said after a phase with a failing test: a failure on a busy machine shows it
# (each failing test also prints the load as it failed).
load_at_failure() {
  local pressure=""
  [[ -r /proc/pressure/cpu ]] && pressure=", tasks waiting for a processor $(awk 'NR == 1 { sub("avg10=", "", $2); print $2 }' /proc/pressure/cpu)% of the last 10 s"
  echo "== a test failed; the machine now: load $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) processors${pressure}"
}
phase() {
  local t cpu
  t=$(mktemp)
  times >"$t"
  cpu=$(awk 'NR == 2 { split($1, u, /[ms]/); split($2, s, /[ms]/); printf "%.1f", u[1] + u[2] / 60 + s[1] + s[2] / 60 }' "$t")
  rm -f "$t"
  echo "== $1 (at $((SECONDS / 60))m$((SECONDS % 60))s, ${cpu} CPU-minutes so far)"
}

# Line tables are all a failing test's stack trace needs; full debug info
# nearly doubles compile time, and so does -O2 under the sanitizers.
normal_flags=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG")
checked_flags=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG")

phase "include layers"
python3 scripts/check_includes.py || status=1

phase "normal build"
bash scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${normal_flags[@]}"
(cd build && ctest --output-on-failure -j"$jobs" --timeout 600) || { status=1; load_at_failure; }

phase "sanitizer build"
bash scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo "${checked_flags[@]}" -DPARLO_SANITIZE=ON -DPARLO_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --output-on-failure -j"$jobs" --timeout 900) || { status=1; load_at_failure; }

phase "fuzz build"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${checked_flags[@]}" -DPARLO_FUZZ=ON -DPARLO_TESTS=OFF \
  -DPARLO_BENCH=OFF -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build build-fuzz -j"$jobs" --target fuzzers
(cd build-fuzz && UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j"$jobs" --timeout 900 --no-tests=ignore) || { status=1; load_at_failure; }

phase "thread sanitizer build (capture tests only)"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${checked_flags[@]}" -DPARLO_TSAN=ON -DPARLO_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target videocapture_tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/videocapture/videocapture_tests --gtest_brief=1 || { status=1; load_at_failure; }

phase "done"
exit $status
