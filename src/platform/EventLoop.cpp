#include "platform/EventLoop.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLibraryInfo>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

// Qt hands events between threads under locks of its own that ThreadSanitizer
// does not see; these marks tell it that posting an event happens before its
// delivery, so that only real races in our code are reported.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#define PARLO_HANDOFF_RELEASE(p) __tsan_release(p)
#define PARLO_HANDOFF_ACQUIRE(p) __tsan_acquire(p)
#else
#define PARLO_HANDOFF_RELEASE(p) ((void)(p))
#define PARLO_HANDOFF_ACQUIRE(p) ((void)(p))
#endif

namespace platform {

namespace {

ExceptionHook& Hook() {
  static ExceptionHook hook;
  return hook;
}

LogSink& Sink() {
  static LogSink sink;
  return sink;
}

QEvent::Type MessageEventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

QEvent::Type CallEventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

class MessageEvent : public QEvent {
 public:
  explicit MessageEvent(const TMessage& m) : QEvent(MessageEventType()), message(m) {}
  TMessage message;
};

class CallEvent : public QEvent {
 public:
  explicit CallEvent(std::function<void()> f) : QEvent(CallEventType()), fn(std::move(f)) {}
  std::function<void()> fn;
};

// Receives the calls that other threads queue for the GUI thread. It is a
// child of the application object, so it goes away with it; posters check
// under the lock that it still exists.
class MainThreadSink : public QObject {
 public:
  explicit MainThreadSink(QObject* parent) : QObject(parent) {}
  ~MainThreadSink() override;
  bool event(QEvent* e) override {
    PARLO_HANDOFF_ACQUIRE(e);
    if (e->type() != CallEventType()) return QObject::event(e);
    auto* call = static_cast<CallEvent*>(e);
    Guarded(call->fn);
    return true;
  }
};

std::mutex sink_mutex;
MainThreadSink* main_sink = nullptr;

MainThreadSink::~MainThreadSink() {
  std::lock_guard<std::mutex> lock(sink_mutex);
  if (main_sink == this) main_sink = nullptr;
}

// Set by QuitApplication until the main loop has returned.
// Atomic: loops of other threads ask for it.
std::atomic<bool> quitting = false;

}  // namespace

class MessageTarget::Receiver : public QObject {
 public:
  explicit Receiver(MessageTarget* owner, Handler handler) : owner_(owner), handler_(std::move(handler)) {}

  bool event(QEvent* e) override {
    if (e->type() != MessageEventType()) return QObject::event(e);
    auto* m = static_cast<MessageEvent*>(e);
    Dispatch(m->message);
    return true;
  }

  void Dispatch(TMessage& m) {
    if (owner_ == nullptr) return;  // the target is gone: its messages are dropped
    // The handler may destroy the target (a socket freeing itself); keep this
    // object alive until the dispatch has unwound.
    ++depth_;
    Guarded([&] { handler_(m); });
    if (--depth_ == 0 && owner_ == nullptr) deleteLater();
  }

  // The handler stays alive while it runs; it goes with this object.
  void Detach() {
    owner_ = nullptr;
    if (depth_ == 0) delete this;
  }

