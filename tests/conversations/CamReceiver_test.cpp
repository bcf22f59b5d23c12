// A viewer's link against the scripted broadcaster of tests/support/cam_peer.py.

#include "conversations/CamReceiver.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>

#include "Cam_helpers.h"
#include "common/Settle.h"
#include "core/Widgets_helpers.h"
#include "core/session/Paths.h"
#include "platform/EventLoop.h"
#include "platform/FileNames.h"
#include "platform/TempHome.h"

namespace {

const cam::TViewRequest kCamOwn{"41000002", "Bea", "127.0.0.1", "2962"};

// The broadcaster's side up to the viewer's first 1033.
std::string Opening() {
  return R"({"op": "expect", "code": 1030, "params": "41000002{$}Bea{$}127.0.0.1{$}2962"},
            {"op": "send", "code": 1000}, {"op": "send", "code": 1031}, {"op": "expect", "code": 1033})";
}

struct Seen {
  std::vector<std::string> statuses, pictures;
  int shown = 0, camOff = 0;
  TCamReceiverHost Host() {
    return TCamReceiverHost{[this](const std::string& s) { statuses.push_back(s); },
                            [this](const QImage& p) { shown += !p.isNull(); },
                            [this] { ++camOff; },
                            nullptr,
                            nullptr,
                            [this](const std::string& jpeg) { pictures.push_back(jpeg); }};
  }
};

std::string WriteFile(const QTemporaryDir& dir, const std::string& name, const std::string& bytes) {
  const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
  testing_support::WriteFile(path, bytes);
  return path;
}

}  // namespace

// What each broadcaster script leaves on the viewer's side: the pictures
// taken whole and the last status; the script itself checks the 1033s sent
// for them, the silence after them, and that a bad length closes the link.
TEST(CamReceiver, TakesExactlyTheAnnouncedBytesAndClosesOnBadLengths) {
  testing_support::WidgetApp();
  testing_support::TempHome home;
  TPaths paths;
  QTemporaryDir files;
  const std::string picture = cam_test::SyntheticJpeg(7, 5000);
  ASSERT_EQ(picture.size(), 5000u);
  const std::string good = WriteFile(files, "good.jpg", picture);
  const std::string junk = WriteFile(files, "junk.jpg", std::string(3000, 'x'));
  const std::string dearPicture = cam_test::RepeatedScanJpeg(2048, 1536, 100);
  const std::string dear = WriteFile(files, "dear.jpg", dearPicture);

  struct Case {
    const char* name;
    std::string steps;
    int pictures, shown;
    const char* status;  // the last one; a prefix
    int camOff = 0;
    const std::string* last = nullptr;  // the last picture taken, when not `picture`
  };
  const std::string then = R"(, {"op": "expect", "code": 1033}, {"op": "expect_silence", "seconds": 0.4})";
  const Case cases[] = {
      // Three reads of 2047, 2047 and 906 bytes: one picture and one 1033.
      {"split picture", R"({"op": "picture", "file": ")" + good + R"(", "split": [2047, 4094]})" + then, 1, 1,
       "Last Image "},
      // A line in the same write right after the picture is read as a line.
      {"line behind picture", R"({"op": "picture", "file": ")" + good + R"(", "then": "  1036<>\r\n"})" + then, 1, 1,
       "Cam is paused..."},
      // A damaged picture is still answered, and the next one comes.
      {"damaged picture",
       R"({"op": "picture", "file": ")" + junk + R"("}, {"op": "expect", "code": 1033}, {"op": "picture", "file": ")" +
           good + R"("})" + then,
       2, 1, "Last Image "},
      // One too dear to decode is not shown, nor answered: the link ends.
      {"too dear", R"({"op": "picture", "file": ")" + dear + R"("}, {"op": "expect_close"})", 1, 0,
       "Invalid Image", 0, &dearPicture},
      {"zero length", R"({"op": "send", "code": 1034, "params": "0"}, {"op": "expect_close"})", 0, 0, ""},
      {"negative length", R"({"op": "send", "code": 1034, "params": "-5"}, {"op": "expect_close"})", 0, 0, ""},
      {"not a number", R"({"op": "send", "code": 1034, "params": "12ab"}, {"op": "expect_close"})", 0, 0, ""},
      {"over the bound", R"({"op": "send", "code": 1034, "params": "1048577"}, {"op": "expect_close"})", 0, 0, "",
       false},
      {"overflowing", R"({"op": "send", "code": 1034, "params": "99999999999"}, {"op": "expect_close"})", 0, 0, "",
       false},
      {"no length", R"({"op": "send", "code": 1034}, {"op": "expect_close"})", 0, 0, ""},
      {"refused", R"({"op": "send", "code": 1032}, {"op": "expect_close"})", 0, 0, "Broadcast request rejected"},
      {"no cam", R"({"op": "send", "code": 1038}, {"op": "expect_close"})", 0, 0, "", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cam_test::TScriptedBroadcaster broadcaster("[" + Opening() + ", " + c.steps + "]");
    Seen seen;
    TCamReceiver receiver(seen.Host(), paths);
    receiver.Connect("127.0.0.1", std::to_string(broadcaster.Port()), kCamOwn);
    EXPECT_EQ(broadcaster.Wait(), "PASSED");
    testing_support::Settle(50);
    EXPECT_EQ(static_cast<int>(seen.pictures.size()), c.pictures);
    EXPECT_EQ(seen.shown, c.shown);
    if (!seen.pictures.empty()) {
      EXPECT_EQ(seen.pictures.back(), c.last ? *c.last : picture);
    }
    if (*c.status != '\0') {
      ASSERT_FALSE(seen.statuses.empty());
      // The link's own close comes after what the script did.
      std::string last;
      for (const auto& s : seen.statuses)
        if (s.rfind("Connection ", 0) != 0) last = s;
      EXPECT_EQ(last.rfind(c.status, 0), 0u) << last;
    }
    EXPECT_EQ(seen.camOff, c.camOff);
  }
}

