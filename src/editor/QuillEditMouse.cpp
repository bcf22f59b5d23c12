// Mouse presses, moves and releases: selecting, dragging the selection,
// clicks on the gutter and on links.

#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>

#include "editor/QuillEdit.h"
#include "platform/Charset.h"

namespace quill {

namespace {

TShiftState ShiftOf(Qt::KeyboardModifiers m, Qt::MouseButtons buttons) {
  TShiftState s = 0;
  if (m & Qt::ShiftModifier) s |= ssShift;
  if (m & Qt::AltModifier) s |= ssAlt;
  if (m & Qt::ControlModifier) s |= ssCtrl;
  if (buttons & Qt::LeftButton) s |= ssLeft;
  if (buttons & Qt::RightButton) s |= ssRight;
  if (buttons & Qt::MiddleButton) s |= ssMiddle;
  return s;
}

TMouseButton ButtonOf(Qt::MouseButton b) {
  switch (b) {
    case Qt::RightButton: return TMouseButton::mbRight;
    case Qt::MiddleButton: return TMouseButton::mbMiddle;
    default: return TMouseButton::mbLeft;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Qt's mouse events

void TCustomQuillEdit::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  MouseDown(ButtonOf(event->button()), ShiftOf(event->modifiers(), event->buttons()), p.x(), p.y());
  event->accept();
}

void TCustomQuillEdit::mouseDoubleClickEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  MouseDown(ButtonOf(event->button()), ShiftOf(event->modifiers(), event->buttons()) | ssDouble, p.x(), p.y());
  DblClick();
  event->accept();
}

void TCustomQuillEdit::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  MouseUp(ButtonOf(event->button()), ShiftOf(event->modifiers(), event->buttons()), p.x(), p.y());
  event->accept();
}

void TCustomQuillEdit::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  DoSetCursor({p.x(), p.y()});
  MouseMove(ShiftOf(event->modifiers(), event->buttons()), p.x(), p.y());
  QAbstractScrollArea::mouseMoveEvent(event);
  event->accept();
}

// ---------------------------------------------------------------------------
// Press, move, release

void TCustomQuillEdit::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  DisableAutoCompleteTimer();
  TCustomQuillEditSource& doc = GetEditSource();
  const TPoint old = doc.CurrentPosition();
  if (focusPolicy() != Qt::NoFocus && isEnabled()) setFocus(Qt::MouseFocusReason);
  if (button != TMouseButton::mbRight || (options_ & eoMoveOnRightClick)) SetPosByMouse(x, y);
  const bool selecting = selState_ == TQuillSelState::seSel || selState_ == TQuillSelState::seDrag;
  if (button == TMouseButton::mbLeft && NeedSelection()) {
    if ((shift & ssDouble) && !MouseOnGutter({x, y})) {
      MarkLineOrWord();
      DisableSelTimer();
      doc.TranslateToSource(63);
    } else if (selState_ == TQuillSelState::seNone) {
      const TPoint caret = doc.CurrentPosition();
      if (InsideBlock(caret.X, caret.Y) && (options_ & eoEnableDragging) && !ReadOnly()) {
        if (shift & ssShift) StartDrag();
        else BeginMouseSelect(TQuillSelState::seDrag, caret);
      } else if (shift & ssShift) {
        SetSelection({}, TQuillSelType::slNone);
        BeginMouseSelect(TQuillSelState::seSel, old);
        MouseSelect();
      } else {
        SetSelection({}, TQuillSelType::slNone);
        BeginMouseSelect(TQuillSelState::seSel, caret);
      }
    }
  } else if (button == TMouseButton::mbRight && selecting) {
    DisableSelTimer();
  }
  pressedOnUrl_ = UrlAtPoint({x, y});
  pressedOnGutter_ = MouseOnGutter({x, y});
}

void TCustomQuillEdit::MouseMove(TShiftState, int x, int y) {
  if (selState_ == TQuillSelState::seSel || selState_ == TQuillSelState::seDrag) {
    // The timer follows the mouse too, also where it stands still outside.
    MouseSelect();
    return;
  }
  if (UrlAtPoint({x, y})) {
    if (!linkCursor_) {
      savedCursor_ = viewport()->cursor();
      linkCursor_ = true;
    }
    viewport()->setCursor(Qt::PointingHandCursor);
  } else if (linkCursor_) {
    linkCursor_ = false;
    viewport()->setCursor(savedCursor_);
  }
}

void TCustomQuillEdit::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == TMouseButton::mbLeft) {
    switch (selState_) {
      case TQuillSelState::seNone:
        if (!dragging_) SetSelection({}, TQuillSelType::slNone);
        break;
      case TQuillSelState::seSel:
        DisableSelTimer();
        if (IsBlockEmpty()) SetSelection({}, TQuillSelType::slNone);
        break;
      case TQuillSelState::seDrag:
        DisableSelTimer();
        // Released on the selection itself: a click, which drops it.
        if (!MoveBlock(!(shift & ssCtrl))) SetSelection({}, TQuillSelType::slNone);
        break;
      case TQuillSelState::seWord: selState_ = TQuillSelState::seNone; break;
    }
    // A link opens on a click, not at the end of a drag that selected text.
    if (pressedOnUrl_ && selState_ == TQuillSelState::seNone && selType_ == TQuillSelType::slNone &&
        UrlAtPoint({x, y}))
      ProcessUrl(PixelToTextPoint({x, y}, false));
  }
  pressedOnUrl_ = false;
  if (pressedOnGutter_ && MouseOnGutter({x, y})) {
    const TPoint p = PixelToTextPoint({x, y}, false);
    GutterClick(p.Y, GetGutterImageIndex({x, y}));
  }
  pressedOnGutter_ = false;
}

