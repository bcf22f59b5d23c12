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
      auto s = state.lock();
      auto e = weak.lock();
      if (!e) return;
      e->live = false;
      if (!s) return;
      std::erase_if(s->entries, [&](const std::shared_ptr<Entry>& x) { return x == e; });
    });
  }

  void operator()(const A&... args) const {
    // The list may change under the calls: go through a copy, which also keeps
    // each running subscriber's function alive while it runs.
    const auto state = state_;
    const auto entries = state->entries;
    for (const auto& e : entries) {
      if (!state->alive) return;
      if (e->live) e->slot(args...);
    }
  }

  bool Empty() const { return state_->entries.empty(); }

 private:
  struct Entry {
    Slot slot;
    bool live;
  };
  struct State {
    std::vector<std::shared_ptr<Entry>> entries;
    bool alive = true;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace platform
