#include "Widgets_helpers.h"

#include <gtest/gtest.h>

#include "platform/EventLoop.h"

namespace testing_support {

namespace {

QApplication* made = nullptr;

class WidgetAppEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    delete made;
    made = nullptr;
  }
};

[[maybe_unused]] ::testing::Environment* const env = ::testing::AddGlobalTestEnvironment(new WidgetAppEnvironment);

}  // namespace

QApplication& WidgetApp() {
  if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return *app;
  static int argc = 1;
  static char name[] = "core_tests";
  static char* argv[] = {name, nullptr};
  platform::TEventLoopChoice loop;
  made = new QApplication(argc, argv);
  return *made;
}

}  // namespace testing_support
