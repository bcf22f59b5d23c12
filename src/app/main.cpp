#include <QTimer>
#include <cstdio>

#include "chatrooms/ChatRoomRoutes.h"
#include "conversations/CamRoutes.h"
#include "conversations/CamTestHooks.h"
#include "conversations/FormFChat.h"
#include "conversations/FormFriends.h"
#include "conversations/FormHist.h"
#include "conversations/FormRandom.h"
#include "conversations/MessageRoutes.h"
#include "conversations/MessageTestHooks.h"
#include "conversations/PrivateChatRoutes.h"
#include "conversations/RichTranscript.h"
#include "conversations/TransferRoutes.h"
#include "core/DialogPrompts.h"
#include "core/FormAbout.h"
#include "core/FormAlert.h"
#include "core/FormImgUpload.h"
#include "core/FormMain.h"
#include "core/FormPref.h"
#include "core/FormProMan.h"
#include "core/session/DBStuff.h"
#include "core/session/ErrorLog.h"
#include "core/session/Paths.h"
#include "core/session/Session.h"
#include "core/session/TestHooks.h"
#include "editor/QuillUtils.h"
#include "platform/AppHome.h"
#include "platform/EventLoop.h"
#include "platform/GuardedApplication.h"
#include "platform/QuestionBoxes.h"
#include "platform/SessionEnd.h"
#include "platform/SingleInstance.h"

// The one place that knows every part of the program: it makes the session and
// the main window over it, and it is where the conversation and chat-room
// windows register their handlers with the session's router.
int main(int argc, char** argv) {
  const auto home = platform::EnsureAppHome();
  platform::TSingleInstance instance(home);
  if (!instance.Acquire()) {
    // Another Parlo runs on this home: it shows itself and this one ends.
    if (!instance.ActivateRunning(5000)) std::fprintf(stderr, "parlo: another instance holds %s\n", home.c_str());
    return 0;
  }

  platform::GuardedApplication app(argc, argv);
  QApplication::setApplicationName("Parlo");
  QApplication::setQuitOnLastWindowClosed(false);
  const auto holds = testhooks::WatchHolds();

  int rc = 0;
  try {
    TDialogPrompts prompts;
    TSession session(prompts);
    Paths = &session.Paths();
    DBStuff = &session.DB();
    TFormMain form(session);
    prompts.SetOwner(&form);
    TRouter& router = session.Router();
    router.SetWindowHandler(TWindowCommand::Preferences, [&session] { TFormPref::ActionPrefExecute(session); });
    router.SetWindowHandler(TWindowCommand::ProfileManager, [&session] { TFormProMan::ActionProManExecute(session); });
    router.SetWindowHandler(TWindowCommand::PhotoUpload, [&session] { TFormImgUpload::ActionImgUploadExecute(session); });
    router.SetWindowHandler(TWindowCommand::About, [&session] { TFormAbout::ActionAboutExecute(session); });
    router.SetWindowHandler(TWindowCommand::RandomContact, [&session] { TFormRandom::Open(session); });
    router.SetWindowHandler(TWindowCommand::ManageFriends, [&session] { TFormFriends::Open(session); });
    router.SetWindowHandler(TWindowCommand::FriendChat, [&session] { TFormFChat::ActionNewPChatExecute(session); });
    router.SetContactHandler(TContactCommand::History,
                             [&session](const TContactCall& call) { TFormHist::Open(session, call.Contact.UserID); });
    TCamRoutes camRoutes(session);
    AttachCamTestHooks(camRoutes);
    TTransferRoutes transfers(session);
    // Every window that shows a transcript makes it through this factory.
    SetTranscriptFactory(MakeRichTranscript);
    // A link clicked in a transcript opens as every page of the program does:
    // when no browser can be started, the user is told so.
    quill::SetUrlOpener([&session](const std::string& address) { session.OpenURL(address); });
    TPrivateChatRoutes privateChats(session);
    privateChats.SetCamRoutes(&camRoutes);
    // Chat rooms: hosting, invitations and the room windows.
    TChatRoomRoutes chatRooms(session);
    // Message windows.
    TMessageRoutes messages(session);
    // New messages and updates are announced here.
    TFormAlert alert(session);
    AttachMessageTestHooks(session, messages, alert);

    platform::SetExceptionHook([&form](const std::exception* e, const std::string& message) {
      form.ApplicationEventsException(e, message);
    });
    platform::SetLogSink([](const std::string& line) { LogError("None", "None", line); });
    platform::TSessionEnd sessionEnd([&form] { form.HandleSessionEnd(); });
    instance.OnActivate = [&form] { form.ActivateFromOtherInstance(); };
    instance.Listen();

    QTimer::singleShot(0, &form, [&form] { form.FormShow(); });
    rc = QApplication::exec();
    if (form.Crashed()) rc = 1;

    platform::SetExceptionHook(nullptr);
    platform::SetLogSink(nullptr);
    quill::SetUrlOpener(nullptr);
    instance.OnActivate = nullptr;
    DBStuff = nullptr;
    Paths = nullptr;
  } catch (const std::exception& e) {
    quill::SetUrlOpener(nullptr);
    std::fprintf(stderr, "parlo: %s\n", e.what());
    platform::RunMessageBox(QMessageBox::Critical, "Parlo", platform::ToQString(e.what()), QMessageBox::Ok);
    rc = 1;
  }
  return rc;
}
