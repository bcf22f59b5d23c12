#include "editor/QuillEdit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyleHints>
#include <QWheelEvent>

#include <algorithm>

#include "editor/QuillHint.h"
#include "editor/QuillListBox.h"
#include "editor/QuillScrollBar.h"
#include "editor/QuillSettings.h"
#include "editor/QuillTimer.h"
#include "platform/Caret.h"

namespace quill {

namespace {

// One overwrite mode for the whole program, as on a typewriter keyboard.
bool overwriteMode = false;

}  // namespace

int TCustomQuillEdit::ParseAhead = 256;

TQuillEditClasses TCustomQuillEdit::DefaultClasses() {
  TQuillEditClasses c;
  c.EditSourceClassName = "TCustomQuillEditSource";
  c.NewEditSource = [] { return std::make_unique<TCustomQuillEditSource>(); };
  c.IsEditSource = [](const TCustomQuillEditSource&) { return true; };
  c.NewWrapList = [] { return std::make_unique<TQuillWrapList>(); };
  c.NewPainter = [](TQuillEditorView* view) -> std::unique_ptr<TCustomQuillPainter> {
    return TCustomQuillPainter::Create<TQuillPainter>(view);
  };
  return c;
}

TCustomQuillEdit::TCustomQuillEdit(QWidget* parent) : TCustomQuillEdit(parent, DefaultClasses()) {}

TCustomQuillEdit::TCustomQuillEdit(QWidget* parent, const TQuillEditClasses& classes)
    : QAbstractScrollArea(parent), classes_(classes) {
  Construct(classes);
}

void TCustomQuillEdit::Construct(const TQuillEditClasses& classes) {
  wrapList_ = classes.NewWrapList();
  wrapList_->OnWrap = [this](int first, int count) { OnUpdateWordWrap(this, first, first + count - 1); };
  colors_.OnChange = [this](TQuillObject*) { ColorsChanged(); };
  internal_ = classes.NewEditSource();
  internal_->RegisterNotifier(Handler());
  internal_->SetOwnerView(this);
  pages_.Add();
  painter_ = classes.NewPainter(this);
  caret_ = std::make_unique<platform::TCaret>(viewport());
  selTimer_ = std::make_unique<TQuillTimer>();
  selTimer_->SetInterval(30);
  selTimer_->SetEnabled(false);
  selTimer_->SetOnTimer([this](TQuillObject*) { MouseSelect(); });

  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setMouseTracking(true);
  viewport()->setCursor(Qt::IBeamCursor);
  setFocusPolicy(Qt::StrongFocus);
  setFrameShape(QFrame::StyledPanel);
  setVerticalScrollBar(new TQuillScrollBar(Qt::Vertical));
  setHorizontalScrollBar(new TQuillScrollBar(Qt::Horizontal));
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  ConnectScrollBars();
  InitDefaultKeys();
  AssignDefaultFont();
  pageNumFont_ = font_;
  resize(185, 89);
  UpdateLines(0, MaxInt);
}

TCustomQuillEdit::~TCustomQuillEdit() {
  destroying_ = true;
  DisableSelTimer();
  selTimer_.reset();
  DisableAutoCompleteTimer();
  HidePopupListBox();
  verticalScrollBar()->disconnect(this);
  horizontalScrollBar()->disconnect(this);
  TCustomQuillEditSource& doc = GetEditSource();
  if (doc.OwnerView() == this) doc.SetOwnerView(nullptr);
  if (external_ != nullptr) {
    external_->UnRegisterNotifier(Handler());
    RemoveFreeNotification(external_);
  }
  internal_->UnRegisterNotifier(Handler());
  pages_.Clear();
}

TQuillNotifyEvent TCustomQuillEdit::Handler() { return NotifyEvent<&TCustomQuillEdit::HandleEvents>(this); }

void TCustomQuillEdit::ConnectScrollBars() {
  auto connectBar = [this](QScrollBar* bar, bool vertical) {
    connect(bar, &QAbstractSlider::actionTriggered, this, [this, bar, vertical](int action) {
      int code = -1;
      switch (action) {
        case QAbstractSlider::SliderSingleStepAdd: code = scLineDown; break;
        case QAbstractSlider::SliderSingleStepSub: code = scLineUp; break;
        case QAbstractSlider::SliderPageStepAdd: code = scPageDown; break;
        case QAbstractSlider::SliderPageStepSub: code = scPageUp; break;
        case QAbstractSlider::SliderToMinimum: code = scTop; break;
        case QAbstractSlider::SliderToMaximum: code = scBottom; break;
        case QAbstractSlider::SliderMove: code = scTrack; break;
        default: return;
      }
      if (vertical) DoVScroll(code, bar->sliderPosition());
      else DoHScroll(code, bar->sliderPosition());
    });
    connect(bar, &QAbstractSlider::sliderReleased, this, [this, bar, vertical] {
      const int pos = bar->sliderPosition();
      if (vertical) {
        DoVScroll(scPosition, pos);
        DoVScroll(scEndScroll, pos);
      } else {
        DoHScroll(scPosition, pos);
        DoHScroll(scEndScroll, pos);
      }
    });
  };
  connectBar(verticalScrollBar(), true);
  connectBar(horizontalScrollBar(), false);
}

// ---------------------------------------------------------------------------
// Document

TCustomQuillEditSource& TCustomQuillEdit::GetEditSource() { return external_ != nullptr ? *external_ : *internal_; }

void TCustomQuillEdit::SetEditSource(TCustomQuillEditSource* source) {
  if (source == internal_.get()) source = nullptr;
  if (source != nullptr && !classes_.IsEditSource(*source))
    throw platform::Exception(FormatMsg(msg::sWrongEditSource, classes_.EditSourceClassName));
  if (source == external_) return;
  if (external_ != nullptr) {
    external_->UnRegisterNotifier(Handler());
    external_->SetUsePages(false);
    if (external_->OwnerView() == this) external_->SetOwnerView(nullptr);
    RemoveFreeNotification(external_);
  }
  external_ = source;
  if (source != nullptr) {
    source->RegisterNotifier(Handler());
    source->SetUsePages(NeedPages());
    if (source->OwnerView() == nullptr) source->SetOwnerView(this);
    FreeNotification(source);
    UpdateInvisibleLines();
  }
  EditSourceChanged();
}

void TCustomQuillEdit::Notification(TQuillComponent* component, TOperation operation) {
  TQuillComponent::Notification(component, operation);
  if (operation == TOperation::opRemove && component == external_ && !destroying_) {
    // The document is going: nothing may be asked of it any more.
    external_ = nullptr;
    EditSourceChanged();
  }
}

void TCustomQuillEdit::EditSourceChanged() {
  SetSelection({}, TQuillSelType::slNone);
  UpdateLines(0, MaxInt);
  UpdateWordWrap(0, MaxInt);
  UpdateLineNumbers(false);
  pages_.RemoveExtraPages();
  if (windowLine_ > MaxVisibleLine() && !PageLayout()) windowLine_ = MaxVisibleLine();
  WordWrapUpdated(true);
}

void TCustomQuillEdit::SetUseGlobalSettings(bool value) {
  if (value == useGlobalSettings_) return;
  useGlobalSettings_ = value;
  if (external_ == nullptr) internal_->SetUseGlobalSettings(value);
  if (value)
    if (TQuillSettings* settings = GlobalSettings(this)) settings->ApplySettings(this);
}

void TCustomQuillEdit::ParseStrings(int from, int to) {
  GetEditSource().ParseToString(to == MaxInt ? std::min<int64_t>(int64_t{from} + ParseAhead, MaxInt) : to);
}

void TCustomQuillEdit::UpdateInvisibleLines() {
  // Hidden lines and wrapped rows do not mix: a wrapped view shows every line.
  TCustomQuillEditSource& doc = GetEditSource();
  if (wordWrap_ && (doc.Options() & srAllowHiddenLines)) doc.SetOptions(doc.Options() & ~srAllowHiddenLines);
}

// ---------------------------------------------------------------------------
// Notifications from the document

void TCustomQuillEdit::HandleEvents(TQuillObject*, intptr_t param) {
  if (destroying_) return;
  TCustomQuillEditSource& doc = GetEditSource();
  const bool owner = doc.OwnerView() == this;
  if (param != 0) {
    auto& record = *reinterpret_cast<TNotifyRecord*>(param);
    switch (record.Operation) {
      case oprNavigate:
        if (wordWrap_ && owner) BeforeNavigate(record);
        break;
      case oprUpdateBlock: {
        const auto& shift = *reinterpret_cast<const TRect*>(record.Param);
        if (shift.Bottom != 0) ShiftRows(shift.Top, shift.Bottom);
        UpdateBlock(shift.Left, shift.Top, shift.Right, shift.Bottom);
        break;
      }
      case oprUpdateLines: UpdateLines(record.Point.X, record.Point.Y); break;
      default: break;
    }
    return;
  }

  const TQuillEditSourceStates states = doc.State();
  const int first = std::max(doc.ChangedFirstLine(), 0);
  int last = doc.ChangedLastLine() < 0 ? first : doc.ChangedLastLine();
  // The rows of lines that only moved were moved with them, and lines
  // between the ranges changed keep their rows; a parser may have restyled
  // the lines below a change, which then wrap anew.
  const bool rowsInStep = (linesBeforeShift_ < 0 ? !(states & csCountChanged) : RowsFollowedLines()) &&
                          doc.Parser() == nullptr && doc.ChangedFirstLine() >= 0;
  rowsShifted_ = 0;
  linesBeforeShift_ = -1;
  if (states & csCountChanged) {
    // Lines came or went: every row after the change moved.
    last = MaxInt;
    CheckWindowLine(true);
  }
  if (states & (csEdit | csParagraphChanged)) {
    blockMark_ = {-1, -1};
    caretAtEnd_ = false;
    pages_.RemoveExtraPages();
    const int rows = wrapList_->Count();
    if (rowsInStep) {
      for (const auto& [from, to] : doc.ChangedLineRanges()) UpdateWordWrap(from, to);
    } else {
      UpdateWordWrap(first, last);
    }
    if (wrapList_->Count() != rows) {
      InvalidateEditor(first, MaxInt);
    } else {
      InvalidateEditor(first, last);
    }
    if (NeedPages()) PagesStaleFrom(first);
  } else if (states & (csBookMarkChanged | csLineStyleChanged)) {
    InvalidateEditor(first, last);
  }
  if (states & csUndo) SetSelection({}, TQuillSelType::slNone);
  TQuillEditSourceStates told = states;
  if (((states & csPositionChanged) && owner) || (states & csEdit)) {
    if (divider_.Options() & ldHighlightCurrentLine) {
      InvalidateEditor(caretLine_, caretLine_);
      InvalidateEditor(doc.CurrentPosition().Y, doc.CurrentPosition().Y);
    }
    caretLine_ = doc.CurrentPosition().Y;
    // A caret the search did not move ends the incremental search. It is
    // told with this notice: an update of its own, opened while the views
    // are being told, would put its record in place of this change's before
    // the views after this one had read it.
    if (incSearch_ && !incSearchMoving_) {
      incSearch_ = false;
      incSearchText_.clear();
      SetSearchRect({});
      told |= csIncrementalSearchChanged;
    }
    if (selUpdate_ == 0 && !(options_ & eoPersistentBlocks)) SetSelection({}, TQuillSelType::slNone);
    if (searchLock_ == 0) SetSearchRect({});
    if (mousePositioning_ == 0) caretAtEnd_ = false;
    if (owner) {
      if (doc.GoingToBookmark() && (options_ & eoCenterOnBookmark)) CenterCurrentLine(false);
      else EnsureCaretVisible();
      UpdateCaretMode();
      UpdateCaret();
    }
    UpdateLineNumbers(false);
  }
  if ((states & csReadOnlyChanged) && (options_ & eoUseReadOnlyColor)) Invalidate();
  if (states & csParserChanged) {
    painter_->FontChanged();
    if (NeedStoreInfo()) RewrapKeepingTop();
    if (TCustomQuillParser* parser = doc.Parser()) {
      const TColor back = parser->GetDefaultColor();
      if (back != clNone) color_ = back;
    }
    UpdateColors();
  }
  if (states & csVisibleChanged) {
    UpdateScrollBars();
    UpdateScrollPos();
    Invalidate();
  }
  if (doc.Parser() != nullptr || doc.NeedSpell()) {
    const int top = PageLayout() ? PixelToTextPoint({0, GetTopIndent()}, false).Y : TopLeftPoint().Y;
    if (last > first || doc.FirstUnparsedLine() <= top + 100) ParseStrings(top, MaxInt);
  }
  SourceChanged(told);
  if (states & (csPositionChanged | csEdit)) SelectionChanged();
}

void TCustomQuillEdit::SourceChanged(TQuillEditSourceStates states) {
  if (OnSourceChanged) OnSourceChanged(this, states);
}

void TCustomQuillEdit::SelectionChanged() {
  if (options_ & eoHighlightBrackets) HighlightBrackets();
  UpdateRulers();
  if (OnSelectionChanged) OnSelectionChanged(this);
}

// ---------------------------------------------------------------------------
// Properties

void TCustomQuillEdit::SetFont(const TQuillFont& font) {
  if (font == font_) return;
  font_ = font;
  DoFontChanged();
}

void TCustomQuillEdit::AssignEditorFont(const std::string& face) {
  TQuillFont font;
  font.Name = face;
  font.Size = 10;
  font.Color = clWindowText;
  SetFont(font);
}

void TCustomQuillEdit::DoFontChanged() {
  painter_->FontChanged();
  UpdateLineNumbers(true);
  ruler_.UpdateUnits();
  // Rows measured in the old font no longer fit the window.
  RewrapKeepingTop();
  UpdateCaretMode();
  Invalidate();
}

void TCustomQuillEdit::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  if (TCustomQuillParser* parser = GetParser()) parser->ColorChanged(color);
  PaintBackground();
  Invalidate();
}

