#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "platform/Signal.h"
#include "transport/ParloSocket.h"

namespace zip {
class TZipReader;
}

// What a transfer window shows. The windows implement it; tests record it.
class TTransferView {
 public:
  virtual ~TTransferView() = default;
  // A log line stamped with the time, which also becomes the status line.
  virtual void AddLog(const std::string& text) = 0;
  // A stamped log line alone.
  virtual void AddLogLine(const std::string& text) = 0;
  // The status line alone.
  virtual void SetStatus(const std::string& text) = 0;
  // The progress bar at position of maximum; 0 of 0 empties it.
  virtual void SetProgress(std::uint64_t position, std::uint64_t maximum) = 0;
  // The transfer moved on: buttons and panels follow.
  virtual void StateChanged() = 0;
};

// What a transfer asks of the program around it. Unset hooks are skipped.
struct TTransferHost {
  std::function<void(const std::string& addr, const std::string& port, const std::string& message)> LogError;
  std::function<void(int event)> PlayEventSound;
  std::function<void()> Beep;
};

// The texts in which the two sides report their connection.
struct TLinkTexts {
  const char* Connected;
  std::array<const char*, 7> States;  // wsInvalidState .. wsListening: log and status
  const char* Closed;                 // wsClosed: log only
  const char* ProcessError;           // the error-log entry of a command that failed
};

// The event sounds of a transfer.
inline constexpr int kOfferSound = 6;  // "transfer.wav": an offer came in
inline constexpr int kDoneSound = 7;   // "complete.wav": the transfer is through

// One transfer link: the socket, its events and the reports common to both
// sides (state lines, socket errors, exceptions, the end of the link). The
// sender and the receiver build the protocol on top.
class TTransferLink {
 public:
  // No line of the transfer protocol comes near this; a longer one ends the link.
  static constexpr int kLineLimit = 8192;

  enum class TOutcome { Pending, Succeeded, Failed };

  virtual ~TTransferLink();
  TTransferLink(const TTransferLink&) = delete;
  TTransferLink& operator=(const TTransferLink&) = delete;

  TParloSocket& Socket() { return *socket_; }
  bool Connected() const { return socket_->State() == wsConnected; }
  TOutcome Outcome() const { return outcome_; }
  // A package is being packed or unpacked and events run meanwhile: the
  // window must not go before that is over.
  bool Busy() const { return busy_; }
  // Asks the packing or unpacking under way to stop.
  void CancelRun();
  // The window closes: the link closes with it and a transfer still under
  // way ends as a failure, leaving no package behind. The view hears nothing
  // more.
  void Close();

  // The transfer ended, well or not (Outcome says which).
  platform::TSignal<> Finished;
  // A run that held the window open is over.
  platform::TSignal<> Idle;

  // The handler of one received line, public so that tests can drive it.
  void ProcessData(const std::string& line);

 protected:
  TTransferLink(TTransferView& view, TTransferHost host, std::unique_ptr<TParloSocket> socket, const TLinkTexts& texts);

  // Called only while connected.
  virtual void HandleCommand(int code, const std::string& params) = 0;
  // Data while the socket is out of line mode.
  virtual void RawDataAvailable() = 0;
  // The transfer failed: whatever file it left goes.
  virtual void Discard() {}

  void HandleSocketError(int error);
  // One entry in the error log, with the peer's address and port.
  void LogException(const std::string& message);
  void PlayEventSound(int event);
  // The transfer is over. A failure says why in the log and closes the link.
  void Succeed();
  void Fail(const std::string& text);
  // The link ended (or could not be made) before the transfer was through:
  // a failure that leaves the window as it is, beside the line that says so.
  void LinkEnded();
  // Runs a packing or unpacking of the component: events run meanwhile (the
  // window waits for it to return), its progress moves the bar, and a failure
  // is logged under `failure`. The count the run returns, 0 after a failure,
  // -1 when this object went meanwhile.
  int RunPackage(zip::TZipReader& component, const std::function<int()>& run, const std::string& failure);
  // The peer's address and port as the link had them (also after it closed).
  void NotePeer();

  TTransferView* view_;
  TTransferHost host_;
  std::unique_ptr<TParloSocket> socket_;

 private:
  void BindSocket();
  void SocketDataAvailable(int error);
  void SocketChangeState(TSocketState state);
  void SocketSessionConnected(int error);
  void SocketSessionClosed(int error);
  void SocketBgException(const std::exception& e, bool& canClose);

  const TLinkTexts& texts_;
  TOutcome outcome_ = TOutcome::Pending;
  bool busy_ = false;
  zip::TZipReader* running_ = nullptr;
  std::string peerAddr_ = "None", peerPort_ = "None";
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
