#pragma once

class QWidget;

// The main window's place, kept in the settings under a section named after the
// window's object name: Left, Top and Height (the width is the window's own)
// and MaxState. Without stored values the window is centred on its screen.
void RestoreMainFormPos(QWidget* form);
void SaveMainFormPos(QWidget* form);