TColor TCustomQuillEdit::GetEditorColor() const {
  auto* self = const_cast<TCustomQuillEdit*>(this);
  if ((options_ & eoUseReadOnlyColor) && self->GetEditSource().GetReadOnly()) return colors_.ReadOnlyColor();
  if ((options_ & eoUseDisabledColor) && !isEnabled()) return colors_.DisabledColor();
  return color_;
}

void TCustomQuillEdit::ColorsChanged() {
  if (TCustomQuillParser* parser = GetParser()) parser->UpdateColors(&colors_, true);
}

void TCustomQuillEdit::UpdateColors() {
  ColorsChanged();
  Invalidate();
}

void TCustomQuillEdit::SetBorderColor(TColor value) {
  if (value == borderColor_) return;
  borderColor_ = value;
  Invalidate();
}

void TCustomQuillEdit::SetBorderStyle(TBorderStyle value) {
  if (value == borderStyle_) return;
  borderStyle_ = value;
  setFrameShape(value == TBorderStyle::bsSingle ? QFrame::StyledPanel : QFrame::NoFrame);
}

void TCustomQuillEdit::SetPageNumFont(const TQuillFont& font) {
  if (font == pageNumFont_) return;
  pageNumFont_ = font;
  if (NeedPages()) Invalidate();
}

