#pragma once

// Where the program's windows appear: inside the free area of their screen
// (the work area, less panels), and every question above the window that
// asks it, so that a window manager never stacks it underneath.

class QWidget;

namespace platform {

// Watches every window the application shows from now on (once per
// application): FitIntoScreen as it shows, and a window the window manager
// places is moved into the free area when it was placed partly outside.
// The program's application object calls it.
void KeepWindowsOnScreen();
// Fits a top-level window that is about to show into its screen's free area:
// shrunk to it when larger (never below its minimum size), and moved into it
// when it was placed partly outside. A window the window manager places
// itself is only shrunk. The frame is reckoned as that of a window already
// shown.
void FitIntoScreen(QWidget* window);
// Makes `question` (a top-level window) stay above `asker`'s window.
void KeepAbove(QWidget* question, const QWidget* asker);

}  // namespace platform
