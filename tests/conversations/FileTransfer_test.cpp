#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "common/FreePort.h"
#include "common/Settle.h"
#include "conversations/TransferPrompts.h"
#include "core/DialogPrompts.h"
#include "conversations/FormFileIn.h"
#include "conversations/FormFileOut.h"
#include "conversations/TransferRoutes.h"
#include "core/Widgets_helpers.h"
#include "core/session/Paths.h"
#include "core/session/PeerListener.h"
#include "core/session/Prompts.h"
#include "core/session/Reg.h"
#include "core/session/Session.h"
#include "platform/Charset.h"
#include "platform/DesktopPrompts.h"
#include "platform/EventLoop.h"
#include "platform/QuestionBoxes.h"
#include "platform/TempHome.h"

namespace fs = std::filesystem;

namespace {

struct Answers : TTransferPrompts {
  std::vector<std::string> Files;
  std::function<bool(const std::string&)> Overwrite;
  bool AskPackageName(std::string& name) override {
    name = "pack";
    return true;
  }
  bool ChooseFiles(TTransferKind, std::vector<std::string>& files) override {
    files = Files;
    return true;
  }
  void OfferShown(const TFileOffer&, std::function<void(bool)> answer) override { answer(true); }
  bool AskOverwrite(const std::string& name) override { return Overwrite(name); }
};

void Write(const fs::path& file, const std::string& bytes) { std::ofstream(file, std::ios::binary) << bytes; }

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TFormFileIn* ReceivingWindow() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* in = dynamic_cast<TFormFileIn*>(w); in != nullptr && in->isVisible()) return in;
  return nullptr;
}

// One program sends to its own listener. The second time the same names
// come, the user closes the receiving window while the overwrite question is
// up: the unpacking stops, the window stays until it has returned and only
// then goes, the sender hears of no success, and no package stays on either
// side.
TEST(FileTransfer, AWindowClosedWhileUnpackingStopsItAndGoesAfterwards) {
  testing_support::WidgetApp();
  testing_support::TempHome home;
  // Outside the range outgoing connections take their ports from: parallel
  // tests open hundreds, and one could hold this port before the listen.
  const std::string port = std::to_string(testing_support::FreeListenPort());
  TReg::WriteString(TReg::SettingsSection, "ListenPort", port);
  TPrompts prompts;
  TSession session(prompts);
  session.LoadCurrentSelections();
  session.CreateLocalStores();
  session.StartListening();
  ASSERT_EQ(session.Listener().State(), wsListening);

  auto owned = std::make_unique<Answers>();
  Answers& answers = *owned;
  TTransferRoutes routes(session, std::move(owned));
  const fs::path src = home.Home() / "src";
  fs::create_directories(src);
  const fs::path received = platform::PathFromName(session.Paths().FilesPath + "_");
  QWidget elsewhere(nullptr, Qt::Window);  // where the user works as the package comes

  for (const bool first : {true, false}) {
    SCOPED_TRACE(first ? "first" : "second");
    answers.Files.clear();
    for (const char* name : {"a.txt", "b.txt", "\xE5\x86\x99\xE7\x9C\x9F.txt"}) {
      Write(src / name, std::string(first ? "first " : "second ") + name);
      answers.Files.push_back(platform::NameFromPath(src / name));
    }
    QPointer<TFormFileIn> in;
    int asked = 0;
    answers.Overwrite = [&](const std::string&) {
      // Asked as the package arrives: about the receiving window, whichever the user works in.
      EXPECT_EQ(platform::QuestionWindow(), in.data());
      if (asked++ == 0) {
        in->close();
        EXPECT_FALSE(in.isNull());
        EXPECT_TRUE(in->isVisible());
      }
      return true;
    };
    QPointer<TFormFileOut> out = routes.SendFileToUser("Me", "127.0.0.1", port, "binary");
    ASSERT_TRUE(out);
    out->ButtonAddClick();
    out->ButOpenClick();
    // The description goes as it reads when the other side greets, typed
    // after Send too. One the link cannot carry is noted before it goes; it
    // arrives as "???".
    out->Memo->setPlainText(first ? QString::fromUtf8("\xD0\x9F\xD1\x80\xD0\xB8") : QString());
    EXPECT_EQ(out->findChild<QLabel*>("CharsetNote")->isHidden(), !first);
    ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return (in = ReceivingWindow()) != nullptr; }, 5000));
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(platform::ProcessMessagesUntil(
        [&] { return out->Sender().Outcome() != TTransferLink::TOutcome::Pending; }, 5000));
    EXPECT_EQ(out->Sender().Outcome(), first ? TTransferLink::TOutcome::Succeeded : TTransferLink::TOutcome::Failed);
    for (const char* name : {"a.txt", "b.txt", "\xE5\x86\x99\xE7\x9C\x9F.txt"})
      EXPECT_EQ(Read(received / name), "first " + std::string(name));
    if (first) {
      EXPECT_EQ(in->Memo->toPlainText(), "???");
      // Both logs name the file as the disk does, and show their newest line.
      for (const auto* log : {out->MemoLog, in->MemoLog}) {
        EXPECT_TRUE(log->toPlainText().contains(QString::fromUtf8("\xE5\x86\x99\xE7\x9C\x9F.txt")))
            << log->toPlainText().toStdString();
        EXPECT_EQ(log->verticalScrollBar()->value(), log->verticalScrollBar()->maximum());
      }
    }
    EXPECT_EQ(asked, first ? 0 : 1);
    ASSERT_TRUE(testing_support::Settle([&] { return first || in.isNull(); }, 5000));
    EXPECT_TRUE(fs::is_empty(platform::PathFromName(session.Paths().TmpFilesPath)));
    if (in) in->close();
    out->close();
  }
}