void TCustomQuillEdit::SetOptions(TQuillEditorOptions value) {
  if (value == options_) return;
  const int gutter = GetLeftIndent();
  const bool marginWrap = ((value ^ options_) & eoBreakWordsAtMargin) != 0;
  options_ = value;
  // Rows follow the width they wrap to: the margin, or the window less a
  // gutter that may have come or gone.
  if (wordWrap_ && (marginWrap || GetLeftIndent() != gutter)) RewrapKeepingTop();
  UpdateScrollBars();
  UpdateScrollPos();
  UpdateLineNumbers(false);
  if (GetLeftIndent() != gutter) PaintBackground();
  Invalidate();
}

void TCustomQuillEdit::SetWordWrap(bool value) {
  if (value == wordWrap_) return;
  const int top = TopLeftPoint().Y;
  wordWrap_ = value;
  UpdateInvisibleLines();
  if (value) windowChar_ = 0;
  UpdateWordWrap(0, MaxInt);
  if (!value) wrapList_->ClearList();
  windowLine_ = std::clamp(RowOfPoint({0, top}, false), 0, MaxVisibleLine());
  UpdateRulers();
  WordWrapUpdated(true);
  UpdateCaret();
}

void TCustomQuillEdit::RewrapKeepingTop() {
  const int top = TopLeftPoint().Y;
  UpdateWordWrap(0, MaxInt);
  if (!PageLayout()) windowLine_ = std::clamp(RowOfPoint({0, top}, false), 0, MaxVisibleLine());
  WordWrapUpdated(true);
}

