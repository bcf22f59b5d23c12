// Character positions and the edit-control requests.

#include <algorithm>
#include <climits>

#include "editor/QuillCommands.h"
#include "editor/QuillEdit.h"

namespace quill {

namespace {

int ClampToInt(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

// A line break counts two characters, as CR LF in the text.
constexpr int kBreak = 2;

}  // namespace

int TCustomQuillEdit::GetTextLen() {
  const TQuillStrings& lines = GetLines();
  return ClampToInt(std::max<int64_t>(lines.TextSize() + int64_t{kBreak} * (lines.Count() - 1), 0));
}

namespace {

// The position at which line Y starts (Y up to the line count), walked from
// whichever end of the text is nearer: appending to a long transcript asks
// about its last lines.
int64_t LineStart(const TQuillStrings& lines, int y) {
  const int count = lines.Count();
  int64_t pos = 0;
  if (y <= count / 2) {
    for (int i = 0; i < y; ++i) pos += static_cast<int64_t>(lines.StoredText(i).size()) + kBreak;
    return pos;
  }
  pos = lines.TextSize() + int64_t{kBreak} * count;
  for (int i = count - 1; i >= y; --i) pos -= static_cast<int64_t>(lines.StoredText(i).size()) + kBreak;
  return pos;
}

}  // namespace

int TCustomQuillEdit::TextPointToPos(TPoint p) {
  const TQuillStrings& lines = GetLines();
  const int count = lines.Count();
  const int y = std::max(p.Y, 0);
  // Lines past the last count as empty ones, without walking through them.
  int64_t pos = LineStart(lines, std::min(y, count));
  if (y > count) pos += int64_t{y - count} * kBreak;
  if (y < count) {
    const std::string& s = lines.StoredText(y);
    int x = std::max(p.X, 0);
    if (SourceOptions() & srUseTab) x = GetEditSource().TabStops().PosToRealPos(s, x);
    pos += std::min(x, static_cast<int>(s.size()));
  }
  return ClampToInt(pos);
}

TPoint TCustomQuillEdit::PosToTextPoint(int pos) {
  const TQuillStrings& lines = GetLines();
  const int count = lines.Count();
  if (pos <= 0) return {0, 0};
  const int64_t total = GetTextLen();
  if (pos > total) {
    // Past the text the walk goes on over empty lines of two characters each
    // and ends on a line beyond the last, at column 0 (the caret operations
    // clamp it). Counted rather than walked: a position may be anything.
    const int64_t end = count > 0 ? total + kBreak : 0;
    return {0, ClampToInt(count + (pos - end + 1) / kBreak)};
  }
  const bool tabs = (SourceOptions() & srUseTab) != 0;
  auto point = [&](const std::string& s, int64_t x, int y) -> TPoint {
    int column = static_cast<int>(x);
    if (tabs && column > 0) column = GetEditSource().TabStops().RealPosToPos(s, column - 1) + 1;
    return {column, y};
  };
  const int64_t n = pos;
  if (n > total / 2) {
    // From the end: each line starts where the text after it begins, less
    // its own length and its line break.
    int64_t start = total + kBreak;
    for (int y = count - 1; y >= 0; --y) {
      const std::string& s = lines.StoredText(y);
      start -= static_cast<int64_t>(s.size()) + kBreak;
      // A position inside the line break before a line is that line's start.
      if (n >= start - (y > 0 ? 1 : 0)) return point(s, std::max<int64_t>(n - start, 0), y);
    }
    return {0, 0};
  }
  int64_t rest = n;
  int y = 0;
  while (rest > 0) {
    const std::string& s = lines.StoredText(y);
    const auto length = static_cast<int64_t>(s.size());
    if (length >= rest) return point(s, rest, y);
    rest -= length + kBreak;
    ++y;
  }
  return {0, y};
}

TPoint TCustomQuillEdit::SelectionPoint(int pos) {
  // A selection reaches no further than the text: the lines beyond it are
  // not there to be copied or counted.
  const TPoint p = PosToTextPoint(pos);
  return p.Y < LineCount() || LineCount() == 0 ? p : PosToTextPoint(GetTextLen());
}

int TCustomQuillEdit::GetRealChar(int line, int column) {
  if (!(SourceOptions() & srUseTab) || column == MaxInt) return column;
  return GetEditSource().TabStops().PosToRealPos(GetLines().StoredText(line), column);
}

int TCustomQuillEdit::GetSelStart() {
  if (selType_ != TQuillSelType::slNone) return TextPointToPos({selRect_.Left, selRect_.Top});
  return TextPointToPos(GetCurrentPosition());
}

void TCustomQuillEdit::SetSelStart(int position) {
  SetSelection({}, TQuillSelType::slNone);
  GetEditSource().SetCurrentPosition(PosToTextPoint(position));
}

void TCustomQuillEdit::SetSelLength(int length) {
  if (length == GetSelLength()) return;
  const TPoint start = selType_ != TQuillSelType::slNone ? TPoint{selRect_.Left, selRect_.Top} : GetCurrentPosition();
  const TPoint end = SelectionPoint(ClampToInt(int64_t{TextPointToPos(start)} + length));
  EnsureVisible(end);
  // Backwards is the same stretch of text, from its other end.
  const bool back = end.Y < start.Y || (end.Y == start.Y && end.X < start.X);
  const TRect r = back ? TRect{end.X, end.Y, start.X, start.Y} : TRect{start.X, start.Y, end.X, end.Y};
  if (r.Left == r.Right && r.Top == r.Bottom) {
    SetSelection({}, TQuillSelType::slNone);
    return;
  }
  SetSelection(r, TQuillSelType::slStream);
}

// A read-only text refuses both: its text, caret and selection stay as they
// were, rather than selecting text that never went in.
void TCustomQuillEdit::SetSelText(const std::string& text) {
  if (ReadOnly()) return;
  std::vector<std::string> strings = SplitTextLines(text);
  // A text ending in a break ends with an empty line, where the caret stays.
  if (!text.empty() && (text.back() == '\n' || text.back() == '\r')) strings.emplace_back();
  TCustomQuillEditSource& doc = GetEditSource();
  TQuillSourceUpdate update(doc, oprInsertBlock, true);
  if (selType_ != TQuillSelType::slNone) DeleteBlock();
  PasteStrings(strings, TQuillSelType::slStream);
}

void TCustomQuillEdit::ClearUndo() {
  GetEditSource().UndoList().Clear();
  GetEditSource().RedoList().Clear();
}

void TCustomQuillEdit::ClearSelection() { DeleteBlock(); }

std::string TCustomQuillEdit::GetSelText() {
  std::string text = selStrings_.Text();
  for (int i = 0; i < 2 && !text.empty() && (text.back() == '\r' || text.back() == '\n'); ++i) text.pop_back();
  return text;
}

TEditReply TCustomQuillEdit::Perform(TEditMessage message, intptr_t wParam, intptr_t lParam) {
  TEditReply reply;
  TCustomQuillEditSource& doc = GetEditSource();
  const bool selected = selType_ != TQuillSelType::slNone;
  auto selStart = [&] { return selected ? TextPointToPos({selRect_.Left, selRect_.Top}) : 0; };
  auto selEnd = [&] { return selected ? TextPointToPos({selRect_.Right, selRect_.Bottom}) : 0; };
  switch (message) {
    case TEditMessage::EM_GETSEL: {
      const int start = selStart(), end = selEnd();
      // Two 16-bit halves cannot carry larger offsets.
      if (start <= 65535 && end <= 65535)
        reply.Result = static_cast<intptr_t>(static_cast<uint32_t>(start) | (static_cast<uint32_t>(end) << 16));
      break;
    }
    case TEditMessage::EM_EXGETSEL:
      reply.Min = selStart();
      reply.Max = selEnd();
      break;
    case TEditMessage::EM_SETSEL:
    case TEditMessage::EM_EXSETSEL: {
      const auto from = static_cast<int>(wParam), to = static_cast<int>(lParam);
      if (from == 0 && to == -1) {
        ProcessBlock(ecSelectAll);
      } else {
        const TPoint a = SelectionPoint(std::min(from, to)), b = SelectionPoint(std::max(from, to));
        SetSelection({a.X, a.Y, b.X, b.Y}, TQuillSelType::slStream);
      }
      reply.Result = static_cast<intptr_t>(GetSelText().size());
      break;
    }
    case TEditMessage::EM_LINESCROLL: {
      const auto columns = static_cast<int>(wParam), lines = static_cast<int>(lParam);
      if (PageLayout()) {
        SetWindowLine(std::clamp(windowLine_ + lines * painter_->GetDefaultLineHeight(), 0, ScrollLimit(true)));
        SetWindowChar(std::clamp(windowChar_ + columns * painter_->GetDefaultCharWidth(), 0, ScrollLimit(false)));
      } else {
        SetWindowLine(std::clamp(windowLine_ + lines, 0, MaxVisibleLine()));
        SetWindowChar(std::max(windowChar_ + columns, 0));
      }
      reply.Result = 1;
      break;
    }
    case TEditMessage::EM_GETMODIFY: reply.Result = doc.Modified(); break;
    case TEditMessage::EM_GETLINECOUNT: reply.Result = LineCount(); break;
    case TEditMessage::EM_LINEINDEX:
      reply.Result = TextPointToPos({0, wParam == -1 ? doc.CurrentPosition().Y : static_cast<int>(wParam)});
      break;
    case TEditMessage::EM_GETLINE: {
      reply.Text = GetLines().Get(static_cast<int>(wParam));
      if (lParam >= 0 && static_cast<size_t>(lParam) < reply.Text.size()) reply.Text.resize(static_cast<size_t>(lParam));
      reply.Result = static_cast<intptr_t>(reply.Text.size());
      break;
    }
    case TEditMessage::EM_CANUNDO: reply.Result = doc.UndoAvailable(); break;
    case TEditMessage::EM_UNDO:
    case TEditMessage::WM_UNDO:
      reply.Result = doc.UndoAvailable();
      doc.Undo();
      break;
    case TEditMessage::EM_LINEFROMCHAR:
    case TEditMessage::EM_EXLINEFROMCHAR:
      reply.Result = PosToTextPoint(static_cast<int>(wParam)).Y;
      break;
    case TEditMessage::EM_EMPTYUNDOBUFFER:
      doc.UndoList().Clear();
      doc.RedoList().Clear();
      break;
    case TEditMessage::EM_GETFIRSTVISIBLELINE: reply.Result = PixelToTextPoint({0, 0}, false).Y; break;
    case TEditMessage::WM_COPY: CopyBlock(); break;
    case TEditMessage::WM_CUT: CutBlock(); break;
    case TEditMessage::WM_PASTE: PasteBlock(); break;
    case TEditMessage::EM_CANPASTE: reply.Result = (wParam == 0 || wParam == 1) && CanPaste(); break;
    case TEditMessage::EM_GETSELTEXT:
      reply.Text = GetSelText();
      reply.Result = static_cast<intptr_t>(reply.Text.size());
      break;
    case TEditMessage::EM_HIDESELECTION: SetHideSelection(wParam != 0); break;
    case TEditMessage::EM_GETTEXTRANGE: {
      const auto from = static_cast<int>(wParam), to = static_cast<int>(lParam);
      if (from == 0 && to == -1) {
        for (int i = 0; i < LineCount(); ++i) reply.Text += (i > 0 ? "\r\n" : "") + GetLines().GetStr(i);
      } else {
        // The range is what selecting it would select: an offset between a
        // line's CR and LF stands where a selection would put it.
        const TRect oldRect = selRect_;
        const TQuillSelType oldType = selType_;
        const bool oldStartAtEnd = selStartAtEnd_, oldEndAtEnd = selEndAtEnd_;
        LockPaint(1);
        try {
          const TPoint a = SelectionPoint(std::min(from, to)), b = SelectionPoint(std::max(from, to));
          SetSelection({a.X, a.Y, b.X, b.Y}, TQuillSelType::slStream);
          reply.Text = GetSelText();
          SetSelection(oldRect, oldType);
        } catch (...) {
          LockPaint(-1);
          throw;
        }
        LockPaint(-1);
        selStartAtEnd_ = oldStartAtEnd;
        selEndAtEnd_ = oldEndAtEnd;
      }
      reply.Result = static_cast<intptr_t>(reply.Text.size());
      break;
    }
    case TEditMessage::EM_CHARFROMPOS: {
      const auto x = static_cast<int16_t>(lParam & 0xFFFF), y = static_cast<int16_t>((lParam >> 16) & 0xFFFF);
      const TPoint p = PixelToTextPoint({x, y}, false);
      reply.Result = static_cast<intptr_t>((static_cast<uint32_t>(TextPointToPos(p)) & 0xFFFF) |
                                           ((static_cast<uint32_t>(p.Y) & 0xFFFF) << 16));
      break;
    }
  }
  return reply;
}

}  // namespace quill
