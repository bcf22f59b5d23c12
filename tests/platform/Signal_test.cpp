#include "platform/Signal.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using platform::TConnection;
using platform::TSignal;

// Subscribers that change the subscriptions, or end the signal's owner, while
// the signal runs: the ones gone are not called, the ones new wait for the
// next time, and nothing touches what was freed.
TEST(Signal, SubscribersMayChangeTheListOrEndTheOwnerWhileItRuns) {
  auto signal = std::make_unique<TSignal<std::string>>();
  std::vector<std::string> calls;
  TConnection second, late;
  TConnection first = signal->Connect([&](const std::string& s) {
    calls.push_back("first " + s);
    second.Disconnect();
    if (!late.Connected()) late = signal->Connect([&](const std::string& t) { calls.push_back("late " + t); });
  });
  second = signal->Connect([&](const std::string& s) { calls.push_back("second " + s); });
  TConnection self;
  self = signal->Connect([&](const std::string& s) {
    calls.push_back("self " + s);
    self.Disconnect();
  });
  (*signal)("a");
  (*signal)("b");
  EXPECT_EQ(calls, (std::vector<std::string>{"first a", "self a", "first b", "late b"}));

  calls.clear();
  TConnection ender = signal->Connect([&](const std::string&) { signal.reset(); });
  TConnection after = signal->Connect([&](const std::string& s) { calls.push_back("after " + s); });
  (*signal)("c");
  EXPECT_EQ(signal, nullptr);
  EXPECT_EQ(calls, (std::vector<std::string>{"first c", "late c"}));
  // Connections that outlive their signal end quietly.
  first.Disconnect();
  TConnection moved = std::move(after);
  EXPECT_FALSE(after.Connected());
}

}  // namespace
