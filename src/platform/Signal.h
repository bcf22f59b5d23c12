#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace platform {

// A subscription to a TSignal. It ends when the object goes (or Disconnect is
// called), so a window that keeps its connections as members is never called
// after it has closed. The signal may go first; the connection then does nothing.
class TConnection {
 public:
  TConnection() = default;
  explicit TConnection(std::function<void()> disconnect) : disconnect_(std::move(disconnect)) {}
  ~TConnection() { Disconnect(); }
  TConnection(TConnection&& other) noexcept : disconnect_(std::exchange(other.disconnect_, nullptr)) {}
  TConnection& operator=(TConnection&& other) noexcept {
    if (this != &other) {
      Disconnect();
      disconnect_ = std::exchange(other.disconnect_, nullptr);
    }
    return *this;
  }
  TConnection(const TConnection&) = delete;
  TConnection& operator=(const TConnection&) = delete;

  void Disconnect() {
    if (auto d = std::exchange(disconnect_, nullptr)) d();
  }
  // Until Disconnect or a move; true also when the signal has gone meanwhile.
  bool Connected() const { return static_cast<bool>(disconnect_); }

 private:
  std::function<void()> disconnect_;
};

// An event with any number of subscribers, called in the order they
// connected. A subscriber may connect or disconnect others, or itself, while
// the event runs: one disconnected meanwhile is not called, one connected
// meanwhile waits for the next time. When a subscriber destroys the signal's
// owner, the remaining subscribers are not called.
template <class... A>
class TSignal {
 public:
  using Slot = std::function<void(const A&...)>;

  TSignal() = default;
  ~TSignal() { state_->alive = false; }
  TSignal(const TSignal&) = delete;
  TSignal& operator=(const TSignal&) = delete;

  [[nodiscard]] TConnection Connect(Slot slot) {
    auto entry = std::make_shared<Entry>(Entry{std::move(slot), true});
    state_->entries.push_back(entry);
    std::weak_ptr<State> state = state_;
    std::weak_ptr<Entry> weak = entry;
    return TConnection([state, weak] {
      auto e = weak.lock();
      if (!e) return;
      e->live = false;
      if (auto s = state.lock(); s && s->running == 0) s->Compact();
    });
  }

  void operator()(const A&... args) const {
    // Subscribers may change the list under the calls: only those there at
    // the start are called, the ones gone meanwhile are skipped, and the list
    // is tidied once no call runs any more. Each running subscriber's
    // function is held alive while it runs.
    const auto state = state_;
    const size_t count = state->entries.size();
    ++state->running;
    for (size_t i = 0; i < count && state->alive; ++i) {
      const std::shared_ptr<Entry> e = state->entries[i];
      if (e->live) e->slot(args...);
    }
    if (--state->running == 0) state->Compact();
  }

  bool Empty() const {
    for (const auto& e : state_->entries)
      if (e->live) return false;
    return true;
  }

 private:
  struct Entry {
    Slot slot;
    bool live;
  };
  struct State {
    std::vector<std::shared_ptr<Entry>> entries;
    int running = 0;  // calls under way, nested ones included
    bool alive = true;
    void Compact() {
      std::erase_if(entries, [](const std::shared_ptr<Entry>& e) { return !e->live; });
    }
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace platform
