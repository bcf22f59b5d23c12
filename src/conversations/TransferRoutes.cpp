#include "conversations/TransferRoutes.h"

#include "conversations/FormFileIn.h"
#include "conversations/FormFileOut.h"
#include "conversations/TransferPrompts.h"
#include "conversations/TransferTestHooks.h"
#include "conversations/UnansweredRequests.h"
#include "core/session/DBStuff.h"
#include "core/session/ErrorLog.h"
#include "core/session/PeerListener.h"
#include "core/session/Router.h"
#include "core/session/Session.h"
#include "core/session/TestHooks.h"
#include "transport/CommandCodes.h"
#include "transport/ParloSocket.h"

namespace {

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
  SendFileToUser(c.UserName, c.ListenIP, c.ListenPort, kind);
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
  // An offer stays on screen until the user answers it, whether or not its
  // sender is still there; or, its sender gone, until a new offer needs its place.
  const auto unanswered = [](QWidget& window) {
    auto* in = dynamic_cast<TFormFileIn*>(&window);
    if (in == nullptr || in->Receiver().State() != TFileReceiver::TState::Offered) return TUnanswered::No;
    return in->Receiver().Connected() ? TUnanswered::Held : TUnanswered::MayGiveWay;
  };
  const auto addressOf = [](QWidget& window) { return static_cast<TFormFileIn&>(window).Receiver().PeerIp(); };
  if (const char* full = MakeRoomForUnanswered(windows_, addr, unanswered, addressOf,
                                               "File offer closed: its sender has gone and a new offer takes its place"))
    return refuse(full);
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
