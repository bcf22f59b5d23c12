#include "editor/QuillSelStrings.h"

#include <algorithm>

#include "editor/QuillEdit.h"

namespace quill {

namespace {

// Characters From .. To - 1 (display columns) of a line, blank-padded to
// Width when given; with real tabs the columns are turned into characters.
std::string Cut(TCustomQuillEditSource& doc, int line, int from, int to, int width) {
  const std::string& s = doc.Strings().StoredText(line);
  if (doc.Options() & srUseTab) {
    const TTabStopList& tabs = doc.TabStops();
    from = tabs.PosToRealPos(s, from);
    to = to == MaxInt ? MaxInt : tabs.PosToRealPos(s, to);
  }
  const int length = static_cast<int>(s.size());
  from = std::clamp(from, 0, length);
  to = std::clamp(to, from, length);
  std::string piece = s.substr(static_cast<size_t>(from), static_cast<size_t>(to - from));
  if (width > 0 && static_cast<int>(piece.size()) < width) piece.append(static_cast<size_t>(width) - piece.size(), ' ');
  return piece;
}

}  // namespace

int TQuillSelStrings::Count() const {
  const TRect r = editor_.SelRect();
  switch (editor_.SelType()) {
    case TQuillSelType::slStream: return r.Bottom - r.Top + 1;
    case TQuillSelType::slBlock:
      if (editor_.WordWrap()) return editor_.RowOfPoint({r.Right, r.Bottom}, false) - editor_.RowOfPoint({r.Left, r.Top}, false) + 1;
      return r.Bottom - r.Top + 1;
    case TQuillSelType::slNone: break;
  }
  return 0;
}

std::string TQuillSelStrings::Get(int index) const {
  if (index < 0 || index >= Count()) return {};
  TCustomQuillEditSource& doc = editor_.GetEditSource();
  const TRect r = editor_.SelRect();
  if (editor_.SelType() == TQuillSelType::slStream) {
    const int line = r.Top + index;
    if (r.Top == r.Bottom) return Cut(doc, line, r.Left, r.Right, r.Right - r.Left);
    if (line == r.Top) return Cut(doc, line, r.Left, MaxInt, 0);
    if (line == r.Bottom) return Cut(doc, line, 0, r.Right, 0);
    return Cut(doc, line, 0, MaxInt, 0);
  }
  const int row = editor_.RowOfPoint({r.Left, r.Top}, false) + index;
  const int line = editor_.RowStart(row).Y;
  int left = 0, right = 0;
  if (!editor_.GetSelBounds(line, editor_.WordWrap() ? row : -1, left, right, false)) return {};
  return Cut(doc, line, left, right, right - left);
}

std::string TQuillSelStrings::Text() const {
  std::string text;
  for (int i = 0; i < Count(); ++i) text += Get(i) + "\r\n";
  return text;
}

void TQuillSelStrings::Clear() {
  if (!editor_.Destroying()) editor_.DeleteBlock();
}

}  // namespace quill
