#include "transport/NetSocket.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/EventLoop.h"

// ---------------------------------------------------------------------------
// TCustomLineNetSocket

TCustomLineNetSocket::TCustomLineNetSocket(TComponent* owner) : Base(owner) {}

TCustomLineNetSocket::~TCustomLineNetSocket() = default;

void TCustomLineNetSocket::DropHandlers() {
  Base::DropHandlers();
  OnLineLimitExceeded = nullptr;
}

void TCustomLineNetSocket::SetLineMode(bool on) {
  if (on == line_mode_) return;
  line_mode_ = on;
  // A raw phase ends whatever over-long line was being skipped.
  if (!on) discarding_ = false;
  if (HeldCount() > 0 || line_len_ > 0) PostMessage(WM_TRIGGER_DATA_AVAILABLE);
}

int TCustomLineNetSocket::GetRcvdCount() {
  if (line_mode_) return static_cast<int>(line_len_);
  if (HeldCount() > 0) return HeldCount();
  return Base::GetRcvdCount();
}

void TCustomLineNetSocket::Compact() {
  if (head_ == buf_.size()) {
    buf_.clear();
    head_ = 0;
  } else if (head_ > 4096 && head_ > buf_.size() / 2) {
    buf_.erase(0, head_);
    head_ = 0;
  }
}

void TCustomLineNetSocket::DropHeld() {
  buf_.clear();
  buf_.shrink_to_fit();
  head_ = 0;
  line_len_ = 0;
  discarding_ = false;
  lines_held_ = false;
}

int TCustomLineNetSocket::DoRecv(void* buffer, int size, int flags) {
  if ((flags & platform::net::MSG_PEEK_FLAG) != 0 || size < 0) return Base::DoRecv(buffer, size, flags);
  if (line_mode_ && line_len_ > 0) {
    const std::size_t n = std::min(static_cast<std::size_t>(size), line_len_);
    std::memcpy(buffer, buf_.data() + head_, n);
    head_ += n;
    line_len_ -= n;
    Compact();
    return static_cast<int>(n);
  }
  if (HeldCount() > 0 && (!line_mode_ || line_end_.empty() || Negotiating())) {
    const std::size_t n = std::min(static_cast<std::size_t>(size), static_cast<std::size_t>(HeldCount()));
    std::memcpy(buffer, buf_.data() + head_, n);
    head_ += n;
    Compact();
    return static_cast<int>(n);
  }
  if (line_mode_ && !line_end_.empty() && !Negotiating()) {
    // In line mode the bytes come through lines only; reading the network
    // here would pass them in front of the held ones.
    platform::net::SetLastError(platform::net::WSAEWOULDBLOCK);
    return -1;
  }
  return Base::DoRecv(buffer, size, flags);
}

bool TCustomLineNetSocket::HeldInput() const {
  if (HeldCount() == 0) return false;
  if (!line_mode_ || line_end_.empty() || Negotiating()) return true;
  return lines_held_;
}

bool TCustomLineNetSocket::TriggerDataAvailable(int error) {
  if (!line_mode_ || line_end_.empty() || Negotiating()) return Base::TriggerDataAvailable(error);
  // Lines read on an earlier turn go first. While they wait the network is
  // left alone, so a sender that outruns us fills its own buffers, not ours.
  if (lines_held_) {
    ScanLines(0, true);
    if (lines_held_ || TurnSpent() || handle_ == INVALID_SOCKET) return true;
  }
  // Read straight away, as much as a turn may take: asking for the size
  // first would cost a system call on every read.
  static char scratch[kTurnBytes];
  const int n = Base::DoRecv(scratch, static_cast<int>(sizeof scratch), 0);
  if (n < 1) return true;
  Compact();
  const std::size_t old_end = buf_.size();
  buf_.append(scratch, static_cast<std::size_t>(n));
  // Editing may take back held bytes, so the fresh bytes can start earlier.
  const std::size_t fresh = LineEdit ? EditLine(old_end) : old_end;
  if (!LineEdit && LineEcho) SendStr(buf_.substr(old_end));
  // Start early enough to find a line end split between two reads.
  const std::size_t held_before = fresh - head_;
  ScanLines(held_before > line_end_.size() ? held_before - line_end_.size() : 0, true);
  return true;
}

