// The main of every test program. Tests find the source tree, the build tree and
// the headless Qt platform even when a test binary is started by hand rather than
// by ctest. A run whose tests were all skipped (a tool they need is missing) ends
// with PARLO_SKIP_CODE, the one thing ctest reads as a skip.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  setenv("PARLO_SOURCE_DIR", PARLO_SOURCE_DIR_BUILTIN, 0);
  setenv("PARLO_BINARY_DIR", PARLO_BINARY_DIR_BUILTIN, 0);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  testing::InitGoogleTest(&argc, argv);
  const int rc = RUN_ALL_TESTS();
  const testing::UnitTest& run = *testing::UnitTest::GetInstance();
  if (rc == 0 && run.skipped_test_count() > 0 && run.successful_test_count() == 0) return PARLO_SKIP_CODE;
  return rc;
}