void TCustomQuillEdit::SetPageType(TQuillPageType value) {
  if (value == pageType_) return;
  pageType_ = value;
  PageTypeChanged();
  GetEditSource().SetUsePages(value != TQuillPageType::ptNormal);
}

void TCustomQuillEdit::SetScrollBars(TScrollStyle value) {
  if (value == scrollBars_) return;
  scrollBars_ = value;
  UpdateScrollBars();
  UpdateScrollPos();
}

void TCustomQuillEdit::SetHideScrollBars(bool value) {
  if (value == hideScrollBars_) return;
  hideScrollBars_ = value;
  UpdateScrollBars();
  UpdateScrollPos();
}

void TCustomQuillEdit::SetMaxScrollPos(int value) {
  value = std::max(value, 0);
  if (value == maxScrollPos_) return;
  maxScrollPos_ = value;
  UpdateScrollBars();
  UpdateScrollPos();
}

void TCustomQuillEdit::SetHideCaret(bool value) {
  if (value == hideCaret_) return;
  hideCaret_ = value;
  if (!Focused()) return;
  if (value) {
    caret_->Create(0, 0);
    caretSize_ = {0, 0};
  } else {
    CreateCaret();
  }
  UpdateCaret();
}

void TCustomQuillEdit::SetHideSelection(bool value) {
  if (value == hideSelection_) return;
  hideSelection_ = value;
  InvalidateSelection();
}