void TCustomLineNetSocket::ScanLines(std::size_t search_from, bool bounded) {
  // A line is being handed out further up the stack (its handler runs a
  // nested event loop): new bytes wait behind it.
  if (line_len_ > 0) return;
  StillAlive alive(*this);
  lines_held_ = false;
  while (line_mode_ && !line_end_.empty() && line_len_ == 0) {
    const std::size_t pos = buf_.find(line_end_, head_ + search_from);
    if (discarding_) {
      if (pos == std::string::npos) {
        // Keep only what could be the start of a line end split across reads.
        const std::size_t keep = std::min<std::size_t>(line_end_.size() - 1, HeldCount());
        head_ = buf_.size() - keep;
        Compact();
        return;
      }
      head_ = pos + line_end_.size();
      discarding_ = false;
      search_from = 0;
      Compact();
      continue;
    }
    if (pos == std::string::npos) break;
    // Only the number of lines counts here: the read that brought them may
    // have spent the turn's bytes already.
    if (bounded && TurnCallsSpent()) {
      // The rest waits for the next turn; the line limit does not apply to
      // complete lines.
      lines_held_ = true;
      PostReceiveMore();
      return;
    }
    if (!WithinLineLimit(pos)) {
      if (alive.expired() || handle_ == INVALID_SOCKET || !line_mode_) return;
      search_from = 0;
      continue;
    }
    line_len_ = pos + line_end_.size() - head_;
    line_found_ = true;
    if (!DeliverLine()) return;
    if (alive.expired()) return;
    search_from = 0;
  }
  CheckLineLimit();
}

bool TCustomLineNetSocket::DeliverLine() {
  StillAlive alive(*this);
  ++delivering_;
  while (line_mode_ && line_len_ > 0) {
    if (!OnDataAvailable) {
      head_ += line_len_;
      line_len_ = 0;
      break;
    }
    const std::size_t before = line_len_;
    Base::TriggerDataAvailable(0);
    if (alive.expired()) return false;
    if (line_len_ == before && line_mode_) {
      // The handler took nothing; offering the line again would never end.
      head_ += line_len_;
      line_len_ = 0;
      break;
    }
  }
  // Line mode went off in the middle of the line: its rest stays in front of
  // the later bytes and goes out raw.
  line_len_ = 0;
  --delivering_;
  Compact();
  return true;
}

void TCustomLineNetSocket::CheckLineLimit() {
  if (!line_mode_ || LineLimit <= 0 || discarding_ || handle_ == INVALID_SOCKET) return;
  const int held = HeldCount();
  if (held <= LineLimit) return;
  StillAlive alive(*this);
  bool clear = true;
  TriggerLineLimitExceeded(held, clear);
  if (alive.expired()) return;
  if (clear) {
    // The line is dropped through its end, never passed on piece by piece.
    const std::size_t keep = std::min<std::size_t>(line_end_.size() - 1, HeldCount());
    head_ = buf_.size() - keep;
    Compact();
    discarding_ = true;
  } else if (line_mode_ && HeldCount() > LineLimit && handle_ != INVALID_SOCKET) {
    // The owner kept the bytes but a line without bound cannot be held.
    platform::LogLine("Line longer than " + std::to_string(LineLimit) + " bytes from " + GetPeerAddr() +
                      "; connection closed");
    DropHeld();
    Close();
  }
}

bool TCustomLineNetSocket::WithinLineLimit(std::size_t line_end_pos) {
  // A line that arrives whole in one read is held to the same limit as one
  // that trickles in: otherwise the limit would depend on how the peer's
  // bytes happened to be split.
  const std::size_t length = line_end_pos - head_;
  if (LineLimit <= 0 || length <= static_cast<std::size_t>(LineLimit)) return true;
  StillAlive alive(*this);
  bool clear = true;
  TriggerLineLimitExceeded(static_cast<int>(std::min<std::size_t>(length, INT_MAX)), clear);
  if (alive.expired() || handle_ == INVALID_SOCKET) return false;
  if (clear) {
    head_ = line_end_pos + line_end_.size();
    Compact();
  } else {
    platform::LogLine("Line longer than " + std::to_string(LineLimit) + " bytes from " + GetPeerAddr() +
                      "; connection closed");
    DropHeld();
    Close();
  }
  return false;
}

void TCustomLineNetSocket::TriggerLineLimitExceeded(int count, bool& clear_data) {
  if (!OnLineLimitExceeded) return;
  auto handler = OnLineLimitExceeded;
  handler(this, count, clear_data);
}

void TCustomLineNetSocket::Redeliver(bool bounded) {
  if (line_mode_ && !line_end_.empty() && !Negotiating()) {
    ScanLines(0, bounded);
    return;
  }
  StillAlive alive(*this);
  while (!line_mode_ && HeldCount() > 0) {
    if (bounded && TurnSpent()) {
      PostReceiveMore();
      return;
    }
    const int before = HeldCount();
    if (!Base::TriggerDataAvailable(0)) {
      DropHeld();
      break;
    }
    if (alive.expired()) return;
    if (HeldCount() == before) break;
  }
}

