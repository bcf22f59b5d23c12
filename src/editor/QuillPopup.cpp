#include "editor/QuillPopup.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QBoxLayout>
#include <QFormLayout>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyleOptionFrame>
#include <QTimer>

#include <map>
#include <vector>

namespace quill {

namespace {

QPointer<TQuillPopup>& Current() {
  static QPointer<TQuillPopup> current;
  return current;
}

class TPopupHook;
// Every window's hook: made with the window's first popup, gone with its last.
using TPopupHooks = std::map<QWidget*, TPopupHook*>;

// Watches the window a popped-up control came from, so its popups hide and
// show with it. One per window, shared by its popups, gone with the last.
class TPopupHook : public QObject {
 public:
  explicit TPopupHook(QWidget* form) : form_(form) { form->installEventFilter(this); }

  static TPopupHook* Attach(QWidget* form, TQuillPopup* popup) {
    if (form == nullptr) return nullptr;
    TPopupHook*& hook = Hooks()[form];
    if (hook == nullptr) hook = new TPopupHook(form);
    hook->popups_.push_back(popup);
    return hook;
  }

  static void Detach(QWidget* form, TQuillPopup* popup) {
    auto it = Hooks().find(form);
    if (it == Hooks().end()) return;
    TPopupHook* hook = it->second;
    std::erase_if(hook->popups_, [popup](const QPointer<TQuillPopup>& p) { return p == popup || p.isNull(); });
    if (hook->popups_.empty()) {
      Hooks().erase(it);
      delete hook;
    }
  }

  static bool HidingByHook(const TQuillPopup* popup) {
    for (auto& [form, hook] : Hooks())
      if (hook->hiding_ && hook->Owns(popup)) return true;
    return false;
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != form_) return false;
    switch (event->type()) {
      case QEvent::WindowDeactivate:
        // Which window takes over is known only once the change is done.
        QTimer::singleShot(0, this, [this] {
          if (!Owns(QApplication::activeWindow())) HidePopups();
        });
        break;
      case QEvent::WindowActivate: ShowPopups(); break;
      case QEvent::Hide: HidePopups(); break;
      case QEvent::Show:
      case QEvent::WindowStateChange:
        if (form_->isVisible() && !form_->isMinimized()) ShowPopups();
        else HidePopups();
        break;
      default: break;
    }
    return false;
  }

 private:
  static TPopupHooks& Hooks() {
    static TPopupHooks hooks;
    return hooks;
  }

  bool Owns(const QWidget* window) const {
    for (const auto& p : popups_)
      if (p != nullptr && p == window) return true;
    return false;
  }

  void HidePopups() {
    hiding_ = true;
    for (const auto& p : popups_) {
      if (p != nullptr && p->isVisible()) {
        p->hide();
        hidden_.push_back(p);
      }
    }
    hiding_ = false;
  }

  void ShowPopups() {
    for (const auto& p : hidden_) {
      if (p == nullptr) continue;
      p->setAttribute(Qt::WA_ShowWithoutActivating, true);
      p->show();
      p->setAttribute(Qt::WA_ShowWithoutActivating, false);
    }
    hidden_.clear();
  }

  QWidget* form_;
  std::vector<QPointer<TQuillPopup>> popups_;
  std::vector<QPointer<TQuillPopup>> hidden_;
  bool hiding_ = false;
};

}  // namespace

TQuillPopup* CurrentPopup() { return Current().data(); }

// A pop-up window, as a drop-down's list is: it takes the keyboard without taking
// the activation from the form, whose caption so stays active while it is open.
// The window manager frames no such window, so the sizing frame is the popup's own.
TQuillPopup::TQuillPopup(QWidget* control, bool sizeable, TPopupCloseEvent onCloseUp)
    : QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint),
      OnCloseUp(std::move(onCloseUp)),
      control_(control),
      sizeable_(sizeable) {
  setAttribute(Qt::WA_DeleteOnClose, false);
  oldParent_ = control->parentWidget();
  wasVisible_ = !control->isHidden();
  oldGeometry_ = control->geometry();
  if (oldParent_ != nullptr) SavePlace(oldParent_->layout(), control);
  form_ = control->window();
  TPopupHook::Attach(form_, this);

  auto* layout = new QVBoxLayout(this);
  // The fixed kind has a thin border, the sizeable one a sizing frame.
  const int border = sizeable ? kSizingFrame : 1;
  layout->setContentsMargins(border, border, border, border);
  setAutoFillBackground(true);
  QPalette frame = palette();
  frame.setColor(QPalette::Window, QColor(0x64, 0x64, 0x64));
  setPalette(frame);
  const QSize size = control->size();
  layout->addWidget(control);
  control->show();
  resize(size.width() + 2 * border, size.height() + 2 * border);

  // The frame's cursor follows the mouse before any button is down.
  setMouseTracking(sizeable);
  control->installEventFilter(this);
  if (auto* area = qobject_cast<QAbstractScrollArea*>(control)) area->viewport()->installEventFilter(this);
}

