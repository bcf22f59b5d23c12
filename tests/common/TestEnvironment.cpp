// The main of every test program. Tests find the source tree, the build tree and
// the headless Qt platform even when a test binary is started by hand rather than
// by ctest. A run whose tests were all skipped (a tool they need is missing) ends
// with PARLO_SKIP_CODE, the one thing ctest reads as a skip. A test that fails
// says how busy the machine was as it failed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

class TellTheLoad : public testing::EmptyTestEventListener {
  void OnTestEnd(const testing::TestInfo& info) override {
    if (!info.result()->Failed()) return;
    double load[3] = {0, 0, 0};
    const int got = getloadavg(load, 3);
    std::string pressure;
    std::ifstream cpu("/proc/pressure/cpu");
    std::string some, avg10;
    if (cpu >> some >> avg10 && avg10.rfind("avg10=", 0) == 0)
      pressure = ", tasks waiting for a processor " + avg10.substr(6) + "% of the last 10 s";
    std::fprintf(stderr, "%s.%s failed; the machine: load %.2f (1 min) %.2f (5 min) on %u processors%s\n",
                 info.test_suite_name(), info.name(), got > 0 ? load[0] : -1.0, got > 1 ? load[1] : -1.0,
                 std::thread::hardware_concurrency(), pressure.c_str());
  }
};

}  // namespace

int main(int argc, char** argv) {
  setenv("PARLO_SOURCE_DIR", PARLO_SOURCE_DIR_BUILTIN, 0);
  setenv("PARLO_BINARY_DIR", PARLO_BINARY_DIR_BUILTIN, 0);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new TellTheLoad);
  const int rc = RUN_ALL_TESTS();
  const testing::UnitTest& run = *testing::UnitTest::GetInstance();
  if (rc == 0 && run.skipped_test_count() > 0 && run.successful_test_count() == 0) return PARLO_SKIP_CODE;
  return rc;
}
