#include "conversations/TransferRoutes.h"

#include "conversations/FormFileIn.h"
#include "conversations/FormFileOut.h"
#include "conversations/TransferPrompts.h"
#include "conversations/TransferTestHooks.h"
#include "core/session/DBStuff.h"
#include "core/session/ErrorLog.h"
#include "core/session/PeerListener.h"
#include "core/session/Router.h"
#include "core/session/Session.h"
#include "core/session/TestHooks.h"
#include "transport/CommandCodes.h"
#include "transport/ParloSocket.h"

namespace {

constexpr const char* kDefaultPeerPort = "2960";
// Each offer is a window and a connection, and a peer can offer far faster
// than anyone answers: unchecked, one caller fills the screen, the memory and
// the descriptors. No one sends more than a few offers before the first is
// answered, so past this many from one address still waiting on the user
// (or ended unanswered and still on screen) an offer is rejected as a user would.
constexpr int kMaxUnansweredOffersPerAddress = 8;
constexpr TContactCommand kCommands[] = {TContactCommand::SendFile, TContactCommand::SendImage,
                                         TContactCommand::SendSound};

}  // namespace

TTransferRoutes::TTransferRoutes(TSession& session, std::unique_ptr<TTransferPrompts> prompts)
    : session_(session), prompts_(std::move(prompts)) {
  if (!prompts_) prompts_ = MakeTestTransferPrompts();
  if (!prompts_) prompts_ = std::make_unique<TTransferDialogs>(session.Prompts());
  TRouter& router = session_.Router();
  router.SetPeerHandler(cmd::FileOffer, [this](TPeerRequest& request) { HandleFileOffer(request); });
  router.SetContactHandler(TContactCommand::SendFile,
                           [this](const TContactCall& call) { SendFromContact(call, "binary"); });
  router.SetContactHandler(TContactCommand::SendImage,
                           [this](const TContactCall& call) { SendFromContact(call, "image"); });
  router.SetContactHandler(TContactCommand::SendSound,
                           [this](const TContactCall& call) { SendFromContact(call, "sound"); });
  if (testhooks::Enabled()) ScheduleTestSends(*this);
}

TTransferRoutes::~TTransferRoutes() {
  session_.Router().SetPeerHandler(cmd::FileOffer, nullptr);
  for (const TContactCommand command : kCommands) session_.Router().SetContactHandler(command, nullptr);
  // A window the user did not close (the program ends) goes now, while the
  // session it reads is still there.
  for (const QPointer<QWidget>& window : windows_) delete window.data();
}

void TTransferRoutes::Keep(QWidget* window) {
  std::erase_if(windows_, [](const QPointer<QWidget>& w) { return w.isNull(); });
  windows_.emplace_back(window);
}

void TTransferRoutes::SendFromContact(const TContactCall& call, const char* kind) {
  const TContact& c = call.Contact;
  SendFileToUser(c.UserName, c.ListenIP, c.ListenPort.empty() ? kDefaultPeerPort : c.ListenPort, kind);
}

int TTransferRoutes::UnansweredOffersFrom(const std::string& addr) const {
  int count = 0;
  for (const QPointer<QWidget>& window : windows_) {
    auto* in = dynamic_cast<TFormFileIn*>(window.data());
    if (in != nullptr && in->Receiver().State() == TFileReceiver::TState::Offered && in->Receiver().PeerIp() == addr)
      ++count;
  }
  return count;
}

TFormFileOut* TTransferRoutes::SendFileToUser(const std::string& user, const std::string& ip, const std::string& port,
                                              const std::string& kind) {
  try {
    const std::string own = session_.DB().ProfileField(session_.Settings.CurrentProfile, "UserName");
    auto* window = new TFormFileOut(session_, *prompts_, std::make_unique<TParloSocket>());
    Keep(window);
    window->SetTransferKind(kind);
    window->AttachSocket(own, user, ip, port);
    if (testhooks::Enabled()) AttachTestHooks(*window);
    return window;
  } catch (const std::exception& e) {
    LogError(ip, port, std::string("Opening a transfer: ") + e.what());
    return nullptr;
  }
}

TFormFileIn* TTransferRoutes::HandleFileOffer(TPeerRequest& request) {
  const std::string addr = request.Socket().PeerAddr(), port = request.Socket().PeerPort();
  // An offer that cannot be taken: the sender hears no as from a user.
  auto refuse = [&](const std::string& why) -> TFormFileIn* {
    LogError(addr, port, "Incoming file offer refused: " + why);
    testhooks::Trace("transfer offer refused");
    request.Socket().SendCommand(cmd::FileRejected, "", "");
    return nullptr;
  };
  const auto offer = TFileOffer::Parse(request.Params());
  if (!offer) return refuse("no known kind, or no size of 1 to 4294967295 bytes");
  if (UnansweredOffersFrom(addr) >= kMaxUnansweredOffersPerAddress)
    return refuse("too many offers from this address wait for an answer");
  try {
    std::unique_ptr<TParloSocket> socket = request.Adopt();
    if (!socket) return nullptr;
    auto* window = new TFormFileIn(session_, *prompts_, std::move(socket), *offer);
    Keep(window);
    if (testhooks::Enabled()) AttachTestHooks(*window);
    window->ShowOffer();
    return window;
  } catch (const std::exception& e) {
    LogError(addr, port, std::string("Accepting a file offer: ") + e.what());
    return nullptr;
  }
}
