#include "platform/Sound.h"

#include <gtest/gtest.h>

#include "common/OwnClock.h"

#include "platform/Exception.h"
#include "platform/FakeSoundSink.h"
#include "platform/TempHome.h"

namespace {

using Mode = platform::TSoundChannel::Mode;
using testing_support::FakeSoundSink;
using testing_support::WaitFor;

std::string Wave(int channels, int rate, int bits, size_t dataBytes, uint16_t format = 1, size_t declared = 0) {
  std::string w;
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) w += static_cast<char>(v >> (8 * i));
  };
  auto put16 = [&](uint16_t v) {
    w += static_cast<char>(v);
    w += static_cast<char>(v >> 8);
  };
  w += "RIFF";
  put32(0);
  w += "WAVE";
  w += "LIST";  // an odd-sized chunk before the format must be skipped with its pad byte
  put32(3);
  w += "abc";
  w += '\0';
  w += "fmt ";
  put32(16);
  put16(format);
  put16(static_cast<uint16_t>(channels));
  put32(static_cast<uint32_t>(rate));
  put32(static_cast<uint32_t>(rate * channels * bits / 8));
  put16(static_cast<uint16_t>(channels * bits / 8));
  put16(static_cast<uint16_t>(bits));
  w += "data";
  put32(static_cast<uint32_t>(declared ? declared : dataBytes));
  w += std::string(dataBytes, '\x10');
  return w;
}

TEST(Wave, DecodesPlayableFilesAndRefusesTheRest) {
  auto ok = platform::ParseWave(Wave(2, 22050, 16, 401), "x.wav");
  EXPECT_EQ(ok.channels, 2);
  EXPECT_EQ(ok.rate, 22050);
  EXPECT_EQ(ok.data.size(), 400u);  // whole frames only
  // A data chunk that claims more than the file holds plays what is there.
  EXPECT_EQ(platform::ParseWave(Wave(1, 8000, 8, 10, 1, 1u << 30)).data.size(), 10u);

  const std::string bad[] = {
      "",
      "RIFF\0\0\0\0WAVX",
      Wave(1, 8000, 16, 10, 3),      // floating-point samples
      Wave(0, 8000, 16, 10),         // no channels
      Wave(1, 100, 16, 10),          // absurd rate
      Wave(1, 8000, 12, 10),         // odd sample size
      Wave(1, 8000, 16, 10).substr(0, 40),  // cut inside the format chunk
  };
  for (const auto& bytes : bad) EXPECT_THROW(platform::ParseWave(bytes), platform::EStreamError);
}

class SoundChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav"})
      testing_support::WriteFile(dir.Home() / name, Wave(1, 8000, 16, 8000));
  }
  std::string File(const char* name) { return (dir.Home() / name).string(); }
  void Release() {
    std::lock_guard lock(state->mutex);
    state->hold = false;
    state->changed.notify_all();
  }

  testing_support::TempHome dir;
  std::shared_ptr<FakeSoundSink::State> state = std::make_shared<FakeSoundSink::State>();
  platform::TSoundChannel channel{std::make_unique<FakeSoundSink>(state),
                                  {std::chrono::milliseconds(150), std::chrono::milliseconds(150)}};
};

TEST_F(SoundChannelTest, SkipsWhileBusyAndInterruptReplaces) {
  EXPECT_TRUE(channel.Play(File("a.wav"), Mode::SkipIfBusy));
  ASSERT_TRUE(WaitFor(*state, [&] { return state->started.size() == 1; }));
  EXPECT_TRUE(channel.IsPlaying());
  EXPECT_FALSE(channel.Play(File("b.wav"), Mode::SkipIfBusy));
  EXPECT_TRUE(channel.Play(File("c.wav"), Mode::Interrupt));
  ASSERT_TRUE(WaitFor(*state, [&] { return state->started.size() == 2; }));
  EXPECT_EQ(state->started, (std::vector<std::string>{File("a.wav"), File("c.wav")}));
  EXPECT_EQ(state->aborted, std::vector<std::string>{File("a.wav")});

  Release();
  ASSERT_TRUE(WaitFor(*state, [&] { return state->finished.size() == 1; }));
  ASSERT_TRUE(WaitFor(*state, [&] { return true; }));
  for (int i = 0; i < 200 && channel.IsPlaying(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_FALSE(channel.IsPlaying());
  EXPECT_TRUE(channel.Play(File("d.wav"), Mode::SkipIfBusy));
  ASSERT_TRUE(WaitFor(*state, [&] { return state->finished.size() == 2; }));
  EXPECT_EQ(state->finished, (std::vector<std::string>{File("c.wav"), File("d.wav")}));
}

// Without a device, and for a file that is missing or no wave, nothing plays
// and the channel is free again at once.
TEST_F(SoundChannelTest, NoDeviceAndBadFilesAreSilentAndFreeTheChannel) {
  auto playOut = [&](const char* name) {
    channel.Play(File(name), Mode::Interrupt);
    for (int t = 0; t < 400 && channel.IsPlaying(); ++t) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(channel.IsPlaying());
  };
  {
    std::lock_guard lock(state->mutex);
    state->noDevice = true;
  }
  for (int i = 0; i < 3; ++i) playOut("a.wav");
  {
    std::lock_guard lock(state->mutex);
    EXPECT_EQ(state->opens, 1) << "a missing device is not asked for again at once";
    state->noDevice = false;
  }
  // A device that appears later is found once the wait is over.
  std::this_thread::sleep_for(std::chrono::milliseconds(160));
  Release();
  playOut("b.wav");
  testing_support::WriteFile(dir.Home() / "junk.wav", "not a wave");
  for (int i = 0; i < 2; ++i)
    for (const char* name : {"junk.wav", "missing.wav"}) playOut(name);
  std::lock_guard lock(state->mutex);
  EXPECT_EQ(state->started, std::vector<std::string>{File("b.wav")});
}

// Sounds that follow each other keep the device; a file changed on disk plays
// as it is now; a while after the last sound the device is let go.
TEST_F(SoundChannelTest, KeepsTheDeviceBetweenSoundsAndPlaysAChangedFileAsItIsNow) {
  Release();
  auto playWhole = [&](size_t count) {
    channel.Play(File("a.wav"), Mode::Interrupt);
    ASSERT_TRUE(WaitFor(*state, [&] { return state->finished.size() == count; }));
  };
  playWhole(1);
  playWhole(2);
  testing_support::WriteFile(dir.Home() / "a.wav", Wave(1, 22050, 16, 4000));
  playWhole(3);
  {
    std::lock_guard lock(state->mutex);
    EXPECT_EQ(state->closes, 0);
    EXPECT_EQ(state->rates, (std::vector<int>{8000, 8000, 22050}));
  }
  EXPECT_TRUE(WaitFor(*state, [&] { return state->closes == 1; }));
}

}  // namespace

namespace {

// The real output: with a sound card the sound plays, without one the channel
// stays silent. Either way the caller never waits.
TEST(SoundCard, PlaysOrStaysSilentWithoutHanging) {
  testing_support::TempHome dir;
  testing_support::WriteFile(dir.Home() / "beep.wav", Wave(1, 8000, 16, 8000));  // a second
  platform::TSoundChannel channel(platform::MakeAlsaSink());
  for (int i = 0; i < 3; ++i) {
    const testing_support::TOwnClock start;
    channel.Play((dir.Home() / "beep.wav").string(), Mode::Interrupt);
    EXPECT_LT(start.ElapsedMs(), 500);
    for (int t = 0; t < 1000 && channel.IsPlaying(); ++t) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(channel.IsPlaying());
  }
}

}  // namespace
