#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

// The one event loop every part of the program runs on, and the ways program
// code hooks into it: message targets (objects that post messages to
// themselves), the exception guard around every dispatch, and a pump for the
// few places that wait.
namespace platform {

// A message as a target receives it. The meaning of WParam and LParam belongs
// to the message number.
struct TMessage {
  unsigned Msg = 0;
  std::uintptr_t WParam = 0;
  std::intptr_t LParam = 0;
  std::intptr_t Result = 0;
};

// First message number free for program use; lower numbers are reserved.
constexpr unsigned WM_USER = 1024;

// An object that receives messages. Posted messages run first-in first-out
// once control is back in the event loop (never inside the call that posts
// them); messages still pending when the target is destroyed are dropped.
// Every message runs inside the guard (see Guarded). A target belongs to the
// thread that made it, mostly the GUI thread, and its messages run in that
// thread's event loop; Post from other threads is not allowed (to reach the
// GUI thread, use PostToMainThread).
class MessageTarget {
 public:
  using Handler = std::function<void(TMessage&)>;

  explicit MessageTarget(Handler handler);
  ~MessageTarget();
  MessageTarget(const MessageTarget&) = delete;
  MessageTarget& operator=(const MessageTarget&) = delete;

  void Post(unsigned msg, std::uintptr_t wparam = 0, std::intptr_t lparam = 0);
  // Runs the handler at once (inside the guard), like a sent message.
  std::intptr_t Send(unsigned msg, std::uintptr_t wparam = 0, std::intptr_t lparam = 0);

 private:
  class Receiver;
  Receiver* receiver_;
};

// Passes the exception being handled to the hook; call it only from inside a
// catch block (it is what Guarded does with whatever it caught).
void HandleCurrentException() noexcept;
// Runs fn so that no exception leaves it: whatever escapes goes to the
// application's exception hook. Every dispatch from the event loop into
// program code runs through this, so it takes the callable as it is rather
// than wrapping it in a std::function for each event.
template <class F>
void Guarded(F&& fn) noexcept {
  try {
    fn();
  } catch (...) {
    HandleCurrentException();
  }
}

// The application-level hook for exceptions that reached the guard. The
// start-up code sets it; until then they are written to the log.
using ExceptionHook = std::function<void(const std::exception*, const std::string& message)>;
void SetExceptionHook(ExceptionHook hook);

// Diagnostics of the platform and transport layers (a refused accept, a forced
// close). Goes to stderr unless the program routes it elsewhere.
using LogSink = std::function<void(const std::string& line)>;
void SetLogSink(LogSink sink);
void LogLine(const std::string& line);

// Held while the application object is made, so that it runs Qt's own event
// loop for this system rather than the desktop library's, which Qt takes
// otherwise: that one makes a system call for every event posted and does
// more work on every wake, and a chat line wakes the loop several times. Where
// the desktop's own dialogs may be shown (they run only on the desktop
// library's loop) the choice is left to Qt. The environment is as it was once
// the choice is gone, so the programs we start are left alone.
class TEventLoopChoice {
 public:
  TEventLoopChoice();
  ~TEventLoopChoice() { Done(); }
  TEventLoopChoice(const TEventLoopChoice&) = delete;
  TEventLoopChoice& operator=(const TEventLoopChoice&) = delete;
  // The application object is made: the environment is put back.
  void Done();

 private:
  bool set_ = false;
};

// Handles every event that is waiting, then returns (the waiting loops use it).
void ProcessMessages();
// Handles events until the program is asked to end.
void RunEventLoop();
// Asks the program to end: its event loops return, the main one with code.
void QuitApplication(int code = 0);
// Whether the program is ending: QuitApplication was called (and the main
// loop has not returned yet), or the application object is going or gone.
// Waiting loops give up then.
bool ApplicationTerminating();
// The same for the calling thread: on another thread than the GUI thread also
// whether that thread has been asked to end (QThread::requestInterruption).
bool ThreadTerminating();
// Handles events until pred() holds or timeout_ms has passed; returns pred().
bool ProcessMessagesUntil(const std::function<bool()>& pred, int timeout_ms);

// Queues fn to run on the GUI thread inside the guard; callable from any
// thread. Dropped silently once the application object is gone.
void PostToMainThread(std::function<void()> fn);
// Called on the GUI thread before handing work to another thread that will
// use PostToMainThread.
void PrepareMainThreadPosting();

// Milliseconds since an arbitrary start, monotonic.
std::int64_t TickCount();

}  // namespace platform
