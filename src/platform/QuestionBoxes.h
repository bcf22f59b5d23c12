#pragma once

// The boxes that put questions to the user, for the windows that ask them
// (DesktopPrompts.h says which window a question is about).

#include <QMessageBox>

class QDialog;
class QFileDialog;
class QWidget;

namespace platform {

// Marks a dialog that closes by itself (a time-out, its caller gone), so no
// other question is made its child and taken down with it.
void MarkTransient(QDialog* dialog);
// Puts `dialog` in the middle of `subject`'s window (of the screen when there
// is none or it is hidden) each time it is shown, once it has taken its
// size, and within the screen's free area. Left to itself a dialog sits well
// above its parent's middle whenever the window frames are not known yet.
void CentreOn(QWidget* dialog, QWidget* subject);
// A modal message box centred on QuestionWindow(fallback). Its window may go while
// it waits (a chat the peer ended): the box goes with it and the answer is
// NoButton, never a crash.
QMessageBox::StandardButton RunMessageBox(QMessageBox::Icon icon, const QString& caption, const QString& text,
                                          QMessageBox::StandardButtons buttons, QWidget* fallback = nullptr,
                                          QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
// Runs a file chooser made on the heap over QuestionWindow(), centred on it,
// and frees it; its window may go while it waits, taking the chooser with it.
// The chosen names, none when the user cancels.
QStringList RunFileDialog(QFileDialog* dialog);

}  // namespace platform
