#include "core/session/Prompts.h"

void TPrompts::ShowInformation(const std::string&, const std::string&) {}

void TPrompts::ShowError(const std::string&, const std::string&) {}

bool TPrompts::AskYesNo(const std::string&, const std::string&, bool) { return false; }

bool TPrompts::AskPassword(TPasswordQuestion&) { return false; }

bool TPrompts::AskRegistration(TDBStuff&, TRegistrationHost) { return false; }

TQuestion TPrompts::AskChatRequest(const TChatRequestQuestion&, std::function<void(int)> answered) {
  if (answered) answered(DecisionReject);
  return nullptr;
}

TQuestion TPrompts::AskYesNoLater(const std::string&, const std::string&, int, std::function<void(bool)> answered) {
  if (answered) answered(false);
  return nullptr;
}

bool TPrompts::AskGreeting(const std::string&, std::string&) { return false; }

void TPrompts::OpenURL(const std::string&, std::function<void(bool)> done) {
  if (done) done(false);
}

void TPrompts::ShowProgress(const std::string&, const std::string&, int) {}

void TPrompts::SetProgress(int) {}

void TPrompts::HideProgress() {}

void TPrompts::ShowBusyCursor(bool) {}
