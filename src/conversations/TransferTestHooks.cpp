#include "conversations/TransferTestHooks.h"

#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <cstdlib>
#include <deque>

#include "conversations/FormFileIn.h"
#include "conversations/FormFileOut.h"
#include "conversations/TransferPrompts.h"
#include "conversations/TransferRoutes.h"
#include "core/session/Router.h"
#include "core/session/Session.h"
#include "core/session/TestHooks.h"
#include "platform/Charset.h"

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? std::string() : std::string(v);
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  for (std::size_t hit; (hit = text.find(separator, at)) != std::string::npos; at = hit + 1)
    parts.push_back(text.substr(at, hit - at));
  parts.push_back(text.substr(at));
  return parts;
}

struct TSendStep {
  std::string Kind, Name;
  std::vector<std::string> Files;
};

// The sends still to make and the one under way, whose answers the prompts give.
struct TSendPlan {
  TTransferRoutes* Routes = nullptr;
  TContact To;
  std::deque<TSendStep> Steps;
  TSendStep Current;
  platform::TConnection Started;
};

TSendPlan& Plan() {
  static TSendPlan plan;
  return plan;
}

class TTestTransferPrompts : public TTransferPrompts {
 public:
  bool AskPackageName(std::string& name) override {
    name = Plan().Current.Name;
    return !name.empty();
  }
  bool ChooseFiles(TTransferKind, std::vector<std::string>& files) override {
    files = Plan().Current.Files;
    return !files.empty();
  }
  void OfferShown(const TFileOffer&, std::function<void(bool)> answer) override {
    const std::string accept = Env("PARLO_TEST_TRANSFER_ACCEPT");
    if (accept != "yes" && accept != "no") return;
    QTimer::singleShot(std::atoi(Env("PARLO_TEST_TRANSFER_ACCEPT_MS").c_str()),
                       [answer, yes = accept == "yes"] { answer(yes); });
  }
  bool AskOverwrite(const std::string&) override { return Env("PARLO_TEST_TRANSFER_OVERWRITE") == "yes"; }
};

void NextSend() {
  TSendPlan& plan = Plan();
  if (plan.Steps.empty() || plan.Routes == nullptr) return;
  plan.Current = plan.Steps.front();
  plan.Steps.pop_front();
  const TContactCommand command = plan.Current.Kind == "image"   ? TContactCommand::SendImage
                                  : plan.Current.Kind == "sound" ? TContactCommand::SendSound
                                                                 : TContactCommand::SendFile;
  plan.Routes->Session().RunContactCommand(command, plan.To);
}

std::string Status(const QLabel* label) { return platform::FromQString(label->text()); }

}  // namespace

std::unique_ptr<TTransferPrompts> MakeTestTransferPrompts() {
  if (!testhooks::Enabled()) return nullptr;
  return std::make_unique<TTestTransferPrompts>();
}

void ScheduleTestSends(TTransferRoutes& routes) {
  const std::vector<std::string> to = Split(Env("PARLO_TEST_TRANSFER_TO"), ':');
  const std::string sends = Env("PARLO_TEST_TRANSFER_SEND");
  if (to.size() != 2 || sends.empty()) return;
  TSendPlan& plan = Plan();
  plan.Routes = &routes;
  plan.To.UserName = to[0];
  plan.To.ListenIP = "127.0.0.1";
  plan.To.ListenPort = to[1];
  plan.To.Online = "1";
  for (const std::string& step : Split(sends, ';')) {
    const std::vector<std::string> parts = Split(step, ':');
    if (parts.size() != 3) continue;
    // The environment holds names as the disk has them.
    std::vector<std::string> files;
    for (const std::string& file : Split(parts[2], '|')) files.push_back(platform::NameFromDiskBytes(file));
    plan.Steps.push_back({parts[0], parts[1], files});
  }
  // The settings and the profile are loaded by the time the listener listens.
  plan.Started = routes.Session().ListenerStateChanged.Connect([](const TSocketState& state) {
    if (state != wsListening) return;
    Plan().Started.Disconnect();
    QTimer::singleShot(0, [] { NextSend(); });
  });
}

void AttachTestHooks(TFormFileOut& window) {
  QPointer<TFormFileOut> w(&window);
  TFileSender& sender = window.Sender();
  auto done = std::make_shared<platform::TConnection>();
  *done = sender.Finished.Connect([w, &sender] {
    const std::string kind = KindInfo(sender.Kind()).Word;
    if (sender.Outcome() == TTransferLink::TOutcome::Succeeded)
      testhooks::Trace("transfer sent " + kind);
    else
      testhooks::Trace("transfer failed out: " + (w ? Status(w->PStatus) : std::string("closed")));
    QTimer::singleShot(0, [] { NextSend(); });
  });
  QObject::connect(&window, &QObject::destroyed, [done] { done->Disconnect(); });
  // Chooses and sends as a user would, once the window is up.
  QTimer::singleShot(0, &window, [w] {
    if (!w) return;
    testhooks::Trace("transfer packing");
    w->ButtonAddClick();
    if (!w) return;
    if (w->Sender().State() != TFileSender::TState::Packed) {
      testhooks::Trace("transfer failed out: " + Status(w->PStatus));
      QTimer::singleShot(0, [] { NextSend(); });
      return;
    }
    testhooks::Trace("transfer packed " + std::to_string(w->Sender().FileCount()) + " " +
                     std::to_string(w->Sender().TotalSize()));
    w->ButOpenClick();
  });
}

void AttachTestHooks(TFormFileIn& window) {
  QPointer<TFormFileIn> w(&window);
  TFileReceiver& receiver = window.Receiver();
  const TFileOffer& offer = receiver.Offer();
  testhooks::Trace("transfer offer " + offer.Kind + " " + offer.PackageName);
  auto hooks = std::make_shared<std::vector<platform::TConnection>>();
  hooks->push_back(receiver.Finished.Connect([w, &receiver] {
    const std::string kind = KindInfo(receiver.Kind()).Word;
    if (receiver.Outcome() == TTransferLink::TOutcome::Succeeded)
      testhooks::Trace("transfer received " + kind + " " + std::to_string(receiver.Unpacked().size()));
    else
      testhooks::Trace("transfer failed in: " + (w ? Status(w->PStatus) : std::string("closed")));
  }));
  QObject::connect(&window, &QObject::destroyed, [hooks] { hooks->clear(); });
}
