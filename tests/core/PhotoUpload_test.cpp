#include "core/session/PhotoUpload.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <memory>

#include "DirectoryServer_helpers.h"
#include "Widgets_helpers.h"
#include "core/FormImgUpload.h"
#include "core/session/DirectoryLink.h"
#include "core/session/Prompts.h"
#include "core/session/Session.h"
#include "platform/EventLoop.h"
#include "platform/FileNames.h"
#include "platform/TempHome.h"
#include "resources/Resources.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::WriteFile;

// A JPEG picture of exactly n bytes: what follows its end is no part of it.
std::string Picture(size_t n) {
  QImage image(48, 48, QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x * 5, y * 5, (x * y) % 256));
  std::string s = resources::EncodeJpeg(image);
  s.resize(n, '\0');
  return s;
}

// The upload as the local directory server takes it: 9100 with the size,
// then exactly the file's bytes, which the server stores as the photo and
// answers with 9101; the link reads frames as before afterwards. A file too
// large or that is no picture is refused with the error beep.
TEST(PhotoUpload, SendsTheFrameThenExactlyTheFileBytes) {
  testing_support::WidgetApp();
  testing_support::TDirectoryServer server;
  const std::string uid = "12345678";
  server.AddAccount("secret1", uid);
  testing_support::TempHome home;
  testing_support::UseLocalServer(server.Port(), uid, "secret1");
  TPrompts prompts;
  TSession session(prompts);
  session.LoadCurrentSelections();
  session.CreateLocalStores();

  const fs::path dir = home.Home() / "pictures";
  const std::string largest = platform::NameFromPath(dir / "largest.jpg");
  const std::string large = platform::NameFromPath(dir / "large.jpg");
  WriteFile(dir / "largest.jpg", Picture(20480));
  WriteFile(dir / "large.jpg", Picture(20481));
  WriteFile(dir / "notes.jpg", "Shopping: bread, milk\r\n");
  EXPECT_EQ(TPhotoUpload::FileSizeOf(largest), 20480);
  EXPECT_TRUE(TPhotoUpload::Acceptable(20480));
  EXPECT_FALSE(TPhotoUpload::Acceptable(TPhotoUpload::FileSizeOf(large)));
  EXPECT_EQ(TPhotoUpload::FileSizeOf(platform::NameFromPath(dir / "missing.jpg")), 0);

  // The window: the too large file is refused with the error beep, the largest allowed taken.
  auto* form = new TFormImgUpload(session);
  std::vector<bool> beeps;
  form->Beep = [&](bool error) { beeps.push_back(error); };
  form->SelectFile(largest);
  form->SelectFile(large);
  EXPECT_FALSE(form->ButOpen->isEnabled());
  form->SelectFile(platform::NameFromPath(dir / "notes.jpg"));
  EXPECT_FALSE(form->ButOpen->isEnabled());
  EXPECT_TRUE(form->Image1->pixmap().isNull());
  EXPECT_TRUE(form->MemoLog->toPlainText().endsWith(
      "File size is too large, select another file.\nFile is not a picture, select another file."));
  form->SelectFile(largest);
  EXPECT_TRUE(form->ButOpen->isEnabled());
  // Not connected: nothing goes out and no answer will come; the window says it is uploading.
  form->ButOpenClick();
  EXPECT_EQ(beeps, (std::vector<bool>{true, true}));
  EXPECT_FALSE(form->ButOpen->isEnabled());
  EXPECT_TRUE(form->MemoLog->toPlainText().endsWith("Uploading image, please wait...."));

  ASSERT_TRUE(session.StartAfterShow());
  server.WaitFrame(9015, "in");
  const size_t since = server.Frames().size();
  form->SelectFile(largest);
  form->ButOpenClick();
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return beeps.size() == 3; }, 5000));
  EXPECT_FALSE(beeps.back());
  EXPECT_EQ(form->ButCancel->text(), "Close");
  const auto frames = server.Frames(since);
  ASSERT_GE(frames.size(), 2u);
  EXPECT_EQ(frames[0].Code, 9100);
  EXPECT_EQ(frames[0].Params, std::vector<std::string>{"20480"});
  EXPECT_EQ(frames[1].Raw, "<20480 raw bytes>");
  EXPECT_EQ(ReadFile(fs::path(server.DataPath()) / "photos" / (uid + ".jpg")), Picture(20480));

  // Frames after the photo are read as frames.
  const size_t next = server.Frames().size();
  EXPECT_TRUE(session.RequestRandomContact());
  server.WaitFrame(9020, "out", next);
  EXPECT_TRUE(session.Link().Connected());
  delete form;
}

}  // namespace
