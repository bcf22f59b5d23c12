#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Sound.h"

namespace testing_support {

// A sound output that plays nothing: it records what it was given and holds each
// sound "playing" until the test lets it end, so the channel's rules can be seen
// without a clock.
class FakeSoundSink : public platform::TSoundSink {
 public:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> started;   // paths, in order
    std::vector<std::string> finished;  // ran out
    std::vector<std::string> aborted;   // cut off
    std::vector<int> rates;             // of the sounds started
    int opens = 0;                      // attempts, failed ones too
    int closes = 0;
    bool hold = true;                   // Write blocks while set
    bool noDevice = false;
    std::string current;
  };

  explicit FakeSoundSink(std::shared_ptr<State> state) : state_(std::move(state)) {}

  bool Open(const platform::TWave& wave, std::string& error) override {
    std::lock_guard lock(state_->mutex);
    ++state_->opens;
    if (state_->noDevice) {
      error = "no such device";
      return false;
    }
    state_->current = wave.path;
    state_->started.push_back(wave.path);
    state_->rates.push_back(wave.rate);
    state_->changed.notify_all();
    return true;
  }
  void Write(const uint8_t*, size_t) override {
    std::unique_lock lock(state_->mutex);
    // Held sounds still give way after a while, so a broken test cannot hang.
    state_->changed.wait_for(lock, std::chrono::milliseconds(100), [&] { return !state_->hold; });
  }
  void Finish() override { Record(state_->finished); }
  void Abort() override { Record(state_->aborted); }
  void Close() override {
    std::lock_guard lock(state_->mutex);
    ++state_->closes;
    state_->changed.notify_all();
  }

 private:
  void Record(std::vector<std::string>& list) {
    std::lock_guard lock(state_->mutex);
    list.push_back(state_->current);
    state_->changed.notify_all();
  }
  std::shared_ptr<State> state_;
};

// Waits until pred() holds under the state's lock; false after two seconds.
template <class Pred>
bool WaitFor(FakeSoundSink::State& state, Pred pred) {
  std::unique_lock lock(state.mutex);
  return state.changed.wait_for(lock, std::chrono::seconds(2), pred);
}

}  // namespace testing_support
