#include <gtest/gtest.h>

#include <QApplication>
#include <QGridLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QVBoxLayout>

#include "QuillView_helpers.h"
#include "editor/QuillPopup.h"

using namespace quill;

namespace {

// A form with a label above the control, laid out, so that giving the
// control back has a place in a layout to find.
struct Form {
  Form() {
    viewtest::EnsureApp();
    window = new QWidget;
    auto* layout = new QVBoxLayout(window);
    layout->addWidget(new QWidget);
    control = new QListWidget;
    layout->addWidget(control);
    window->resize(200, 200);
    window->show();
    geometry = control->geometry();
  }
  ~Form() {
    ClosePopupWindow(false);
    delete window;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  void Key(int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(control, &press);
  }
  QWidget* window;
  QListWidget* control;
  QRect geometry;
};

}  // namespace

TEST(QuillPopup, EscapeGivesTheControlBackWhereItWas) {
  Form f;
  int closed = 0;
  PopupControl(f.control, f.window, 5, 5, false, [&](QWidget*) { ++closed; });
  TQuillPopup* popup = CurrentPopup();
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(f.control->window(), popup);
  EXPECT_TRUE(popup->isVisible());

  // A second popup while one is open does nothing.
  QListWidget other;
  PopupControl(&other, f.window, 0, 0, false, nullptr);
  EXPECT_EQ(CurrentPopup(), popup);
  EXPECT_EQ(other.parentWidget(), nullptr);

  QPointer<TQuillPopup> watch(popup);
  f.Key(Qt::Key_Escape);
  EXPECT_EQ(closed, 0);
  EXPECT_EQ(CurrentPopup(), nullptr);
  EXPECT_EQ(f.control->parentWidget(), f.window);
  EXPECT_EQ(f.window->layout()->indexOf(f.control), 1);
  EXPECT_TRUE(f.control->isVisible());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(watch.isNull());

  // From a grid the control goes back to its cell with its spans; a popup closed by a
  // click outside it (its deactivation) cancels.
  QWidget gridForm;
  auto* grid = new QGridLayout(&gridForm);
  grid->addWidget(new QWidget, 0, 0);
  auto* cell = new QListWidget;
  grid->addWidget(cell, 1, 0, 1, 2);
  gridForm.show();
  PopupControl(cell, &gridForm, 0, 0, false, [&](QWidget*) { ++closed; });
  ASSERT_NE(CurrentPopup(), nullptr);
  CurrentPopup()->close();
  EXPECT_EQ(CurrentPopup(), nullptr);
  EXPECT_EQ(closed, 0);
  int row = -1, column = -1, rows = -1, columns = -1;
  ASSERT_GE(grid->indexOf(cell), 0);
  grid->getItemPosition(grid->indexOf(cell), &row, &column, &rows, &columns);
  EXPECT_EQ(std::make_tuple(row, column, rows, columns), std::make_tuple(1, 0, 1, 2));
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The close event runs while its popup is still current: closing it again
// does nothing, and no other popup opens; it is freed after the event.
TEST(QuillPopup, ACloseHandlerFindsItsPopupStillOpen) {
  Form f;
  QListWidget next;
  QWidget* accepted = nullptr;
  TQuillPopup* during = nullptr;
  PopupControl(f.control, f.window, 5, 5, true, [&](QWidget* control) {
    accepted = control;
    during = CurrentPopup();
    ClosePopupWindow(false);
    PopupControl(&next, f.window, 0, 0, false, nullptr);
  });
  TQuillPopup* first = CurrentPopup();
  f.Key(Qt::Key_Return);
  EXPECT_EQ(accepted, f.control);
  EXPECT_EQ(during, first);
  EXPECT_TRUE(first->Accepted());
  EXPECT_EQ(CurrentPopup(), nullptr);
  EXPECT_EQ(next.parentWidget(), nullptr);
  EXPECT_EQ(f.control->parentWidget(), f.window);
}

TEST(QuillPopup, FollowsItsFormAndClosesOnDoubleClick) {
  Form f;
  bool accepted = false;
  PopupControl(f.control, f.window, 5, 5, false, [&](QWidget*) { accepted = true; });
  TQuillPopup* popup = CurrentPopup();
  f.window->hide();
  EXPECT_FALSE(popup->isVisible());
  EXPECT_EQ(CurrentPopup(), popup);
  f.window->show();
  EXPECT_TRUE(popup->isVisible());

  QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(3, 3), QPointF(3, 3), Qt::LeftButton, Qt::LeftButton,
                  Qt::NoModifier);
  QCoreApplication::sendEvent(f.control->viewport(), &dbl);
  EXPECT_TRUE(accepted);
  EXPECT_EQ(CurrentPopup(), nullptr);
  EXPECT_EQ(f.control->geometry(), f.geometry);
}