// Saved pictures go into "CamImages" under one name component made of the
// broadcaster's name, whatever that name holds, and are whole JPEGs.
TEST(CamReceiver, SavesPicturesInsideCamImages) {
  testing_support::WidgetApp();
  testing_support::TempHome home;
  TPaths paths;
  QTemporaryDir files;
  const std::string good = WriteFile(files, "good.jpg", cam_test::SyntheticJpeg(42, 0));
  cam_test::TScriptedBroadcaster broadcaster("[" + Opening() + R"(, {"op": "picture", "file": ")" + good +
                                             R"(", "split": [100]}, {"op": "expect", "code": 1033}])");
  Seen seen;
  TCamReceiver receiver(seen.Host(), paths);
  ASSERT_TRUE(receiver.ToggleSaveMode("../..\\Evil:cam."));
  receiver.Connect("127.0.0.1", std::to_string(broadcaster.Port()), kCamOwn);
  EXPECT_EQ(broadcaster.Wait(), "PASSED");
  platform::ProcessMessagesUntil([&] { return !receiver.LastFile().empty(); }, 2000);

  const std::filesystem::path camImages = platform::PathFromName(paths.CamImagesPath);
  const std::filesystem::path saved = platform::PathFromName(receiver.LastFile());
  EXPECT_EQ(saved.parent_path(), camImages / "_.._Evil_cam");
  EXPECT_EQ(saved.filename().string().rfind("cam", 0), 0u);
  EXPECT_EQ(saved.extension(), ".jpg");
  EXPECT_EQ(cam_test::DjpegFrameNumber(saved.string()), 42);
  // Off again: the next picture stays in memory only.
  ASSERT_TRUE(receiver.ToggleSaveMode("Evil"));
  EXPECT_FALSE(receiver.SaveMode());
}
