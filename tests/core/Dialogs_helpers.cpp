#include "Dialogs_helpers.h"

#include <gtest/gtest.h>

#include <QTimer>

#include "platform/EventLoop.h"

namespace testing_support {

namespace {

QApplication* madeHere = nullptr;

class DialogAppEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    delete madeHere;
    madeHere = nullptr;
  }
};

[[maybe_unused]] ::testing::Environment* const env = ::testing::AddGlobalTestEnvironment(new DialogAppEnvironment);

}  // namespace

QApplication& DialogApp() {
  if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return *app;
  static int argc = 1;
  static char name[] = "core_tests";
  static char* argv[] = {name, nullptr};
  platform::TEventLoopChoice loop;
  madeHere = new QApplication(argc, argv);
  return *madeHere;
}

void WhenModal(std::function<void()> action) { QTimer::singleShot(0, std::move(action)); }

}  // namespace testing_support