void TCustomLineNetSocket::WndProc(platform::TMessage& msg) {
  if (msg.Msg != WM_TRIGGER_DATA_AVAILABLE) {
    Base::WndProc(msg);
    return;
  }
  try {
    TurnScope turn(*this);
    Redeliver(true);
  } catch (const std::exception& e) {
    HandleBackGroundException(e);
  }
}

void TCustomLineNetSocket::TriggerSessionClosed(int error) {
  line_found_ = true;
  StillAlive alive(*this);
  // Bytes that arrived before the end still reach the owner, unless it closed
  // the connection itself while handling a line.
  if (delivering_ == 0 && HeldCount() > 0) {
    if (line_mode_ && !line_end_.empty()) {
      ScanLines(0, false);
      if (alive.expired()) return;
      if (line_mode_ && HeldCount() > 0 && !discarding_ && line_len_ == 0) {
        line_len_ = static_cast<std::size_t>(HeldCount());
        if (!DeliverLine()) return;
      }
    } else {
      Redeliver(false);
      if (alive.expired()) return;
    }
  }
  DropHeld();
  Base::TriggerSessionClosed(error);
}

std::size_t TCustomLineNetSocket::EditLine(std::size_t from) {
  const std::string fresh = buf_.substr(from);
  std::string edited;
  std::string echo;
  for (const char c : fresh) {
    if (c == '\b') {
      if (!edited.empty()) {
        edited.pop_back();
      } else if (from > head_) {
        --from;  // may take back a byte held from an earlier read
      } else {
        continue;
      }
      if (LineEcho) echo += "\b \b";
    } else if (c == '\t') {
      do {
        edited += ' ';
        if (LineEcho) echo += ' ';
      } while ((from - head_ + edited.size()) % 8 != 0);
    } else {
      edited += c;
      if (LineEcho) echo += c;
    }
  }
  buf_.resize(from);
  buf_ += edited;
  if (!echo.empty()) SendStr(echo);
  return from;
}

// ---------------------------------------------------------------------------
// TCustomSyncNetSocket

int TCustomSyncNetSocket::WaitUntilReady(bool& done) {
  const std::int64_t deadline = platform::TickCount() + line_wait_ms_;
  for (;;) {
    if (done) return 0;
    // A wait inside a program that is ending would hold its end up.
    if (platform::ApplicationTerminating()) terminated_ = true;
    if (terminated_) return 12001;
    int slice = 1000;
    if (line_wait_ms_ > 0) {
      const std::int64_t left = deadline - platform::TickCount();
      if (left <= 0) return 12001;
      slice = static_cast<int>(std::min<std::int64_t>(left, slice));
    }
    platform::ProcessMessagesUntil([&done] { return done || platform::ApplicationTerminating(); }, slice);
  }
}

int TCustomSyncNetSocket::Synchronize(const std::function<void()>& proc, bool& done) {
  done = false;
  if (proc) proc();
  return WaitUntilReady(done);
}

void TCustomSyncNetSocket::ReadLine(int timeout, std::string& line) {
  line.clear();
  if (State() != wsConnected) {
    RaiseException("ReadLine failed: not connected");
    return;
  }
  line_wait_ms_ = timeout == 0 ? 60000 : timeout > 0 ? timeout * 1000 : -timeout;
  const TDataAvailable saved_handler = OnDataAvailable;
  const bool saved_mode = LineMode();
  bool done = false;
  OnDataAvailable = [this, &line, &done](TCustomNetSocket*, int) {
    if (done) return;
    line = ReceiveStr();
    if (line.empty()) return;
    done = true;
    // Later lines wait, held, for the owner's own handler.
    SetLineMode(false);
  };
  SetLineMode(true);
  WaitUntilReady(done);
  if (!done && HeldCount() > 0) {
    SetLineMode(false);
    std::string rest(static_cast<std::size_t>(HeldCount()), '\0');
    const int n = Receive(rest.data(), static_cast<int>(rest.size()));
    rest.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    line = rest;
  }
  OnDataAvailable = saved_handler;
  SetLineMode(saved_mode);
  // Bytes that came behind the line may have been offered to our reader after
  // it was done; the owner's handler gets them now.
  if (HeldCount() > 0) PostMessage(WM_TRIGGER_DATA_AVAILABLE);
}
