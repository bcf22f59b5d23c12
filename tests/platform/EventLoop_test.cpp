#include "platform/EventLoop.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/HoldMeter.h"

namespace {

void Drain() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

TEST(EventLoop, PostedMessagesRunInOrderAfterTheCurrentHandler) {
  std::vector<std::string> log;
  std::unique_ptr<platform::MessageTarget> a, b;
  a = std::make_unique<platform::MessageTarget>([&](platform::TMessage& m) {
    log.push_back("a" + std::to_string(m.Msg));
    if (m.Msg == 1) {
      b->Post(3);
      a->Post(4);
      log.push_back("a1 done");
    }
  });
  b = std::make_unique<platform::MessageTarget>([&](platform::TMessage& m) { log.push_back("b" + std::to_string(m.Msg)); });
  a->Post(1);
  b->Post(2);
  EXPECT_TRUE(log.empty()) << "a post never runs inside the call that posts it";
  Drain();
  EXPECT_EQ(log, (std::vector<std::string>{"a1", "a1 done", "b2", "b3", "a4"}));
}

TEST(EventLoop, MessagesOfADestroyedTargetAreDropped) {
  int runs = 0;
  auto t = std::make_unique<platform::MessageTarget>([&](platform::TMessage&) { ++runs; });
  t->Post(1);
  t->Post(2);
  t.reset();
  Drain();
  EXPECT_EQ(runs, 0);

  // A target freed by its own handler: the rest of its queue is dropped too.
  platform::MessageTarget* self = nullptr;
  self = new platform::MessageTarget([&](platform::TMessage&) {
    ++runs;
    delete self;
  });
  self->Post(1);
  self->Post(2);
  Drain();
  EXPECT_EQ(runs, 1);
}

TEST(EventLoop, ExceptionsStopAtTheGuardAndReachTheHook) {
  std::vector<std::string> hooked;
  platform::SetExceptionHook([&](const std::exception* e, const std::string& msg) {
    hooked.push_back((e ? "std: " : "other: ") + msg);
  });
  int after = 0;
  platform::MessageTarget t([&](platform::TMessage& m) {
    if (m.Msg == 1) throw std::runtime_error("boom");
    if (m.Msg == 2) throw 42;
    ++after;
  });
  t.Post(1);
  t.Post(2);
  t.Post(3);
  Drain();
  platform::PostToMainThread([] { throw std::logic_error("from a call"); });
  Drain();
  // Any Qt event handler of the program, not only our own targets.
  struct Throwing : QObject {
    bool event(QEvent*) override { throw std::runtime_error("from a widget"); }
  } widget;
  QCoreApplication::postEvent(&widget, new QEvent(QEvent::User));
  Drain();
  platform::SetExceptionHook(nullptr);
  EXPECT_EQ(hooked, (std::vector<std::string>{"std: boom", "other: Unknown exception", "std: from a call",
                                              "std: from a widget"}));
  EXPECT_EQ(after, 1);
}

}  // namespace

// The hold meter sees the loop held by work and by a blocking call alike,
// whenever the tick comes after it, and reports each hold past its threshold
// as it ends; a loop left to itself is not held.
TEST(HoldMeter, SeesWorkAndBlockingButNotAnIdleLoop) {
  std::vector<std::int64_t> reported;
  const platform::THoldMeter meter(100, [&](std::int64_t ms) { reported.push_back(ms); });
  platform::ProcessMessagesUntil([] { return false; }, 300);
  EXPECT_LT(meter.Longest(), 100) << "an idle loop";
  EXPECT_TRUE(reported.empty());

  for (const bool blocking : {false, true}) {
    QTimer::singleShot(0, [blocking] {
      if (blocking) {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        return;
      }
      // 400 ms of this thread's own work, however long a busy machine takes to give it.
      auto spent = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return t.tv_sec * 1000LL + t.tv_nsec / 1000000;
      };
      for (const long long from = spent(); spent() - from < 400;) {
      }
    });
    platform::ProcessMessagesUntil([] { return false; }, 200);
    ASSERT_FALSE(reported.empty()) << (blocking ? "asleep" : "working");
    EXPECT_GE(reported.back(), 350);
    reported.clear();
  }
}