 private:
  MessageTarget* owner_;
  Handler handler_;
  int depth_ = 0;
};

MessageTarget::MessageTarget(Handler handler) : receiver_(new Receiver(this, std::move(handler))) {}

MessageTarget::~MessageTarget() { receiver_->Detach(); }

void MessageTarget::Post(unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) {
  TMessage m;
  m.Msg = msg;
  m.WParam = wparam;
  m.LParam = lparam;
  QCoreApplication::postEvent(receiver_, new MessageEvent(m));
}

std::intptr_t MessageTarget::Send(unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) {
  TMessage m;
  m.Msg = msg;
  m.WParam = wparam;
  m.LParam = lparam;
  receiver_->Dispatch(m);
  return m.Result;
}

void HandleCurrentException() noexcept {
  try {
    try {
      throw;
    } catch (const std::exception& e) {
      if (Hook()) Hook()(&e, e.what());
      else LogLine(std::string("Unhandled exception: ") + e.what());
    } catch (...) {
      if (Hook()) Hook()(nullptr, "Unknown exception");
      else LogLine("Unhandled exception of unknown type");
    }
  } catch (...) {
    LogLine("Exception inside the exception hook");
  }
}

void SetExceptionHook(ExceptionHook hook) { Hook() = std::move(hook); }

void SetLogSink(LogSink sink) { Sink() = std::move(sink); }

void LogLine(const std::string& line) {
  if (Sink()) {
    try {
      Sink()(line);
      return;
    } catch (...) {
    }
  }
  std::fprintf(stderr, "parlo: %s\n", line.c_str());
}

namespace {

// Qt shows the desktop's own file, font and colour dialogs through its GTK
// theme, which runs them on the desktop library's loop; where that theme is
// installed, the program may meet them.
bool DesktopDialogsPossible() {
  QStringList folders = qEnvironmentVariable("QT_PLUGIN_PATH").split(QDir::listSeparator(), Qt::SkipEmptyParts);
  folders << QLibraryInfo::path(QLibraryInfo::PluginsPath);
  for (const QString& folder : folders)
    if (!QDir(folder + "/platformthemes").entryList({"*gtk*"}, QDir::Files).isEmpty()) return true;
  return false;
}

constexpr const char* kNoDesktopLoop = "QT_NO_GLIB";

}  // namespace

TEventLoopChoice::TEventLoopChoice() {
  if (std::getenv(kNoDesktopLoop) != nullptr || DesktopDialogsPossible()) return;
  set_ = ::setenv(kNoDesktopLoop, "1", 0) == 0;
}

void TEventLoopChoice::Done() {
  if (set_) ::unsetenv(kNoDesktopLoop);
  set_ = false;
}

void ProcessMessages() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void RunEventLoop() {
  QEventLoop loop;
  loop.exec();
}

void QuitApplication(int code) {
  auto* app = QCoreApplication::instance();
  if (app == nullptr) return;
  if (!quitting) {
    quitting = true;
    QObject::connect(app, &QCoreApplication::aboutToQuit, app, [] { quitting = false; }, Qt::SingleShotConnection);
  }
  QCoreApplication::exit(code);
}

bool ApplicationTerminating() {
  return QCoreApplication::instance() == nullptr || QCoreApplication::closingDown() || quitting;
}

bool ThreadTerminating() {
  if (ApplicationTerminating()) return true;
  QThread* thread = QThread::currentThread();
  return thread != QCoreApplication::instance()->thread() && thread->isInterruptionRequested();
}

bool ProcessMessagesUntil(const std::function<bool()>& pred, int timeout_ms) {
  QElapsedTimer timer;
  timer.start();
  while (!pred()) {
    if (timer.elapsed() >= timeout_ms) return pred();
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
  }
  return true;
}

namespace {

// Caller holds sink_mutex.
bool EnsureSinkLocked() {
  if (main_sink != nullptr) return true;
  auto* app = QCoreApplication::instance();
  // The sink can only be made on the GUI thread.
  if (app == nullptr || QThread::currentThread() != app->thread()) return false;
  main_sink = new MainThreadSink(app);
  return true;
}

}  // namespace

void PrepareMainThreadPosting() {
  std::lock_guard<std::mutex> lock(sink_mutex);
  EnsureSinkLocked();
}

void PostToMainThread(std::function<void()> fn) {
  std::lock_guard<std::mutex> lock(sink_mutex);
  if (!EnsureSinkLocked()) return;
  auto* call = new CallEvent(std::move(fn));
  PARLO_HANDOFF_RELEASE(call);
  QCoreApplication::postEvent(main_sink, call);
}

std::int64_t TickCount() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace platform
