#include "core/session/SavedMessages.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPointer>

#include "Dialogs_helpers.h"
#include "common/FailingDisk.h"
#include "core/FormMsgs.h"
#include "platform/IniStore.h"
#include "platform/platform_test_helpers.h"

namespace {

using platform::IniStore;

class SavedMessagesTest : public ::testing::Test {
 protected:
  std::filesystem::path File() const { return dir / "messages.msg"; }
  TempFolder dir;
};

TEST_F(SavedMessagesTest, MessagesWithCommasAndLineBreaksSurviveTheFile) {
  const std::string text = "Out, for lunch\r\nback at 2, maybe $c";
  {
    IniStore store(File());
    TSavedMessages m(store);
    m.Open(TSavedMessages::Away);
    EXPECT_EQ(m.NextKey(), "Message 0");
    EXPECT_EQ(m.Confirm("", "x"), "x");  // OK with no key shown stores nothing
    EXPECT_FALSE(std::filesystem::exists(File()));
    EXPECT_EQ(m.AddNew("", ""), "Message 0");  // nothing shown: only the key is added
    EXPECT_FALSE(store.ValueExists("Away", "Message 0"));
    EXPECT_EQ(m.NextKey(), "Message 1");
    m.Confirm("Message 0", text);
  }
  EXPECT_NE(ReadRawFile(File()).find("Message 0=Out$c for lunch$r$nback at 2$c maybe $c"), std::string::npos);
  IniStore store(File());
  TSavedMessages m(store);
  m.Open(TSavedMessages::Away);
  EXPECT_EQ(m.Keys(), (std::vector<std::string>{"Message 0"}));
  // "$c" typed by the user is not escaped on the way in, so it comes back as ",".
  EXPECT_EQ(m.Message("Message 0"), "Out, for lunch\r\nback at 2, maybe ,");
  EXPECT_EQ(m.Message("Message 7"), "");
  m.Open(TSavedMessages::Unavailable);
  EXPECT_TRUE(m.Keys().empty());
}

// The window's own steps leave a gap in the numbers: New with nothing shown
// only lists "Message 0", New with it shown stores under "Message 1". Counted
// again, the next key would be the one that holds the saved message.
TEST_F(SavedMessagesTest, NewNeverTakesAKeyInUse) {
  {
    IniStore store(File());
    TSavedMessages m(store);
    m.Open(TSavedMessages::Away);
    EXPECT_EQ(m.AddNew("", ""), "Message 0");
    EXPECT_EQ(m.AddNew("Message 0", "first"), "Message 1");
  }
  IniStore store(File());
  TSavedMessages m(store);
  m.Open(TSavedMessages::Away);
  EXPECT_EQ(m.Keys(), std::vector<std::string>{"Message 1"});
  EXPECT_EQ(m.NextKey(), "Message 2");
  EXPECT_EQ(m.AddNew("Message 1", "second"), "Message 2");
  EXPECT_EQ(IniStore(File()).ReadString("Away", "Message 2", ""), "second");  // saved at once
  EXPECT_EQ(store.ReadString("Away", "Message 1", ""), "first");
}

TEST_F(SavedMessagesTest, WindowPicksStoresAndReportsTheEscapedText) {
  testing_support::DialogApp();
  IniStore store(File());
  store.WriteString("Away", "Message 0", "at$c lunch");
  int mode = -1;
  std::string chosen;
  QPointer<TFormMsgs> form = new TFormMsgs(store);
  form->OnMessageChosen = [&](int m, const std::string& text) { mode = m, chosen = text; };
  form->Mode = 0;
  form->CurrentText = "was$rhere";
  form->EditAwayMessages();
  form->EditAwayMessages();  // filled again while open: each key once
  form->show();
  EXPECT_EQ(form->Memo->toPlainText(), "was\nhere");
  ASSERT_EQ(form->ComboList->count(), 1);
  form->ComboList->setCurrentIndex(0);
  EXPECT_EQ(form->Memo->toPlainText(), "at, lunch");
  form->Memo->setPlainText("at, tea\nsoon");
  form->OKClick();  // closes and frees the window
  EXPECT_EQ(mode, 0);
  EXPECT_EQ(chosen, "at$c tea$r$nsoon");
  EXPECT_EQ(IniStore(File()).ReadString("Away", "Message 0", ""), "at$c tea$r$nsoon");
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(form.isNull());
}

// A file the disk refuses: New and OK stop there, the typed text stays in
// the box, nothing is chosen, and the user is told.
TEST_F(SavedMessagesTest, AFileThatCannotBeWrittenKeepsTheTextAndIsTold) {
  testing_support::DialogApp();
  IniStore store(File());
  store.WriteString("Away", "Message 0", "at$c lunch");
  store.Save();
  for (const bool ok : {false, true}) {
    SCOPED_TRACE(ok ? "OK" : "New");
    QPointer<TFormMsgs> form = new TFormMsgs(store);
    std::string seen;
    form->ShowError = [&](const std::string&) { seen += "told|"; };
    form->OnMessageChosen = [&](int, const std::string&) { seen += "chosen|"; };
    form->EditAwayMessages();
    form->show();
    form->ComboList->setCurrentIndex(0);
    form->Memo->setPlainText("typed");
    seen = testing_support::WriteUnderFault(testing_support::DiskFault::ReadOnlyFolder, dir.Path(), [&] {
      ok ? form->OKClick() : form->NewClick();
      return seen + form->Memo->toPlainText().toStdString() + "|" + std::to_string(form->ComboList->count()) +
             (form->isVisible() ? "|open" : "|closed");
    });
    EXPECT_EQ(seen, "told|typed|1|open");
    EXPECT_EQ(IniStore(File()).ReadString("Away", "Message 0", ""), "at$c lunch");
    delete form;
  }
}

}  // namespace