void TCustomQuillEdit::SetBlockSelMode(TQuillBlockSelMode value) {
  if (value == blockSelMode_) return;
  blockSelMode_ = value;
  if (selType_ == TQuillSelType::slNone) return;
  TQuillSelType type = selType_;
  CheckSelType(type);
  SetSelType(type);
}

bool TCustomQuillEdit::GetOverwrite() { return overwriteMode; }

void TCustomQuillEdit::SetOverwrite(bool value) {
  if (value == overwriteMode) return;
  overwriteMode = value;
  if (options_ & eoOverwriteCaret) UpdateCaretMode();
}

bool TCustomQuillEdit::Focused() const { return hasFocus(); }

// ---------------------------------------------------------------------------
// Window

int TCustomQuillEdit::ClientWidth() const { return viewport()->width(); }

int TCustomQuillEdit::ClientHeight() const { return viewport()->height(); }

TCanvas& TCustomQuillEdit::Canvas() { return paintCanvas_ != nullptr ? *paintCanvas_ : platform::ScreenCanvas(); }

void TCustomQuillEdit::Invalidate() {
  if (painting_) return;
  if (RedrawHeld()) held_.Whole = true;
  else viewport()->update();
}

void TCustomQuillEdit::InvalidateRect(const TRect& rect) {
  if (painting_ || rect.IsEmpty()) return;
  // Pixels noted now would be wrong once the view has moved.
  if (RedrawHeld()) held_.Whole = true;
  else viewport()->update(rect.Left, rect.Top, rect.Width(), rect.Height());
}

void TCustomQuillEdit::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  SetBounds(ClientWidth(), ClientHeight());
}

void TCustomQuillEdit::SetBounds(int width, int height) {
  if (TPoint{width, height} == clientSize_) return;
  const bool widthChanged = width != clientSize_.X;
  const bool heightChanged = height != clientSize_.Y;
  clientSize_ = {width, height};
  const int numbers = lineNumberWidth_;
  UpdateScrollBars();
  UpdateScrollPos();
  PaintBackground();
  if (widthChanged && !PageLayout()) RewrapKeepingTop();
  if (heightChanged) {
    UpdateLineNumbers(false);
    if (lineNumberWidth_ != numbers) Invalidate();
  }
  ruler_.LayoutRulers();
  UpdateRulers();
}

void TCustomQuillEdit::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  TCustomQuillEditSource& doc = GetEditSource();
  doc.SetFocused(true);
  doc.SetOwnerView(this);
  if (!hideCaret_) {
    CreateCaret();
    UpdateCaret();
  }
  if (divider_.Options() & ldHighlightCurrentLine) Invalidate();
  else if (colors_.SelBackColor() != colors_.InActiveSelBackColor() || colors_.SelColor() != colors_.InActiveSelColor())
    InvalidateSelection();
}

