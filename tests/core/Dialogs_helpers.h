#pragma once

#include <QApplication>
#include <functional>

namespace testing_support {

// The application object the dialog tests need: the one that exists, or one
// made here and removed when the tests end.
QApplication& DialogApp();

// Runs `action` once the next modal loop has started (or at the next turn of the
// event loop), so a test can press buttons inside exec().
void WhenModal(std::function<void()> action);

}  // namespace testing_support
