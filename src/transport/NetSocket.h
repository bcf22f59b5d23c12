#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "transport/SocksNetSocket.h"

// Line mode on top of the socket: received bytes are collected and offered to
// the owner one complete line (with its line end) per OnDataAvailable. It
// stands aside while a proxy negotiation has the connection.
class TCustomLineNetSocket : public TCustomSocksNetSocket {
  using Base = TCustomSocksNetSocket;

 public:
  explicit TCustomLineNetSocket(TComponent* owner = nullptr);
  ~TCustomLineNetSocket() override;

  bool LineMode() const { return line_mode_; }
  virtual void SetLineMode(bool on);
  const std::string& LineEnd() const { return line_end_; }
  void SetLineEnd(const std::string& value) { line_end_ = value; }
  // Longest line held while waiting for its end; 0 or less: no bound.
  int LineLimit = 65536;
  bool LineEcho = false;
  bool LineEdit = false;
  TLineLimitEvent OnLineLimitExceeded;

  int GetRcvdCount() override;
  void DropHandlers() override;

  // Bytes received but not yet handed to the owner.
  int HeldCount() const { return static_cast<int>(buf_.size() - head_); }

 protected:
  void WndProc(platform::TMessage& msg) override;
  int DoRecv(void* buffer, int size, int flags) override;
  bool TriggerDataAvailable(int error) override;
  void TriggerSessionClosed(int error) override;
  bool HeldInput() const override;
  virtual void TriggerLineLimitExceeded(int count, bool& clear_data);
  // Edits the bytes from `from` on in place; returns where the edited bytes
  // now start (earlier than `from` when backspaces took held bytes back).
  virtual std::size_t EditLine(std::size_t from);

 private:
  // Hands out the complete lines held; bounded: stops when the turn is spent
  // and leaves the rest for the next turn.
  void ScanLines(std::size_t search_from, bool bounded);
  bool DeliverLine();
  void CheckLineLimit();
  // False when the complete line ending at line_end_pos was over the limit
  // and has been dropped (or the link closed).
  bool WithinLineLimit(std::size_t line_end_pos);
  void Redeliver(bool bounded);
  void Compact();
  void DropHeld();

  bool line_mode_ = false;
  std::string line_end_ = "\r\n";
  std::string buf_;         // held bytes are buf_[head_, size)
  std::size_t head_ = 0;
  std::size_t line_len_ = 0;  // length of the line being delivered, 0 if none
  bool line_found_ = false;
  bool discarding_ = false;   // dropping the rest of an over-long line
  bool lines_held_ = false;   // held bytes may hold complete lines not yet handed out
  int delivering_ = 0;        // depth of line deliveries under way
};

// Waiting loops for code that wants to read a line synchronously. They run
// the event loop while they wait, so every other socket keeps working.
class TCustomSyncNetSocket : public TCustomLineNetSocket {
 public:
  explicit TCustomSyncNetSocket(TComponent* owner = nullptr) : TCustomLineNetSocket(owner) {}
  // Runs the event loop until done is set; 12001 when the wait limit passed
  // or the program is ending (a quit was asked for, or the pump met one),
  // else 0.
  virtual int WaitUntilReady(bool& done);
  // Clears done, runs proc when given, then waits like WaitUntilReady.
  virtual int Synchronize(const std::function<void()>& proc, bool& done);
  // Reads one line (with its line end) in line mode. timeout: seconds, 0 for
  // 60 s, a negative value for milliseconds. On a timeout the bytes held so
  // far become the line. The handler and LineMode are restored afterwards.
  void ReadLine(int timeout, std::string& line);

 protected:
  int line_wait_ms_ = 0;  // 0 or less: no limit
};

// The socket class every connection of the program uses: the plain socket,
// its proxy client (idle while SocksServer is empty), line mode and the
// waiting loops.
class TNetSocket : public TCustomSyncNetSocket {
 public:
  explicit TNetSocket(TComponent* owner = nullptr) : TCustomSyncNetSocket(owner) {}
};

// The same socket under the name proxy users look for.
class TSocksNetSocket : public TNetSocket {
 public:
  explicit TSocksNetSocket(TComponent* owner = nullptr) : TNetSocket(owner) {}
};
