#pragma once

// The few questions a component puts to the user directly. Without a desktop (tests,
// headless runs) no one can answer: a question is answered "No" and a choice is cancelled.

#include <string>

class QWidget;

namespace platform {

// A question is centred on the window it is about: the one the innermost
// TQuestionsAbout names while that window is shown, else the window the user
// is working in, else `fallback`. A question that may go by itself (see
// MarkTransient) is no window another question is about.
QWidget* QuestionWindow(QWidget* fallback = nullptr);

// For its lifetime, questions are about `window` (a window that goes
// meanwhile is passed over).
class TQuestionsAbout {
 public:
  explicit TQuestionsAbout(QWidget* window);
  ~TQuestionsAbout();
  TQuestionsAbout(const TQuestionsAbout&) = delete;
  TQuestionsAbout& operator=(const TQuestionsAbout&) = delete;
};

bool AskYesNo(const std::string& text, const std::string& caption);
// OK and Cancel; True for OK. A busy cursor gives way to the arrow while it waits.
bool AskOkCancel(const std::string& text, const std::string& caption);
// Without a desktop the message goes to the error report instead, so it is not lost.
void ShowMessage(const std::string& text, const std::string& caption);
// False when the user cancels; `name` receives the chosen file or folder (8-bit text).
bool AskOpenFileName(const std::string& title, const std::string& filter, const std::string& startDir,
                     std::string& name);
// A name typed without an extension gets `defaultExt` (without its dot) when
// one is given, before the dialog asks about replacing an existing file.
bool AskSaveFileName(const std::string& title, const std::string& filter, const std::string& startDir,
                     std::string& name, const std::string& defaultExt = "");
bool AskFolder(const std::string& title, const std::string& startDir, std::string& folder);
// Lets queued window and socket events run during a long operation.
void PumpEvents();
// The error beep; silent without a desktop.
void Beep();

// The hourglass over the program's windows for its lifetime, during work the
// user waits for; nothing without a desktop.
class TBusyCursor {
 public:
  TBusyCursor();
  ~TBusyCursor();
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;

 private:
  bool shown_ = false;
};

}  // namespace platform
