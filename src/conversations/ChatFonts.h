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

// The font dialog: starts from the font's face, size and colour with a plain
// style, then offers the colour. False when the user cancelled the font.
bool ChooseFont(QWidget* parent, platform::TFont& font);
