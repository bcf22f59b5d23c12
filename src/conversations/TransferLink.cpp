#include "conversations/TransferLink.h"

#include "transport/CmdParser.h"
#include "transport/NetSocketFunctions.h"
#include "zip/ZipReader.h"

namespace {

// Where a closed transfer's reports go: its window may be half gone.
class TNullView : public TTransferView {
 public:
  void AddLog(const std::string&) override {}
  void AddLogLine(const std::string&) override {}
  void SetStatus(const std::string&) override {}
  void SetProgress(std::uint64_t, std::uint64_t) override {}
  void StateChanged() override {}
};

TNullView nullView;

}  // namespace

TTransferLink::TTransferLink(TTransferView& view, TTransferHost host, std::unique_ptr<TParloSocket> socket,
                             const TLinkTexts& texts)
    : view_(&view), host_(std::move(host)), socket_(std::move(socket)), texts_(texts) {
  BindSocket();
}

TTransferLink::~TTransferLink() {
  *alive_ = false;
  Close();
}

void TTransferLink::BindSocket() {
  TParloSocket& s = *socket_;
  s.SetLineEnd("\r\n");
  s.SetLineMode(true);
  s.LineLimit = kLineLimit;
  s.OnLineLimitExceeded = [this](TCustomNetSocket*, int, bool& clear) {
    clear = true;
    Fail("Transfer failed: the other side sent a line that is no command...");
  };
  s.OnDataAvailable = [this](TCustomNetSocket*, int error) { SocketDataAvailable(error); };
  s.OnError = [this](TCustomNetSocket*) { HandleSocketError(socket_->LastError()); };
  s.OnBgException = [this](TCustomNetSocket*, const std::exception& e, bool& canClose) {
    SocketBgException(e, canClose);
  };
  s.OnChangeState = [this](TCustomNetSocket*, TSocketState, TSocketState state) { SocketChangeState(state); };
  s.OnSessionConnected = [this](TCustomNetSocket*, int error) { SocketSessionConnected(error); };
  s.OnSessionClosed = [this](TCustomNetSocket*, int error) { SocketSessionClosed(error); };
}

void TTransferLink::Close() {
  if (!socket_) return;
  view_ = &nullView;
  socket_->DropHandlers();
  if (outcome_ == TOutcome::Pending) {
    outcome_ = TOutcome::Failed;
    Discard();
    Finished();
  }
  if (socket_->State() != wsClosed) socket_->Close();
}

void TTransferLink::NotePeer() {
  const std::string addr = socket_->PeerAddr(), port = socket_->PeerPort();
  if (!addr.empty()) peerAddr_ = addr;
  if (!port.empty()) peerPort_ = port;
}

// ----- events ------------------------------------------------------------------------------

void TTransferLink::SocketDataAvailable(int error) {
  if (error != 0) return;
  if (!socket_->LineMode()) {
    RawDataAvailable();
    return;
  }
  const std::string received = socket_->ReceiveStr();
  if (!received.empty()) ProcessData(received);
}

void TTransferLink::ProcessData(const std::string& received) {
  try {
    const std::string line = TCmdParser::CleanLine(received);
    const int code = TCmdParser::ExtractCommand(line);
    const std::string params = TCmdParser::ExtractParameters(line);
    if (Connected()) HandleCommand(code, params);
  } catch (const std::exception&) {
    LogException(texts_.ProcessError);
  }
}

void TTransferLink::SocketChangeState(TSocketState state) {
  if (state == wsClosed)
    view_->AddLogLine(texts_.Closed);
  else if (state < texts_.States.size())
    view_->AddLog(texts_.States[state]);
}

void TTransferLink::SocketSessionConnected(int error) {
  if (error != 0) {
    HandleSocketError(error);
    return;
  }
  NotePeer();
  view_->AddLog(texts_.Connected);
}

void TTransferLink::SocketSessionClosed(int error) {
  view_->AddLogLine(error != 0 ? "Connection lost..." : "Connection closed...");
  LinkEnded();
}

void TTransferLink::SocketBgException(const std::exception& e, bool& canClose) {
  canClose = true;
  view_->AddLog(std::string("Winsock Exception: ") + e.what());
}

void TTransferLink::HandleSocketError(int error) {
  const std::string desc = error == 0 ? "Undetermined Winsock Error" : NetSocketErrorDesc(error);
  view_->AddLogLine("Winsock Error " + std::to_string(error) + " : " + desc);
  view_->SetStatus("Socket Error, transfer aborted.");
  socket_->CloseDelayed();
  if (host_.Beep) host_.Beep();
}

// ----- reports -------------------------------------------------------------------------------

void TTransferLink::LogException(const std::string& message) {
  NotePeer();
  if (host_.LogError) host_.LogError(peerAddr_, peerPort_, message);
}

void TTransferLink::PlayEventSound(int event) {
  if (host_.PlayEventSound) host_.PlayEventSound(event);
}

void TTransferLink::Succeed() {
  if (outcome_ != TOutcome::Pending) return;
  outcome_ = TOutcome::Succeeded;
  view_->StateChanged();
  Finished();
}

void TTransferLink::Fail(const std::string& text) {
  if (outcome_ != TOutcome::Pending) return;
  if (busy_) {
    // The package is in use by the run under way, which decides once it is over.
    if (socket_->State() != wsClosed) socket_->CloseDelayed();
    return;
  }
  outcome_ = TOutcome::Failed;
  Discard();
  view_->SetProgress(0, 0);
  view_->AddLog(text);
  view_->StateChanged();
  if (socket_->State() != wsClosed) socket_->CloseDelayed();
  Finished();
}

void TTransferLink::LinkEnded() {
  // A run under way decides for itself once it is over.
  if (outcome_ != TOutcome::Pending || busy_) return;
  outcome_ = TOutcome::Failed;
  Discard();
  Finished();
}

void TTransferLink::CancelRun() {
  if (running_ != nullptr) running_->CancelTheOperation();
}

int TTransferLink::RunPackage(zip::TZipReader& component, const std::function<int()>& run, const std::string& failure) {
  component.OnTotalPercentDone = [this](zip::TZipReader*, int percent) {
    view_->SetProgress(static_cast<std::uint64_t>(percent), 100);
  };
  view_->SetProgress(0, 100);
  const std::weak_ptr<bool> alive = alive_;
  int count = 0;
  busy_ = true;
  running_ = &component;
  view_->StateChanged();
  try {
    count = run();
  } catch (const zip::EUserCanceled&) {
    // The user closed the window: nothing to report.
    if (alive.expired()) return -1;
  } catch (const std::exception& e) {
    if (alive.expired()) return -1;
    view_->AddLog(failure + ": " + e.what());
    LogException(failure + ": " + e.what());
  }
  if (alive.expired()) return -1;
  running_ = nullptr;
  busy_ = false;
  view_->SetProgress(0, 0);
  view_->StateChanged();
  Idle();
  return count;
}
