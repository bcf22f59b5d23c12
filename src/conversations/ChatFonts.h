#pragma once

#include <QColor>
#include <QFont>

#include "platform/Font.h"

class QWidget;

// The window fonts as the settings keep them, at the widgets' edge.
QFont ToQFont(const platform::TFont& font);
QColor ToQColor(platform::TColor color);
platform::TColor FromQColor(const QColor& color);
// Gives a widget the font and its colour as text colour.
void ApplyFont(QWidget* widget, const platform::TFont& font);

// How the font dialog starts: with a plain style, or with the font's own
// style less its bold (which the headers add by themselves).
enum class TFontDialogStart { PlainStyle, WithoutBold };

// The font dialog: starts from the font's face, size and colour, the style as
// `start` says, then offers the colour. False when the user cancelled the font.
bool ChooseFont(QWidget* parent, platform::TFont& font, TFontDialogStart start = TFontDialogStart::PlainStyle);
