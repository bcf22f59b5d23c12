// Every platform test runs with the program's application object.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/GuardedApplication.h"

namespace {

class QtApplication : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "platform_tests";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    app_ = new platform::GuardedApplication(argc, argv);
  }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

 private:
  QCoreApplication* app_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const qt_env = ::testing::AddGlobalTestEnvironment(new QtApplication);

}  // namespace
