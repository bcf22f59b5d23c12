#pragma once

// The few questions a component puts to the user directly. Without a desktop (tests,
// headless runs) no one can answer: a question is answered "No" and a choice is cancelled.

#include <string>

namespace platform {

bool AskYesNo(const std::string& text, const std::string& caption);
// OK and Cancel; True for OK. A busy cursor gives way to the arrow while it waits.
bool AskOkCancel(const std::string& text, const std::string& caption);
// Without a desktop the message goes to the error report instead, so it is not lost.
void ShowMessage(const std::string& text, const std::string& caption);
// False when the user cancels; `name` receives the chosen file or folder (8-bit text).
bool AskOpenFileName(const std::string& title, const std::string& filter, const std::string& startDir,
                     std::string& name);
bool AskSaveFileName(const std::string& title, const std::string& filter, const std::string& startDir,
                     std::string& name);
bool AskFolder(const std::string& title, const std::string& startDir, std::string& folder);
// Lets queued window and socket events run during a long operation.
void PumpEvents();
// The error beep; silent without a desktop.
void Beep();

}  // namespace platform
