#include "platform/WindowPlacement.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMargins>
#include <QScreen>
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

class TPlacement : public QObject {
 public:
  using QObject::QObject;

  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() != QEvent::Show || !watched->isWidgetType()) return false;
    auto* w = static_cast<QWidget*>(watched);
    if (!PlacedWindow(w)) return false;
    FitIntoScreen(w);
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
  const QSize room = area.marginsRemoved(frame).size();
  if (room.isEmpty()) return;
  const QSize least = window->minimumSize();
  const QSize size = window->size();
  const QSize fitted(std::max(least.width(), std::min(size.width(), room.width())),
                     std::max(least.height(), std::min(size.height(), room.height())));
  if (fitted != size) window->resize(fitted);
  // A window nobody placed is placed by the window manager, in the free area.
  if (!window->testAttribute(Qt::WA_Moved)) return;
  // A window's position is its frame's.
  QRect box(window->pos(), fitted.grownBy(frame));
  box.moveLeft(std::clamp(box.left(), area.left(), std::max(area.left(), area.right() + 1 - box.width())));
  box.moveTop(std::clamp(box.top(), area.top(), std::max(area.top(), area.bottom() + 1 - box.height())));
  if (box.topLeft() != window->pos()) window->move(box.topLeft());
}

void KeepAbove(QWidget* question, const QWidget* asker) {
  const QWidget* owner = asker != nullptr ? asker->window() : nullptr;
  if (owner == nullptr || owner == question || !owner->isVisible()) return;
  question->winId();  // the question's native window, made now if not yet
  if (QWindow* handle = question->windowHandle(); handle != nullptr && owner->windowHandle() != nullptr)
    handle->setTransientParent(owner->windowHandle());
}

}  // namespace platform
