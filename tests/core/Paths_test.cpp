#include "core/session/Paths.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "core/session/Reg.h"
#include "platform/Charset.h"
#include "platform/Exception.h"
#include "platform/FakeSoundSink.h"
#include "platform/TempHome.h"

namespace {

using testing_support::FakeSoundSink;
using testing_support::ReadFile;
using testing_support::TempHome;
using testing_support::WaitFor;
using testing_support::WriteFile;

TEST(Paths, CreatesTheFoldersAndInstallsTheDefaultFiles) {
  TempHome home;
  WriteFile(home.Home() / "Sounds" / "moo.wav", "the user's own moo");
  TPaths paths;
  const std::string root = home.Home().string() + "\\";
  EXPECT_EQ(paths.AppPath, root);
  for (const auto& folder : {paths.FilesPath, paths.ImagesPath, paths.SoundsPath, paths.DataPath,
                             paths.TmpFilesPath, paths.UpdatesPath})
    EXPECT_TRUE(std::filesystem::is_directory(platform::PathFromName(folder))) << folder;
  EXPECT_EQ(paths.CamImagesPath, root + "CamImages\\");
  EXPECT_FALSE(std::filesystem::exists(home.Home() / "CamImages"));
  EXPECT_EQ(paths.BlockedFile, root + "Data\\blocked.parlo");
  EXPECT_EQ(paths.IncomingFile, root + "Data\\incoming.msg");
  EXPECT_EQ(paths.HelpFile, root + "parlohelp.hlp");

  // Every sound the program can ask for is there, and the user's file was kept.
  const auto sounds = home.Home() / "Sounds";
  for (const auto& sound : ChatSound) EXPECT_TRUE(std::filesystem::exists(sounds / sound.File)) << sound.File;
  for (const auto& event : SoundEvent) EXPECT_TRUE(std::filesystem::exists(sounds / event.DefaultFile)) << event.DefaultFile;
  for (int n = 1; n <= 20; ++n) EXPECT_TRUE(std::filesystem::exists(home.Home() / "Icons" / (std::to_string(n) + ".bmp")));
  EXPECT_TRUE(std::filesystem::exists(home.Home() / "logo.jpg"));
  EXPECT_TRUE(std::filesystem::exists(home.Home() / "chatlogo.jpg"));
  EXPECT_EQ(ReadFile(home.Home() / "Sounds" / "moo.wav"), "the user's own moo");
}

TEST(Paths, FontStylesAndColoursRoundTrip) {
  TempHome home;
  TPaths paths;
  struct Case {
    int stored;
    bool bold, italic, underline, strike;
    int saved;
  } cases[] = {
      {0, false, false, false, false, 0},  {1, true, false, false, false, 1},   {4, true, true, false, false, 4},
      {2, false, false, false, false, 0},  {16, false, false, true, true, 16},  {20, true, true, true, true, 20},
      {19, false, true, true, true, 19},   {-3, false, false, false, false, 0}, {21, false, false, false, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    TReg::WriteInteger("Settings\\Fonts", "PeerStyle", c.stored);
    platform::TFont font = paths.LoadWindowFont("Peer", platform::clNavy);
    EXPECT_EQ(font.Bold, c.bold);
    EXPECT_EQ(font.Italic, c.italic);
    EXPECT_EQ(font.Underline, c.underline);
    EXPECT_EQ(font.StrikeOut, c.strike);
    paths.SaveWindowFont("Peer", font);
    EXPECT_EQ(TReg::ReadInteger("Settings\\Fonts", "PeerStyle", -99), c.saved);
  }

  // Nothing stored: face, size and the caller's colour.
  const platform::TFont fresh = paths.LoadWindowFont("Client", platform::clBlack);
  EXPECT_EQ(fresh.Name, "Verdana");
  EXPECT_EQ(fresh.Size, 8);
  EXPECT_EQ(fresh.Color, platform::clBlack);
  EXPECT_EQ(paths.LoadWindowFont("MsgPeer", platform::clNavy).Color, platform::clNavy);

  // Navy written as a number loads as navy and is saved by its name.
  TReg::WriteString("Settings\\Fonts", "MsgClientColor", "$00800000");
  platform::TFont font = paths.LoadWindowFont("MsgClient", platform::clBlack);
  EXPECT_EQ(font.Color, platform::clNavy);
  paths.SaveWindowFont("MsgClient", font);
  EXPECT_EQ(TReg::ReadString("Settings\\Fonts", "MsgClientColor", ""), "clNavy");
  // A colour that is none gives the caller's default instead of failing.
  for (const char* junk : {"purple-ish", "", "$", "$1234567890", "-"}) {
    TReg::WriteString("Settings\\Fonts", "MsgClientColor", junk);
    EXPECT_EQ(paths.LoadWindowFont("MsgClient", platform::clBlack).Color, platform::clBlack) << junk;
  }
}

TEST(Paths, TemporaryNamesAreNewFilesWithTheirExtension) {
  TempHome home;
  TPaths paths;
  const std::string folder = paths.TmpFilesPath;
  std::set<std::string> names;
  for (int i = 0; i < 200; ++i) {
    const std::string name = paths.MakeTempFileName(folder, "cam", ".jpg");
    EXPECT_EQ(name.rfind(folder + "cam", 0), 0u) << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".jpg");
    EXPECT_TRUE(std::filesystem::exists(platform::PathFromName(name)));
    // Content put there is never handed out again.
    WriteFile(platform::PathFromName(name), "picture " + std::to_string(i));
    EXPECT_TRUE(names.insert(name).second) << name;
  }
  EXPECT_THROW(paths.MakeTempFileName(folder + "missing/deeper", "cam", ".jpg"), platform::EStreamError);
}

class PathsSoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    paths.SetSoundChannel(&channel);
    for (int i = 0; i < SoundEventCount; ++i) paths.EventSounds[i] = SoundEvent[i].DefaultFile;
  }
  // What the sink has started, once the channel has gone quiet or the count is reached.
  std::vector<std::string> Started(size_t expected) {
    WaitFor(*state, [&] { return state->started.size() >= expected; });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    std::lock_guard lock(state->mutex);
    std::vector<std::string> names;
    for (const auto& path : state->started) names.push_back(path.substr(path.find_last_of("/\\") + 1));
    return names;
  }

  TempHome home;
  TPaths paths;
  std::shared_ptr<FakeSoundSink::State> state = std::make_shared<FakeSoundSink::State>();
  platform::TSoundChannel channel{std::make_unique<FakeSoundSink>(state)};
};

