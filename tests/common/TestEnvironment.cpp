// Linked into every test program: tests find the source tree, the build tree and the
// headless Qt platform even when a test binary is started by hand rather than by ctest.
#include <cstdlib>

namespace {

struct TestEnvironment {
  TestEnvironment() {
    setenv("PARLO_SOURCE_DIR", PARLO_SOURCE_DIR_BUILTIN, 0);
    setenv("PARLO_BINARY_DIR", PARLO_BINARY_DIR_BUILTIN, 0);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
  }
};

const TestEnvironment environment;

}  // namespace