// A send whose connection is refused: the window says so in its status and
// otherwise stays as the user left it (the description still editable, the
// cancel button not yet "Close"), and the package is gone.
TEST(FileTransfer, ARefusedSendLeavesTheWindowAsItWas) {
  testing_support::WidgetApp();
  testing_support::TempHome home;
  TPrompts prompts;
  TSession session(prompts);
  session.LoadCurrentSelections();
  session.CreateLocalStores();
  auto owned = std::make_unique<Answers>();
  const fs::path file = home.Home() / "a.txt";
  Write(file, "some text");
  owned->Files = {platform::NameFromPath(file)};
  TTransferRoutes routes(session, std::move(owned));
  QPointer<TFormFileOut> out =
      routes.SendFileToUser("Me", "127.0.0.1", std::to_string(testing_support::FreeListenPort()), "binary");
  ASSERT_TRUE(out);
  EXPECT_EQ(out->PBar->palette().color(QPalette::Highlight), QColor(0x00, 0x61, 0x96));
  out->ButtonAddClick();
  ASSERT_EQ(out->Sender().State(), TFileSender::TState::Packed);
  out->ButOpenClick();
  ASSERT_TRUE(platform::ProcessMessagesUntil(
      [&] { return out->Sender().Outcome() != TTransferLink::TOutcome::Pending; }, 5000));
  testing_support::Settle(50);
  EXPECT_EQ(out->Sender().Outcome(), TTransferLink::TOutcome::Failed);
  EXPECT_EQ(out->PStatus->text(), "Socket Error, transfer aborted.");
  EXPECT_EQ(out->ButCancel->text(), "Cancel");
  EXPECT_FALSE(out->ButOpen->isEnabled());
  EXPECT_FALSE(out->Memo->isReadOnly());
  EXPECT_TRUE(out->MemoLog->toPlainText().contains("  Winsock Error 10061 : ")) << out->MemoLog->toPlainText().toStdString();
  EXPECT_TRUE(fs::is_empty(platform::PathFromName(session.Paths().TmpFilesPath)));
  out->close();
}

}  // namespace

// The files of a package are chosen over the window they are for, several at
// once; what comes back is each file's name as it is on disk.
TEST(FileTransfer, FilesAreChosenOverTheirWindowSeveralAtOnce) {
  testing_support::WidgetApp();
  testing_support::TempHome home;
  const fs::path file = home.Home() / "notes.txt";
  fs::create_directories(home.Home());
  std::ofstream(file) << "notes";
  QWidget window(nullptr, Qt::Window);
  // Off the middle of the 800 x 600 test screen, where the chooser still fits.
  window.setGeometry(230, 140, 200, 160);
  window.show();
  const platform::TQuestionsAbout about(&window);
  TDialogPrompts prompts;
  TTransferDialogs dialogs(prompts);
  int offCentre = -1;
  QFileDialog::FileMode mode = QFileDialog::AnyFile;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    poll.stop();
    offCentre = (dialog->geometry().center() - window.geometry().center()).manhattanLength();
    mode = dialog->fileMode();
    dialog->setDirectory(QString::fromStdString(home.Home().string()));
    // The chooser types a chosen name into its name box only while the box
    // has no focus; whether it has it yet depends on what ran before.
    if (QWidget* focused = QApplication::focusWidget()) focused->clearFocus();
    dialog->selectFile("notes.txt");
    static_cast<QDialog*>(dialog)->QDialog::done(QDialog::Accepted);
  });
  poll.start(10);
  std::vector<std::string> files;
  ASSERT_TRUE(dialogs.ChooseFiles(TTransferKind::Binary, files));
  EXPECT_LE(offCentre, 2);
  EXPECT_EQ(mode, QFileDialog::ExistingFiles);
  EXPECT_EQ(files, std::vector<std::string>{platform::NameFromPath(file)});
}

// The package's name is asked over its window. A name the link cannot carry
// is noted under the input, every line of the note shown: the dialog grows
// to hold it rather than squeezing it over the buttons.
TEST(FileTransfer, ThePackageNameNoteIsShownWhole) {
  testing_support::WidgetApp();
  QWidget window(nullptr, Qt::Window);
  window.setGeometry(230, 140, 200, 160);
  window.show();
  const platform::TQuestionsAbout about(&window);
  TDialogPrompts prompts;
  TTransferDialogs dialogs(prompts);
  int shortBy = -1;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    poll.stop();
    EXPECT_EQ(dialog->parentWidget(), &window);
    auto* edit = dialog->findChild<QLineEdit*>();
    edit->setText(QString::fromUtf8("\xD0\x9F\xD0\xB0\xD0\xBA\xD0\xB5\xD1\x82 one"));
    QApplication::sendPostedEvents();
    QApplication::processEvents();
    const auto* note = dialog->findChild<QLabel*>("CharsetNote");
    EXPECT_TRUE(note->isVisible());
    shortBy = note->heightForWidth(note->width()) - note->height();
    edit->setText("pkg");
    dialog->accept();
  });
  poll.start(10);
  std::string name = "proposed";
  ASSERT_TRUE(dialogs.AskPackageName(name));
  EXPECT_LE(shortBy, 0);
  EXPECT_EQ(name, "pkg");
}
