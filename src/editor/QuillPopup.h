#pragma once

// Shows an existing control (a completion list, a small tree) in a
// borderless pop-up window beside a point of another control,
// as a drop-down does, and gives it back to its old place when the popup
// closes. At most one popup is open at a time. The popups follow the window
// the control came from: they hide when it is minimised, hidden or left for
// another window, and come back with it.

#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>

#include "editor/QuillStrings.h"
#include "platform/StringList.h"

class QLayout;

namespace quill {

using TPopupCloseEvent = std::function<void(QWidget* control)>;

class TQuillPopup : public QWidget {
 public:
  TQuillPopup(QWidget* control, bool sizeable, TPopupCloseEvent onCloseUp);
  ~TQuillPopup() override;

  QWidget* Control() const { return control_; }
  // Accepted or cancelled: runs the close event (accepting), gives the
  // control back and frees the popup once the current event is over.
  void ClosePopup(bool accept);
  // True when the popup closed accepting.
  bool Accepted() const { return accepted_; }
  // Called with the control when the popup closes accepting.
  TPopupCloseEvent OnCloseUp;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  static constexpr int kSizingFrame = 4;

  // Where the control stood in its parent's layout: an index in a box, a cell and its
  // spans in a grid, a row and a role (as the column) in a form.
  struct Place {
    int index = -1;
    int row = 0;
    int column = 0;
    int rowSpan = 1;
    int columnSpan = 1;
  };

  void RestoreControl();
  void SavePlace(QLayout* layout, QWidget* control);
  bool HandleKey(QKeyEvent* event);
  // The sides of the sizing frame under Point (none for the fixed kind).
  Qt::Edges EdgesAt(QPoint point) const;

  QPointer<QWidget> control_;
  QPointer<QWidget> oldParent_;
  QWidget* form_ = nullptr;
  bool wasVisible_ = false;
  QRect oldGeometry_;
  QPointer<QLayout> oldLayout_;
  Place place_;
  Qt::Edges sizing_;
  QPoint sizingFrom_;
  QRect sizingStart_;
  bool sizeable_;
  bool accepted_ = false;
  bool restored_ = false;
  bool closing_ = false;
};

// Shows Control in a popup at (X, Y) of Owner; nothing while a popup is open.
void PopupControl(QWidget* control, QWidget* owner, int x, int y, bool sizeable, TPopupCloseEvent onCloseUp);
// Closes the popup that is open, if any.
void ClosePopupWindow(bool accept);
// The popup that is open, or null.
TQuillPopup* CurrentPopup();

// The editor's settings for its popup lists: their size, whether the user
// may resize them, whether they fit their contents, and the entries shown.
class TQuillPopupWindow {
 public:
  TQuillPopupWindow();
  int Height = 0;
  int Width = 0;
  bool SizeAble = false;
  bool AdjustSize = true;
  TStringList& Strings() { return strings_; }
  void Assign(const TQuillPopupWindow& source);

 private:
  TStringList strings_;
};

}  // namespace quill
