#pragma once

#include <functional>

#include "core/session/Prompts.h"

class QDialog;
class QWidget;

// Shows `dialog` without waiting for it: no event loop of its own, so each
// open question answers (or times out) by itself whatever else is open.
// `answered` runs once, with the dialog when it finishes (its answer is read
// from it then), or with null when the dialog was destroyed unanswered (its
// owner went). The dialog frees itself afterwards; dropping the handle
// withdraws the question, closing the dialog without an answer. The dialog
// is centred on the window it is `about`, else on the desktop (its owner is
// no window it is about).
TQuestion ShowQuestion(QDialog* dialog, std::function<void(QDialog* finished)> answered, QWidget* about = nullptr);