void TCustomQuillEdit::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  GetEditSource().SetFocused(false);
  caret_->Hide();
  caret_->Destroy();
  if (divider_.Options() & ldHighlightCurrentLine) Invalidate();
  else if (colors_.SelBackColor() != colors_.InActiveSelBackColor() || colors_.SelColor() != colors_.InActiveSelColor())
    InvalidateSelection();
}

void TCustomQuillEdit::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() != QEvent::EnabledChange) return;
  if (options_ & eoUseDisabledColor) Invalidate();
  SetSelection({}, TQuillSelType::slNone);
  if (!isEnabled()) caret_->Hide();
}

void TCustomQuillEdit::wheelEvent(QWheelEvent* event) {
  MouseWheel(event->angleDelta().y());
  event->accept();
}

void TCustomQuillEdit::MouseWheel(int delta) {
  wheelAccumulator_ += delta;
  const int steps = wheelAccumulator_ / 120;
  if (steps == 0) return;
  const int lines = std::max(QGuiApplication::styleHints()->wheelScrollLines(), 1);
  int target;
  if (PageLayout()) {
    const int limit = std::max(ScrollLimit(true), 0);
    target = std::min(windowLine_ - lines * steps * painter_->GetDefaultLineHeight(), limit);
  } else {
    target = std::min(windowLine_ - lines * steps, MaxVisibleLine());
  }
  SetWindowLine(target);
  wheelAccumulator_ -= steps * 120;
}

void TCustomQuillEdit::DoSetCursor(TPoint pixel) {
  int left = GetLeftIndent(), right = ClientWidth();
  if (PageLayout()) {
    if (TQuillPage* page = pages_.GetPageAt({0, pixel.Y + windowLine_}, false)) {
      const TRect text = page->PageRect();
      left = text.Left;
      right = text.Right;
    }
  }
  bool arrow = pixel.X < left || pixel.X >= right;
  if (!arrow && selType_ != TQuillSelType::slNone) {
    const TPoint p = PixelToTextPoint(pixel, false);
    const TQuillSourceOptions source = SourceOptions();
    const bool pastEnd = p.X >= LineWidth(p.Y) && !(source & srBeyondEol);
    const bool pastText = p.Y >= LineCount() && !(source & srBeyondEof);
    arrow = InsideBlock(p.X, p.Y) && !pastEnd && !pastText;
  }
  viewport()->setCursor(arrow ? Qt::ArrowCursor : Qt::IBeamCursor);
}

bool TCustomQuillEdit::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::Leave) {
    HidePopupHint();
    if (OnMouseLeave) OnMouseLeave(this);
  }
  return QAbstractScrollArea::viewportEvent(event);
}

// The scroll bars only report; the control moves the text itself.
void TCustomQuillEdit::scrollContentsBy(int, int) {}

// ---------------------------------------------------------------------------
// Scroll-bar primitives

int TCustomQuillEdit::GetScrollPos(bool vertical) const {
  return (vertical ? verticalScrollBar() : horizontalScrollBar())->sliderPosition();
}

void TCustomQuillEdit::SetScrollPos(bool vertical, int pos) {
  QScrollBar* bar = vertical ? verticalScrollBar() : horizontalScrollBar();
  const bool saved = settingScroll_;
  settingScroll_ = true;
  bar->setSliderPosition(pos);
  bar->setValue(pos);
  settingScroll_ = saved;
}

void TCustomQuillEdit::SetScrollSize(bool vertical, int min, int max, int page) {
  QScrollBar* bar = vertical ? verticalScrollBar() : horizontalScrollBar();
  const Qt::ScrollBarPolicy policy = page < 0 ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAlwaysOn;
  const bool saved = settingScroll_;
  settingScroll_ = true;
  {
    // The frame would lay its bars out again, a turn later, for every new
    // range; the control places and shows them itself.
    const QSignalBlocker quiet(bar);
    // The last position shows the end of the range at the end of the page.
    bar->setRange(min, std::max(min, page < 0 ? max : max - page + 1));
    bar->setPageStep(std::max(page, 1));
    bar->setSingleStep(1);
  }
  if (vertical && verticalScrollBarPolicy() != policy) setVerticalScrollBarPolicy(policy);
  if (!vertical && horizontalScrollBarPolicy() != policy) setHorizontalScrollBarPolicy(policy);
  settingScroll_ = saved;
}

}  // namespace quill
