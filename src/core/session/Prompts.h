#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/session/PeerAnswer.h"
#include "core/session/Registration.h"

class TDBStuff;

// The password window's question: the account password (entry mode) or the
// start-up password (check mode, against Expected). The answer comes back in
// Password and Remember.
struct TPasswordQuestion {
  std::string Prompt;
  bool CheckMode = false;
  std::string Expected;
  bool Remember = false;
  std::string Password;  // shown pre-filled; the typed password afterwards
};

// An incoming private-chat request put to the user.
struct TChatRequestQuestion {
  std::string Record;  // the caller's profile record
  int BusyTimer = 60;  // seconds without an answer before "busy" answers itself
  std::function<void(int event)> PlayEventSound;
  // The dialog's block button: asks, then blocks the caller.
  std::function<void(const std::string& userId, const std::string& userName)> BlockUser;
};

// A question put to the user that nobody waits for: its answer comes later,
// through the callback given with it, at most once, and perhaps before the
// question is even handed back. Dropping the handle withdraws the question
// (its window closes) and no answer comes after that; it may be dropped
// inside its own answer.
class TOpenQuestion {
 public:
  virtual ~TOpenQuestion() = default;
};
using TQuestion = std::unique_ptr<TOpenQuestion>;

// Everything the session asks or shows the user. The windows supply the real
// dialogs; tests answer in their place. Each default is what a run without a
// desktop gets: nothing shown, every question cancelled or answered "No", a
// private-chat request rejected.
class TPrompts {
 public:
  virtual ~TPrompts() = default;

  virtual void ShowInformation(const std::string& text, const std::string& caption);
  virtual void ShowError(const std::string& text, const std::string& caption);
  // noIsDefault: the box's default button is No.
  virtual bool AskYesNo(const std::string& text, const std::string& caption, bool noIsDefault);
  // False when cancelled.
  virtual bool AskPassword(TPasswordQuestion& question);
  // The registration window on the profiles of `db`; true once the user registered.
  virtual bool AskRegistration(TDBStuff& db, TRegistrationHost host);
  // A private-chat request: `answered` hears a TChatDecision; unanswered,
  // it answers busy by itself after the question's BusyTimer.
  virtual TQuestion AskChatRequest(const TChatRequestQuestion& question, std::function<void(int decision)> answered);
  // A Yes/No question that answers No by itself after `timeoutMs`.
  virtual TQuestion AskYesNoLater(const std::string& text, const std::string& caption, int timeoutMs,
                                  std::function<void(bool yes)> answered);
  // The greeting editor before calling userName; false when cancelled. The
  // greeting comes in with the profile's greeting and goes out as confirmed
  // (CR LF line breaks, unescaped).
  virtual bool AskGreeting(const std::string& userName, std::string& greeting);
  // A page in the user's browser; `done` hears later whether a browser took it.
  virtual void OpenURL(const std::string& address, std::function<void(bool opened)> done);
  // A long operation on the local tables: its progress shown with a caption,
  // a text and the maximum, moved on step by step, then hidden.
  virtual void ShowProgress(const std::string& caption, const std::string& text, int maximum);
  virtual void SetProgress(int position);
  virtual void HideProgress();
  // The hourglass over every window while a short operation on the local
  // tables runs (true), and the usual cursor again (false).
  virtual void ShowBusyCursor(bool busy);
};