void TCustomQuillEdit::DblClick() {
  if (!CursorOnGutter()) return;
  const QPoint local = viewport()->mapFromGlobal(QCursor::pos());
  const TPoint pixel = MousePosition ? MousePosition() : TPoint{local.x(), local.y()};
  GutterDblClick(PixelToTextPoint(pixel, false).Y, GetGutterImageIndex(pixel));
}

void TCustomQuillEdit::StartDrag() {
  auto* drag = new QDrag(this);
  auto* data = new QMimeData;
  data->setText(platform::ToQString(GetSelText()));
  drag->setMimeData(data);
  dragging_ = true;
  drag->exec(Qt::CopyAction);
  dragging_ = false;
}

bool TCustomQuillEdit::MoveBlock(bool move) {
  std::vector<std::string> strings;
  for (int i = 0; i < selStrings_.Count(); ++i) strings.push_back(selStrings_.Get(i));
  const TQuillSelType type = selType_;
  return DropSelection(move, [&] { PasteStrings(strings, type); });
}

bool TCustomQuillEdit::DropSelection(bool move, const std::function<void()>& insert) {
  if (selType_ == TQuillSelType::slNone) return false;
  TCustomQuillEditSource& doc = GetEditSource();
  TPoint drop = doc.CurrentPosition();
  if (InsideBlock(drop.X, drop.Y)) return false;
  // The dropped text stays selected when the update's caret move is told.
  ++selUpdate_;
  try {
    TQuillSourceUpdate update(doc, oprInsertBlock, true);
    if (move) {
      // The drop point follows the text while the block leaves it.
      TrackPoint(0, &drop);
      DeleteBlock();
      TrackPoint(0, nullptr);
      doc.JumpTo(drop.X, drop.Y);
    }
    SetSelection({}, TQuillSelType::slNone);
    insert();
  } catch (...) {
    TrackPoint(0, nullptr);
    --selUpdate_;
    throw;
  }
  --selUpdate_;
  return true;
}

// ---------------------------------------------------------------------------
// Gutter and links

bool TCustomQuillEdit::MouseOnGutter(TPoint pixel) {
  if (!(options_ & eoPaintGutter)) return false;
  if (!PageLayout()) return pixel.X < GetLeftIndent();
  TQuillPage* page = pages_.GetPageAt({0, pixel.Y + windowLine_}, false);
  if (page == nullptr) return false;
  const int right = page->PageRect().Left;
  return pixel.X < right && pixel.X >= right - GetGutterIndent(true);
}

bool TCustomQuillEdit::CursorOnGutter() {
  if (MousePosition) return MouseOnGutter(MousePosition());
  const QPoint local = viewport()->mapFromGlobal(QCursor::pos());
  return MouseOnGutter({local.x(), local.y()});
}

int TCustomQuillEdit::StyleAtCursor(TPoint pixel) {
  if (pixel.X < GetLeftIndent()) return -1;
  const TPoint p = PixelToTextPoint(pixel, false);
  if (p.Y < 0 || p.Y >= LineCount() || p.X < 0 || p.X >= LineWidth(p.Y)) return -1;
  TCustomQuillEditSource& doc = GetEditSource();
  if (doc.Parser() != nullptr || doc.NeedUrls()) doc.ParseToString(p.Y);
  return GetLines().GetData(p.Y, p.X + 1);
}

bool TCustomQuillEdit::UrlAtPoint(TPoint pixel) {
  const int style = GetEditSource().GetUrlStyle();
  return style >= 0 && GetEditSource().NeedUrls() && StyleAtCursor(pixel) == style;
}

void TCustomQuillEdit::ProcessUrl(TPoint p) {
  const std::string s = GetLines().Get(p.Y);
  const int length = static_cast<int>(s.size());
  if (p.X < 0 || p.X >= length) return;
  const TQuillStrings& lines = GetLines();
  const uint16_t style = lines.GetData(p.Y, p.X + 1);
  int from = p.X, to = p.X + 1;
  while (from > 0 && lines.GetData(p.Y, from) == style) --from;
  while (to < length && lines.GetData(p.Y, to + 1) == style) ++to;
  JumpToUrl(s.substr(static_cast<size_t>(from), static_cast<size_t>(to - from)));
}

void TCustomQuillEdit::JumpToUrl(const std::string& text) {
  std::string url = text;
  if (IsEmlString(url) && UpperCase(url).find("MAILTO:") == std::string::npos) url = "mailto:" + url;
  bool handled = false;
  if (OnUrlJump) OnUrlJump(this, url, handled);
  if (!handled) UrlJump(url);
}

int TCustomQuillEdit::GetGutterImageIndex(TPoint pixel) {
  const TPoint p = PixelToTextPoint(pixel, false);
  return GutterImageAt(p.Y, p.X, pixel.X);
}

void TCustomQuillEdit::GutterClick(int line, int imageIndex) {
  if (InvisibleLines() && (imageIndex == 12 || imageIndex == 13)) {
    TQuillStrings& lines = GetLines();
    if (lines.GetExpanded(line)) lines.SetCollapsed(line, true);
    else if (lines.GetCollapsed(line)) lines.SetExpanded(line, true);
  }
  if (OnGutterClick) OnGutterClick(this, line, imageIndex);
}

void TCustomQuillEdit::GutterDblClick(int line, int imageIndex) {
  if (OnGutterDblClick) OnGutterDblClick(this, line, imageIndex);
}

}  // namespace quill