TQuillPopup::~TQuillPopup() {
  RestoreControl();
  if (Current() == this) Current() = nullptr;
}

void TQuillPopup::RestoreControl() {
  if (restored_) return;
  restored_ = true;
  TPopupHook::Detach(form_, this);
  if (control_ == nullptr) return;
  control_->removeEventFilter(this);
  if (auto* area = qobject_cast<QAbstractScrollArea*>(control_.data())) area->viewport()->removeEventFilter(this);
  control_->hide();
  control_->setParent(oldParent_);
  if (oldLayout_ != nullptr) {
    if (auto* box = qobject_cast<QBoxLayout*>(oldLayout_.data()))
      box->insertWidget(place_.index, control_);
    else if (auto* grid = qobject_cast<QGridLayout*>(oldLayout_.data()))
      grid->addWidget(control_, place_.row, place_.column, place_.rowSpan, place_.columnSpan);
    else if (auto* form = qobject_cast<QFormLayout*>(oldLayout_.data()))
      form->setWidget(place_.row, static_cast<QFormLayout::ItemRole>(place_.column), control_);
  }
  control_->setGeometry(oldGeometry_);
  control_->setVisible(wasVisible_);
}

void TQuillPopup::SavePlace(QLayout* layout, QWidget* control) {
  if (layout == nullptr) return;
  const int index = layout->indexOf(control);
  if (index < 0) return;
  place_.index = index;
  if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
    grid->getItemPosition(index, &place_.row, &place_.column, &place_.rowSpan, &place_.columnSpan);
  } else if (auto* form = qobject_cast<QFormLayout*>(layout)) {
    QFormLayout::ItemRole role = QFormLayout::FieldRole;
    form->getWidgetPosition(control, &place_.row, &role);
    place_.column = static_cast<int>(role);
  } else if (qobject_cast<QBoxLayout*>(layout) == nullptr) {
    return;
  }
  oldLayout_ = layout;
}

// --- the sizing frame of the sizeable kind ---

Qt::Edges TQuillPopup::EdgesAt(QPoint point) const {
  Qt::Edges edges;
  if (!sizeable_) return edges;
  // Corners reach a little along the sides, as a frame's do.
  const int corner = 2 * kSizingFrame + 8;
  const QRect r = rect();
  const bool left = point.x() < kSizingFrame, right = point.x() >= r.width() - kSizingFrame;
  const bool top = point.y() < kSizingFrame, bottom = point.y() >= r.height() - kSizingFrame;
  if (!(left || right || top || bottom)) return edges;
  if (left || ((top || bottom) && point.x() < corner)) edges |= Qt::LeftEdge;
  if (right || ((top || bottom) && point.x() >= r.width() - corner)) edges |= Qt::RightEdge;
  if (top || ((left || right) && point.y() < corner)) edges |= Qt::TopEdge;
  if (bottom || ((left || right) && point.y() >= r.height() - corner)) edges |= Qt::BottomEdge;
  return edges;
}

void TQuillPopup::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  if (!sizeable_) return;
  QPainter painter(this);
  QStyleOptionFrame frame;
  frame.initFrom(this);
  frame.lineWidth = kSizingFrame;
  frame.midLineWidth = 0;
  frame.state |= QStyle::State_Raised;
  style()->drawPrimitive(QStyle::PE_Frame, &frame, &painter, this);
}

void TQuillPopup::mousePressEvent(QMouseEvent* event) {
  sizing_ = event->button() == Qt::LeftButton ? EdgesAt(event->position().toPoint()) : Qt::Edges();
  if (sizing_ == Qt::Edges()) {
    QWidget::mousePressEvent(event);
    return;
  }
  sizingFrom_ = event->globalPosition().toPoint();
  sizingStart_ = geometry();
}

