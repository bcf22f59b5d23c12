#pragma once

#include <QApplication>

namespace testing_support {

// The widget tests need an application object; the first case that asks makes
// it, and it goes when the tests end (before the process's own teardown, which
// Qt's input and font layers do not survive).
QApplication& WidgetApp();

}  // namespace testing_support
