#pragma once

#include <QApplication>

namespace testing_support {

// The widget tests need an application object; ctest runs each case in a
// process of its own, and the first case that asks makes it.
inline QApplication& WidgetApp() {
  if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return *app;
  static int argc = 1;
  static char name[] = "core_tests";
  static char* argv[] = {name, nullptr};
  // Never destroyed: tearing it down after main has returned crashes inside Qt.
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

}  // namespace testing_support
