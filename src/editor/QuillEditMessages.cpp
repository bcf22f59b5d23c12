// Character positions and the edit-control requests.

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

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
  int64_t length = 0;
  for (int i = 0; i < lines.Count(); ++i) length += static_cast<int64_t>(lines.GetStr(i).size()) + kBreak;
  return ClampToInt(std::max<int64_t>(length - kBreak, 0));
}

int TCustomQuillEdit::TextPointToPos(TPoint p) {
  const TQuillStrings& lines = GetLines();
  const int count = lines.Count();
  const int y = std::max(p.Y, 0);
  int64_t pos = 0;
  for (int i = 0; i < std::min(y, count); ++i) pos += static_cast<int64_t>(lines.GetStr(i).size()) + kBreak;
  // Lines past the last count as empty ones, without walking through them.
  if (y > count) pos += int64_t{y - count} * kBreak;
  if (y < count) {
    const std::string s = lines.GetStr(y);
    int x = std::max(p.X, 0);
    if (SourceOptions() & srUseTab) x = GetEditSource().TabStops().PosToRealPos(s, x);
    pos += std::min(x, static_cast<int>(s.size()));
  }
  return ClampToInt(pos);
}

TPoint TCustomQuillEdit::PosToTextPoint(int pos) {
  // A position past the text means its end; it is never walked to.
  int64_t n = std::min(pos, GetTextLen());
  const TQuillStrings& lines = GetLines();
  int y = 0;
  while (n > 0) {
    const std::string s = lines.GetStr(y);
    const int length = static_cast<int>(s.size());
    if (length >= n) {
      int x = static_cast<int>(n);
      if (SourceOptions() & srUseTab) x = GetEditSource().TabStops().RealPosToPos(s, x - 1) + 1;
      return {x, y};
    }
    n -= length + kBreak;
    ++y;
  }
  return {0, y};
}

int TCustomQuillEdit::GetRealChar(int line, int column) {
  if (!(SourceOptions() & srUseTab) || column == MaxInt) return column;
  return GetEditSource().TabStops().PosToRealPos(GetLines().GetStr(line), column);
}

std::string TCustomQuillEdit::GetSelText() {
  std::string text = selStrings_.Text();
  for (int i = 0; i < 2 && !text.empty() && (text.back() == '\r' || text.back() == '\n'); ++i) text.pop_back();
  return text;
}

bool TCustomQuillEdit::CanPaste() {
  const QClipboard* clipboard = QGuiApplication::clipboard();
  const QMimeData* data = clipboard != nullptr ? clipboard->mimeData() : nullptr;
  return data != nullptr && data->hasText();
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
        const TPoint a = PosToTextPoint(std::min(from, to)), b = PosToTextPoint(std::max(from, to));
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
      reply.Result = wParam == -1 ? doc.CurrentPosition().Y : PosToTextPoint(static_cast<int>(wParam)).Y;
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
      // The stored characters, as the positions count them.
      std::string text;
      for (int i = 0; i < LineCount(); ++i) text += (i > 0 ? "\r\n" : "") + GetLines().GetStr(i);
      const auto from = static_cast<int64_t>(wParam), to = static_cast<int64_t>(lParam);
      if (!(from == 0 && to == -1)) {
        const auto size = static_cast<int64_t>(text.size());
        const int64_t a = std::clamp<int64_t>(std::min(from, to), 0, size);
        const int64_t b = std::clamp<int64_t>(std::max(from, to), 0, size);
        text = text.substr(static_cast<size_t>(a), static_cast<size_t>(b - a));
      }
      reply.Text = std::move(text);
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
