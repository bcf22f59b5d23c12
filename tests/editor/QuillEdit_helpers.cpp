#include "QuillEdit_helpers.h"

#include <QApplication>
#include <QFontInfo>

#include <stdexcept>

#include "QuillView_helpers.h"

namespace edittest {

std::unique_ptr<TQuillEdit> MakeEdit(int width, int height) {
  viewtest::EnsureApp();
  auto edit = std::make_unique<TQuillEdit>();
  Prepare(*edit, width, height);
  return edit;
}

void Prepare(TCustomQuillEdit& edit, int width, int height) {
  viewtest::EnsureApp();
  TQuillFont font;
  font.Name = "DejaVu Sans Mono";
  font.Height = -13;
  font.Color = clWindowText;
  if (QFontInfo(QFont(QString::fromStdString(font.Name))).family() != QString::fromStdString(font.Name))
    throw std::runtime_error("the DejaVu Sans Mono font is missing (package fonts-dejavu-core)");
  edit.SetBorderStyle(TBorderStyle::bsNone);
  edit.SetOptions(edit.Options() & ~eoPaintGutter);
  edit.SetFont(font);
  edit.resize(width, height);
  edit.show();
  Settle();
}

void SetLines(TCustomQuillEdit& edit, const std::vector<std::string>& lines) {
  TQuillStrings strings;
  for (const auto& line : lines) strings.Add(line);
  edit.Lines().Assign(strings);
}

std::vector<std::string> LinesOf(TCustomQuillEdit& edit) {
  std::vector<std::string> out;
  for (int i = 0; i < edit.Lines().Count(); ++i) out.push_back(edit.Lines().Get(i));
  return out;
}

int CharWidth(TCustomQuillEdit& edit) { return edit.Painter().GetDefaultCharWidth(); }

int LineHeight(TCustomQuillEdit& edit) { return edit.Painter().GetDefaultLineHeight(); }

void Settle() {
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

}  // namespace edittest