TEST_F(PathsSoundTest, EventSoundsReplaceAndChatSoundsWait) {
  paths.PlayChatSound(19);                 // moo plays, held by the sink
  ASSERT_EQ(Started(1), std::vector<std::string>{"moo.wav"});
  paths.PlayChatSound(22);                 // busy: dropped
  paths.PlaySoundFile(paths.SoundsPath + "wee.wav");  // preview: dropped too
  paths.PlayEventSound(8);                 // cuts in
  EXPECT_EQ(Started(2), (std::vector<std::string>{"moo.wav", "friend.wav"}));
}

TEST_F(PathsSoundTest, SwitchNamesAndIndexesDecideWhatPlays) {
  {
    std::lock_guard lock(state->mutex);
    state->hold = false;
  }
  paths.EventSounds[0] = "none";
  paths.PlayEventSound(0);
  paths.PlayEventSound(9);
  paths.PlayEventSound(-1);
  paths.PlayChatSound(48);
  paths.PlayChatSound(-1);
  paths.NoSound = true;
  paths.PlayEventSound(1);
  paths.PlayChatSound(0);
  EXPECT_EQ(Started(0), std::vector<std::string>{});
  paths.PlaySoundFile(paths.SoundsPath + "boing.wav");  // the preview ignores the switch
  EXPECT_EQ(Started(1), std::vector<std::string>{"boing.wav"});
  paths.NoSound = false;
  paths.EventSounds[0] = "None";  // only "none" itself means silence
  std::filesystem::copy_file(home.Home() / "Sounds" / "ahem.wav", home.Home() / "Sounds" / "None");
  paths.PlayEventSound(0);
  for (int i = 0; i < 200 && channel.IsPlaying(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  paths.PlayChatSound(47);
  EXPECT_EQ(Started(3), (std::vector<std::string>{"boing.wav", "None", "yesdear.wav"}));
}

}  // namespace