void TQuillPopup::mouseMoveEvent(QMouseEvent* event) {
  if (sizing_ == Qt::Edges()) {
    const Qt::Edges edges = EdgesAt(event->position().toPoint());
    const bool diagonal = edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge);
    const bool anti = edges == (Qt::RightEdge | Qt::TopEdge) || edges == (Qt::LeftEdge | Qt::BottomEdge);
    if (diagonal) setCursor(Qt::SizeFDiagCursor);
    else if (anti) setCursor(Qt::SizeBDiagCursor);
    else if (edges & (Qt::LeftEdge | Qt::RightEdge)) setCursor(Qt::SizeHorCursor);
    else if (edges & (Qt::TopEdge | Qt::BottomEdge)) setCursor(Qt::SizeVerCursor);
    else unsetCursor();
    QWidget::mouseMoveEvent(event);
    return;
  }
  const QPoint delta = event->globalPosition().toPoint() - sizingFrom_;
  QRect r = sizingStart_;
  const int least = 2 * kSizingFrame + 8;
  if (sizing_ & Qt::LeftEdge) r.setLeft(std::min(r.left() + delta.x(), r.right() - least));
  if (sizing_ & Qt::RightEdge) r.setRight(std::max(r.right() + delta.x(), r.left() + least));
  if (sizing_ & Qt::TopEdge) r.setTop(std::min(r.top() + delta.y(), r.bottom() - least));
  if (sizing_ & Qt::BottomEdge) r.setBottom(std::max(r.bottom() + delta.y(), r.top() + least));
  setGeometry(r);
}

void TQuillPopup::mouseReleaseEvent(QMouseEvent* event) {
  if (sizing_ == Qt::Edges()) QWidget::mouseReleaseEvent(event);
  sizing_ = Qt::Edges();
}

void TQuillPopup::ClosePopup(bool accept) {
  // A handler that closes the popup again finds it closing already; one that
  // opens another finds this one still current, and opens nothing.
  if (Current() != this || closing_) return;
  closing_ = true;
  if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
  accepted_ = accept;
  QPointer<TQuillPopup> self(this);
  const TPopupCloseEvent handler = OnCloseUp;
  if (accept && handler) handler(control_);
  if (self == nullptr) return;
  Current() = nullptr;
  RestoreControl();
  if (oldParent_ != nullptr && oldParent_->focusPolicy() != Qt::NoFocus) oldParent_->setFocus();
  hide();
  // Never at once: the close may come from inside one of the popup's own events.
  deleteLater();
}

bool TQuillPopup::HandleKey(QKeyEvent* event) {
  const bool plain = (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) == 0;
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && plain) {
    ClosePopup(true);
    return true;
  }
  if (event->key() == Qt::Key_Escape) {
    ClosePopup(false);
    return true;
  }
  return false;
}

bool TQuillPopup::eventFilter(QObject*, QEvent* event) {
  if (event->type() == QEvent::KeyPress) return HandleKey(static_cast<QKeyEvent*>(event));
  if (event->type() == QEvent::MouseButtonDblClick) {
    ClosePopup(true);
    return true;
  }
  return false;
}

void TQuillPopup::keyPressEvent(QKeyEvent* event) {
  if (!HandleKey(event)) QWidget::keyPressEvent(event);
}

bool TQuillPopup::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::WindowDeactivate:
      if (isVisible() && !TPopupHook::HidingByHook(this)) ClosePopup(false);
      break;
    case QEvent::Hide:
      // A click outside closes a pop-up window: that is its deactivation.
      if (!restored_ && !TPopupHook::HidingByHook(this)) ClosePopup(false);
      break;
    default: break;
  }
  return QWidget::event(event);
}

void PopupControl(QWidget* control, QWidget* owner, int x, int y, bool sizeable, TPopupCloseEvent onCloseUp) {
  if (Current() != nullptr || control == nullptr) return;
  auto* popup = new TQuillPopup(control, sizeable, std::move(onCloseUp));
  const QPoint at = owner != nullptr ? owner->mapToGlobal(QPoint(x, y)) : QPoint(x, y);
  popup->move(at);
  Current() = popup;
  popup->show();
  control->setFocus();
}

void ClosePopupWindow(bool accept) {
  if (TQuillPopup* popup = Current()) popup->ClosePopup(accept);
}

TQuillPopupWindow::TQuillPopupWindow() {
  QRect screen(0, 0, 1024, 768);
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr)
    if (QScreen* s = QGuiApplication::primaryScreen()) screen = s->geometry();
  Height = screen.height() / 4;
  Width = screen.width() / 4;
}

void TQuillPopupWindow::Assign(const TQuillPopupWindow& source) {
  Height = source.Height;
  Width = source.Width;
  SizeAble = source.SizeAble;
  AdjustSize = source.AdjustSize;
}

}  // namespace quill
