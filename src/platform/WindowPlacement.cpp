#include "platform/WindowPlacement.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMargins>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>
#include <QVariant>
#include <QWidget>
#include <QWindow>
#include <algorithm>

#include "platform/DesktopPrompts.h"

namespace platform {

namespace {

// The frame a window manager puts around a window is known only once it is
// shown: one already framed stands for the rest, as window frames are alike.
QMargins FrameOfShownWindows() {
  for (const QWidget* w : QApplication::topLevelWidgets()) {
    if (!w->isVisible() || w->windowType() != Qt::Window) continue;
    const QRect frame = w->frameGeometry();
    const QRect client = w->geometry();
    if (frame == client) continue;
    return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
            frame.bottom() - client.bottom()};
  }
  return {};
}

bool PlacedWindow(const QWidget* w) {
  if (!w->isWindow()) return false;
  switch (w->windowType()) {
    case Qt::Window:
    case Qt::Dialog:
    case Qt::Sheet:
    case Qt::Tool:
      return true;
    default:  // menus, tool tips, the desktop: Qt places them itself
      return false;
  }
}

// Where `box` goes to lie inside `area`: moved no further than it must, and
// to the area's top left corner when larger.
QPoint Inside(const QRect& box, const QRect& area) {
  return {std::clamp(box.left(), area.left(), std::max(area.left(), area.right() + 1 - box.width())),
          std::clamp(box.top(), area.top(), std::max(area.top(), area.bottom() + 1 - box.height()))};
}

// The size of `window` cut down to what `frame` leaves of `area`, never
// below its minimum size; as it is when that leaves nothing.
QSize Fitted(const QWidget* window, const QMargins& frame, const QRect& area) {
  const QSize room = area.marginsRemoved(frame).size();
  if (room.isEmpty()) return window->size();
  const QSize least = window->minimumSize();
  const QSize size = window->size();
  return {std::max(least.width(), std::min(size.width(), room.width())),
          std::max(least.height(), std::min(size.height(), room.height()))};
}

// The frame around `window` once the window manager has put one there, else
// that of another window.
QMargins FrameOf(const QWidget* window) {
  const QRect frame = window->frameGeometry();
  const QRect client = window->geometry();
  if (frame == client) return FrameOfShownWindows();
  return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
          frame.bottom() - client.bottom()};
}

// Moves a window the window manager has placed into the free area when it
// placed it partly outside (window managers do, for a window that fits
// nowhere beside the others).
void PullInside(QWidget* window) {
  const QScreen* screen = window->screen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  const QRect box(window->pos(), window->size().grownBy(FrameOf(window)));
  if (!area.contains(box)) window->move(Inside(box, area));
}

// A window the program resizes once shown (to fit a picture, say) stays
// inside, unless the user had put it partly outside.
void KeepResizedInside(QWidget* window, QSize old) {
  const QScreen* screen = window->screen();
  if (screen == nullptr || !window->isVisible() || !old.isValid() || old == window->size()) return;
  const QRect area = screen->availableGeometry();
  const QMargins frame = FrameOf(window);
  if (!area.contains(QRect(window->pos(), old.grownBy(frame)))) return;
  const QSize fitted = Fitted(window, frame, area);
  if (fitted != window->size()) window->resize(fitted);
  PullInside(window);
}

constexpr const char* kPlacing = "parloPlacing";
// How long after showing a window its placement by the window manager is
// awaited; a move after that is the user's own.
constexpr int kPlacingMs = 1500;

class TPlacement : public QObject {
 public:
  using QObject::QObject;

  bool eventFilter(QObject* watched, QEvent* e) override {
    if (!watched->isWidgetType() ||
        (e->type() != QEvent::Show && e->type() != QEvent::Move && e->type() != QEvent::Resize))
      return false;
    auto* w = static_cast<QWidget*>(watched);
    if (!PlacedWindow(w)) return false;
    if (e->type() == QEvent::Resize) {
      // What the user does to a window's size is the user's.
      if (!e->spontaneous()) KeepResizedInside(w, static_cast<QResizeEvent*>(e)->oldSize());
      return false;
    }
    if (e->type() == QEvent::Move) {
      if (w->property(kPlacing).toBool() && w->isVisible() && e->spontaneous()) PullInside(w);
      return false;
    }
    FitIntoScreen(w);
    if (!w->testAttribute(Qt::WA_Moved)) {
      w->setProperty(kPlacing, true);
      QTimer::singleShot(kPlacingMs, w, [w] { w->setProperty(kPlacing, QVariant()); });
    }
    // A question no window owns goes above the window the user works in,
    // rather than wherever the window manager chooses.
    if (w->windowType() == Qt::Dialog && w->windowHandle() != nullptr && w->windowHandle()->transientParent() == nullptr)
      if (QWidget* asker = QuestionWindow(); asker != nullptr && asker != w) KeepAbove(w, asker);
    return false;
  }
};

}  // namespace

void KeepWindowsOnScreen() {
  auto* app = QCoreApplication::instance();
  constexpr const char* kName = "parloWindowPlacement";
  if (app == nullptr || app->findChild<QObject*>(kName, Qt::FindDirectChildrenOnly) != nullptr) return;
  auto* placement = new TPlacement(app);
  placement->setObjectName(kName);
  app->installEventFilter(placement);
}

void FitIntoScreen(QWidget* window) {
  const QScreen* screen = window->screen() != nullptr ? window->screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  const QMargins frame = FrameOfShownWindows();
  const QSize fitted = Fitted(window, frame, area);
  if (fitted != window->size()) window->resize(fitted);
  // A window nobody placed is placed by the window manager (and pulled
  // inside afterwards, should it be placed partly outside).
  if (!window->testAttribute(Qt::WA_Moved)) return;
  // A window's position is its frame's.
  const QPoint at = Inside(QRect(window->pos(), fitted.grownBy(frame)), area);
  if (at != window->pos()) window->move(at);
}

void KeepAbove(QWidget* question, const QWidget* asker) {
  const QWidget* owner = asker != nullptr ? asker->window() : nullptr;
  if (owner == nullptr || owner == question || !owner->isVisible()) return;
  question->winId();  // the question's native window, made now if not yet
  if (QWindow* handle = question->windowHandle(); handle != nullptr && owner->windowHandle() != nullptr)
    handle->setTransientParent(owner->windowHandle());
}

}  // namespace platform
