#include "conversations/ChatFonts.h"

#include <QColorDialog>
#include <QFontDialog>
#include <QWidget>

#include "platform/Charset.h"

QFont ToQFont(const platform::TFont& font) {
  QFont f(platform::ToQString(font.Name));
  if (font.Size > 0) f.setPointSize(font.Size);
  f.setBold(font.Bold);
  f.setItalic(font.Italic);
  f.setUnderline(font.Underline);
  f.setStrikeOut(font.StrikeOut);
  return f;
}

QColor ToQColor(platform::TColor color) { return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF); }

platform::TColor FromQColor(const QColor& color) { return color.red() | (color.green() << 8) | (color.blue() << 16); }

void ApplyFont(QWidget* widget, const platform::TFont& font) {
  widget->setFont(ToQFont(font));
  QPalette pal = widget->palette();
  pal.setColor(QPalette::Text, ToQColor(font.Color));
  widget->setPalette(pal);
}

bool ChooseFont(QWidget* parent, platform::TFont& font, TFontDialogStart start) {
  platform::TFont shown = font;
  shown.Bold = false;
  if (start == TFontDialogStart::PlainStyle) shown.Italic = shown.Underline = shown.StrikeOut = false;
  bool ok = false;
  const QFont chosen = QFontDialog::getFont(&ok, ToQFont(shown), parent);
  if (!ok) return false;
  font.Name = platform::FromQString(chosen.family());
  if (chosen.pointSize() > 0) font.Size = chosen.pointSize();
  font.Bold = chosen.bold();
  font.Italic = chosen.italic();
  font.Underline = chosen.underline();
  font.StrikeOut = chosen.strikeOut();
  const QColor colour = QColorDialog::getColor(ToQColor(font.Color), parent);
  if (colour.isValid()) font.Color = FromQColor(colour);
  return true;
}
