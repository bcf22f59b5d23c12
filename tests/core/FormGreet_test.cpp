#include "core/FormGreet.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>

#include "Dialogs_helpers.h"

namespace {

using testing_support::DialogApp;
using testing_support::WhenModal;

TEST(Greeting, ConnectReturnsTheTextAndEveryOtherWayCancels) {
  DialogApp();
  {
    // Escape leaves the editor open; the title-bar button cancels. The name
    // called shows whole in the caption.
    TFormGreet form;
    form.UserName = std::string(100, 'n');
    bool openAfterEscape = false;
    WhenModal([&] {
      QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(form.Memo, &escape);
      openAfterEscape = form.isVisible();
      form.close();
    });
    form.exec();
    EXPECT_TRUE(openAfterEscape);
    EXPECT_TRUE(form.Cancelled);
    EXPECT_EQ(form.windowTitle().toStdString(), "Greeting for " + form.UserName);
  }
  {
    TFormGreet form;
    WhenModal([&] {
      // Enter in the memo types its line break; let go, it connects with the text as it stands.
      QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
      QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, "\r");
      QApplication::sendEvent(form.Memo, &press);
      QApplication::sendEvent(form.Memo, &release);
    });
    form.exec();
    EXPECT_FALSE(form.Cancelled);
    EXPECT_EQ(form.Greeting, "\r\n");
  }
}

}  // namespace
