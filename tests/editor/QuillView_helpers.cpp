#include "QuillView_helpers.h"

#include <algorithm>

namespace viewtest {

FakeView::FakeView() {
  font.Name = "Courier New";
  font.Height = -10;  // cells of 6 x 12 on the recording canvas
  font.Color = clWindowText;
  painter = TCustomQuillPainter::Create<TQuillPainter>(this);
  pages.Add();
}

FakeView::~FakeView() = default;

void FakeView::SetText(const std::vector<std::string>& lines) {
  source.Strings().Clear();
  for (const auto& line : lines) source.Strings().Add(line);
}

void FakeView::WrapAll(int columns) {
  wrap.ClearList();
  for (int line = 0; line < source.Strings().Count(); ++line) {
    const int length = static_cast<int>(source.Strings().Get(line).size());
    int start = 0;
    while (length - start > columns) {
      wrap.Add(line, start, start + columns);
      start += columns;
    }
    wrap.Add(line, start, MaxInt);
  }
}

void FakeView::PaintAll(int firstLine, bool marks) {
  painter->PainterRecords().clear();
  TCustomPainterRecord* record = painter->AddPainterRecord();
  record->Rect = {left, 0, width, height};
  record->Origin = {left, 0};
  record->TopLeft = {0, firstLine};
  painter->InitPainterRecord(*record);
  painter->SetCurrentRecord(record);
  canvas->Brush() = {color, platform::TBrushStyle::bsSolid};
  TRect rect = record->Rect;
  for (int line = record->FirstLine; line < source.Strings().Count() && rect.Top < rect.Bottom; ++line) {
    const std::string text = source.Strings().Get(line);
    std::string display;
    if (marks) {
      display = text;
      std::replace(display.begin(), display.end(), ' ', '\xB7');
    }
    rect.Top += painter->PaintLine(line, line == record->FirstLine ? record->FirstChar : 0, text, display, rect, false);
  }
}

bool FakeView::GetSelBounds(int line, int, int& left, int& right, bool inPixels) {
  if (selType == TQuillSelType::slNone || line < selStart.Y || line > selEnd.Y) return false;
  left = line == selStart.Y ? selStart.X : 0;
  right = line == selEnd.Y ? selEnd.X : MaxInt;
  if (inPixels) {
    const int cw = painter->GetDefaultCharWidth();
    left = this->left + left * cw;
    right = right == MaxInt ? width : this->left + right * cw;
  }
  return true;
}

namespace {
bool InStream(TPoint from, TPoint to, int x, int y) {
  if (y < from.Y || y > to.Y) return false;
  if (y == from.Y && x < from.X) return false;
  if (y == to.Y && x >= to.X) return false;
  return true;
}
}  // namespace

bool FakeView::InsideBlock(int x, int y) { return selType != TQuillSelType::slNone && InStream(selStart, selEnd, x, y); }

bool FakeView::InsideSearchRect(int x, int y) { return InStream(searchStart, searchEnd, x, y); }

std::vector<std::string> CallsStarting(const platform::TRecordingCanvas& canvas, const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& call : canvas.Calls())
    if (call.rfind(prefix, 0) == 0) out.push_back(call);
  return out;
}

}  // namespace viewtest

#include <QApplication>

#include <gtest/gtest.h>

#include "platform/EventLoop.h"

namespace viewtest {

namespace {

QApplication* made = nullptr;

// The application goes when the tests end, before the process's own
// teardown, which Qt's font layer does not survive.
class AppEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    delete made;
    made = nullptr;
  }
};

[[maybe_unused]] ::testing::Environment* const env = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

}  // namespace

void EnsureApp() {
  if (QCoreApplication::instance() != nullptr) return;
  static int argc = 1;
  static char name[] = "editor_tests";
  static char* argv[] = {name, nullptr};
  platform::TEventLoopChoice loop;
  made = new QApplication(argc, argv);
}

}  // namespace viewtest
