#include "platform/SingleInstance.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "TempHome.h"
#include "platform/EventLoop.h"

namespace {

TEST(SingleInstance, SecondHolderIsRefusedAndWakesTheFirstUntilItEnds) {
  testing_support::TempHome temp;
  // A home whose socket path fits a socket address, and one too long for it.
  const std::filesystem::path homes[] = {temp.Home() / "short", temp.Home() / std::string(120, 'h')};
  for (const auto& home : homes) {
    SCOPED_TRACE(home.string().size());
    int activations = 0;
    {
      platform::TSingleInstance first(home);
      ASSERT_TRUE(first.Acquire());
      first.OnActivate = [&] { ++activations; };
      first.Listen();

      platform::TSingleInstance second(home);
      EXPECT_FALSE(second.Acquire());
      std::atomic<int> answered{-1};
      std::thread knock([&] { answered = second.ActivateRunning(3000) ? 1 : 0; });
      EXPECT_TRUE(platform::ProcessMessagesUntil([&] { return answered >= 0; }, 5000));
      knock.join();
      EXPECT_EQ(answered, 1);
      EXPECT_EQ(activations, 1);
    }
    // The lock went with its holder; nobody answers any more.
    platform::TSingleInstance later(home);
    EXPECT_FALSE(later.ActivateRunning(200));
    EXPECT_TRUE(later.Acquire());
  }
}

}  // namespace
