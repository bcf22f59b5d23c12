#include <QTimer>
#include <cstdio>
#include <memory>

#include "core/DBStuff.h"
#include "core/FormMain.h"
#include "core/FormReg.h"
#include "core/Paths.h"
#include "core/TestHooks.h"
#include "platform/AppHome.h"
#include "platform/GuardedApplication.h"
#include "platform/SessionEnd.h"
#include "platform/Charset.h"
#include "platform/EventLoop.h"
#include "platform/SingleInstance.h"

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

  int rc = 0;
  try {
    TFormMain form;
    FormMain = &form;
    TPaths paths;
    Paths = &paths;
    TDBStuff db(platform::PathFromName(paths.DataPath), form.MakeDBStuffHooks());
    DBStuff = &db;
    TFormReg::Install();

    platform::SetExceptionHook([&form](const std::exception* e, const std::string& message) {
      form.ApplicationEventsException(e, message);
    });
    platform::SetLogSink([](const std::string& line) { TFormMain::LogError("None", "None", line); });
    platform::TSessionEnd sessionEnd([&form] { form.HandleSessionEnd(); });
    instance.OnActivate = [&form] { form.ActivateFromOtherInstance(); };
    instance.Listen();

    QTimer::singleShot(0, &form, [&form] { form.FormShow(); });
    rc = QApplication::exec();
    if (form.Crashed()) rc = 1;

    platform::SetExceptionHook(nullptr);
    platform::SetLogSink(nullptr);
    instance.OnActivate = nullptr;
    DBStuff = nullptr;
    Paths = nullptr;
    TFormMain::RegistrationWindow = nullptr;
    FormMain = nullptr;
  } catch (const std::exception& e) {
    TFormMain::LogError("None", "None", std::string("Start-up: ") + e.what());
    std::fprintf(stderr, "parlo: %s\n", e.what());
    rc = 1;
  }
  return rc;
}
