// Extraction into folders: where files land, what is refused, what is left behind.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "ZipTest_helpers.h"
#include "common/FailingDisk.h"
#include "platform/DosFiles.h"
#include "zip/ZipFileUtils.h"
#include "zip/ZipReader.h"

using namespace ziptest;

namespace {

struct Events {
  std::vector<std::pair<zip::TSkipReason, std::string>> skipped;
  std::vector<std::string> ended;
  int badCrc = 0;
  void Attach(zip::TZipReader& r) {
    r.OnSkippingFile = [this](zip::TZipReader*, zip::TSkipReason why, const std::string& name, int, bool&) {
      skipped.emplace_back(why, name);
    };
    r.OnEndUnZip = [this](zip::TZipReader*, int, const std::string& name) { ended.push_back(name); };
    r.OnBadCRC = [this](zip::TZipReader*, uint32_t, uint32_t, int) { ++badCrc; };
  }
};

std::string MakeHostile(const TempDir& tmp) {
  const std::string dir = tmp / "archives";
  Shell("mkdir -p " + Quote(dir));
  EXPECT_EQ(Shell("python3 " + Quote(SupportScript("zipcases.py")) + " hostile " + Quote(dir)), 0);
  return dir;
}

// Hostile archives change nothing outside the destination, with or without
// recreated folders, and a pre-existing link in the destination is not followed.
TEST(Extract, HostileNamesAndLinksStayInsideTheDestination) {
  for (bool recreate : {false, true}) {
    SCOPED_TRACE(recreate ? "RecreateDirs" : "flat");
    TempDir tmp;
    const std::string archives = MakeHostile(tmp);
    const std::string dest = tmp / "box/dest";
    Shell("mkdir -p " + Quote(dest) + " " + Quote(tmp / "outside") + " && ln -s " + Quote(tmp / "outside") + " " +
          Quote(dest + "/out") + " && echo keep > " + Quote(tmp / "outside/victim") + " && ln -s " +
          Quote(tmp / "outside/victim") + " " + Quote(dest + "/good.txt"));
    const auto before = ListTree(tmp / "outside");
    const auto beforeBox = ListTree(tmp / "box");
    for (const char* name : {"traversal.zip", "symlink.zip"}) {
      zip::TZipReader reader;
      Events ev;
      ev.Attach(reader);
      reader.SetZipName(archives + "/" + name);
      reader.SetDestDir(dest);
      reader.RecreateDirs = recreate;
      reader.OverwriteMode = zip::Always;
      reader.DoAll = true;
      reader.UnZip();
    }
    // An entry steered into the folder behind the link is refused too.
    Shell("cd " + Quote(tmp.Path()) + " && mkdir -p t/out && echo x > t/out/through.txt && cd t && zip -q ../via.zip out/through.txt");
    zip::TZipReader via;
    via.SetZipName(tmp / "via.zip");
    via.SetDestDir(dest);
    via.RecreateDirs = true;
    via.DoAll = true;
    EXPECT_EQ(via.UnZip(), 0);

    EXPECT_EQ(ListTree(tmp / "outside"), before);
    EXPECT_EQ(ReadFile(tmp / "outside/victim"), "keep\n");
    for (const char* evil : {"/tmp/parlo-abs-evil3.txt", "/tmp/parlo-evil10.txt"}) EXPECT_FALSE(Exists(evil)) << evil;
    for (const std::string& f : ListTree(tmp / "box")) {
      if (std::find(beforeBox.begin(), beforeBox.end(), f) != beforeBox.end()) continue;
      EXPECT_EQ(f.rfind("dest", 0), 0u) << f << " written outside the destination";
      struct stat st {};
      ASSERT_EQ(lstat((tmp / ("box/" + f)).c_str(), &st), 0);
      EXPECT_FALSE(S_ISLNK(st.st_mode)) << f << " is a link we made";
    }
    // The good entry replaced the link itself, not the file it pointed to.
    EXPECT_EQ(ReadFile(dest + "/good.txt"), "owned\n");
    // Flat, by name alone; with folders, absolute ones below dest, climbing ones refused.
    const std::vector<std::string> landed =
        recreate ? std::vector<std::string>{"tmp/parlo-abs-evil3.txt", "evil4.txt", "evil6.txt"}
                 : std::vector<std::string>{"evil1.txt", "evil2.txt", "evil5.txt", "evil7.txt", "evil8.txt"};
    for (const std::string& f : landed) EXPECT_TRUE(Exists(dest + "/" + f)) << f;
    if (recreate) {
      EXPECT_FALSE(Exists(dest + "/evil1.txt"));
    }
  }
}

TEST(Extract, LiesAndBombsAreErrorsAndLeaveNothingBehind) {
  TempDir tmp;
  const std::string archives = MakeHostile(tmp);
  const std::string dest = tmp / "dest";
  {
    zip::TZipReader reader;
    reader.SetZipName(archives + "/sizelie.zip");
    reader.SetDestDir(dest);
    reader.DoAll = true;
    EXPECT_THROW(reader.UnZip(), zip::EBiggerThanUncompressed);
    EXPECT_FALSE(reader.FileIsOK(0));
  }
  for (const char* overlap : {"/overlap-same.zip", "/overlap-inside.zip"}) {
    zip::TZipReader reader;
    reader.SetZipName(archives + overlap);
    reader.SetDestDir(dest);
    reader.DoAll = true;
    EXPECT_THROW(reader.UnZip(), zip::EBadZipFile) << overlap;
    EXPECT_EQ(reader.Count(), 0);
  }
  {
    zip::TZipReader reader;
    reader.SetZipName(archives + "/bomb.zip");
    reader.SetDestDir(dest);
    // 64 MiB honestly stated is still not taken into memory at once.
    std::vector<uint8_t> buffer;
    reader.MaxBufferAllocation = 1 << 20;
    EXPECT_THROW(reader.UnZipToBufferByIndex(buffer, 0), zip::ENotEnoughRoom);
    // The integrity test streams through a CRC and allocates nothing of the stated size.
    EXPECT_TRUE(reader.FileIsOK(0));
  }
  {
    zip::TZipReader reader;
    Events ev;
    ev.Attach(reader);
    reader.SetZipName(archives + "/truncated.zip");
    reader.SetDestDir(dest);
    reader.DoAll = true;
    EXPECT_THROW(reader.UnZip(), zip::EFatalUnzipError);
    EXPECT_FALSE(reader.FileIsOK(1));
    // Encrypted and shorter than its own header: no password opens it.
    EXPECT_FALSE(reader.FileIsOK(0));
    EXPECT_EQ(reader.Entry(0)->MatchFlag, zip::kCheckUntested);
  }
  const auto left = ListTree(dest);
  for (const std::string& f : left) EXPECT_EQ(f.find(".pzx"), std::string::npos) << "temporary file left: " << f;
  EXPECT_TRUE(left.empty() || left == std::vector<std::string>{}) << left.size();
}

// A damaged entry never replaces a good file and never leaves a partial one.
TEST(Extract, CrcMismatchKeepsTheOldFileAndCountsNothing) {
  TempDir tmp;
  WriteFile(tmp / "src/doc.txt", TextPayload(50000, 51));
  ASSERT_EQ(Shell("cd " + Quote(tmp / "src") + " && zip -q -0 ../a.zip doc.txt"), 0);
  std::string bytes = ReadFile(tmp / "a.zip");
  const size_t at = bytes.find("the", 200);
  bytes[at] = 'X';  // stored data: the change survives, the CRC no longer fits
  WriteFile(tmp / "a.zip", bytes);
  WriteFile(tmp / "dest/doc.txt", "precious");
  zip::TZipReader reader;
  Events ev;
  ev.Attach(reader);
  reader.SetZipName(tmp / "a.zip");
  reader.SetDestDir(tmp / "dest");
  reader.OverwriteMode = zip::Always;
  reader.DoAll = true;
  int complete = -1;
  reader.OnUnZipComplete = [&](zip::TZipReader*, int n) { complete = n; };
  EXPECT_EQ(reader.UnZip(), 0);
  EXPECT_EQ(complete, 0);
  EXPECT_EQ(ev.badCrc, 1);
  EXPECT_EQ(ReadFile(tmp / "dest/doc.txt"), "precious");
  EXPECT_EQ(ListTree(tmp / "dest"), std::vector<std::string>{"doc.txt"});
}

// One run tests every entry: a damaged one (data or name length) marks only
// itself bad; a header that lost its signature is read where its record says.
TEST(Extract, IntegrityTestJudgesEachEntryOnItsOwn) {
  TempDir tmp;
  const std::string script = R"(import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as z:
    for i in range(60):
        method = zipfile.ZIP_STORED if i % 3 == 0 else zipfile.ZIP_DEFLATED
        z.writestr("f%02d" % i, ("entry %d " % i) * (5 + i * 40), method)
data = bytearray(open(sys.argv[1], "rb").read())
infos = zipfile.ZipFile(sys.argv[1]).infolist()
for i in (7, 8, 30):
    data[infos[i].header_offset + 30 + 3 + infos[i].compress_size // 2] ^= 0x55
data[infos[44].header_offset] = 0x51
data[infos[50].header_offset + 26] += 1
open(sys.argv[1], "wb").write(bytes(data)))";
  ASSERT_EQ(Shell("python3 -c " + Quote(script) + " " + Quote(tmp / "a.zip")), 0);
  zip::TZipReader reader;
  reader.DoProcessMessages = false;
  reader.SetZipName(tmp / "a.zip");
  int runs = 0;
  reader.OnStartUnZipInfo = [&](zip::TZipReader*, int, double, bool&) { ++runs; };
  EXPECT_FALSE(reader.CheckArchive());
  EXPECT_EQ(runs, 1) << "the archive is tested in one run";
  for (int i = 0; i < reader.Count(); ++i) {
    const bool damaged = i == 7 || i == 8 || i == 30 || i == 50;
    EXPECT_EQ(reader.Entry(i)->MatchFlag, damaged ? zip::kCheckBad : zip::kCheckGood) << i;
  }
  // Changed since it was read, the archive is read again before the entry is tested.
  reader.ResetFileIsOK(0);
  ASSERT_EQ(Shell("touch -d 2001-01-01 " + Quote(tmp / "a.zip")), 0);
  EXPECT_TRUE(reader.FileIsOK(0));
  EXPECT_EQ(reader.Entry(0)->MatchFlag, zip::kCheckGood);
}

TEST(Extract, OverwriteModesAndReadOnlyTargets) {
  TempDir tmp;
  WriteFile(tmp / "src/f.txt", "from archive");
  // The entry is dated 2020; the existing file gets 2010 or 2030.
  ASSERT_EQ(Shell("cd " + Quote(tmp / "src") + " && touch -t 202001011200 f.txt && zip -q ../a.zip f.txt"), 0);
  struct Case {
    zip::TUZOverwriteMode mode;
    const char* existingDate;
    bool prompt;
    bool replaced;
  };
  const Case cases[] = {{zip::Always, "201001011200", false, true},   {zip::Never, "201001011200", false, false},
                        {zip::ifNewer, "201001011200", false, true},  {zip::ifNewer, "203001011200", false, false},
                        {zip::ifNewer, "202001011200", false, false}, {zip::ifOlder, "203001011200", false, true},
                        {zip::ifOlder, "201001011200", false, false}, {zip::Prompt, "201001011200", true, true},
                        {zip::Prompt, "201001011200", false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.mode) + " " + c.existingDate + (c.prompt ? " yes" : " no"));
    WriteFile(tmp / "dest/f.txt", "old");
    Shell("touch -t " + std::string(c.existingDate) + " " + Quote(tmp / "dest/f.txt"));
    zip::TZipReader reader;
    Events ev;
    ev.Attach(reader);
    reader.SetZipName(tmp / "a.zip");
    reader.SetDestDir(tmp / "dest");
    reader.OverwriteMode = c.mode;
    reader.DoAll = true;
    int asked = 0;
    reader.OnPromptForOverwrite = [&](zip::TZipReader*, bool& overwrite, int, std::string&) {
      ++asked;
      overwrite = c.prompt;
    };
    EXPECT_EQ(reader.UnZip(), c.replaced ? 1 : 0);
    EXPECT_EQ(ReadFile(tmp / "dest/f.txt"), c.replaced ? "from archive" : "old");
    EXPECT_EQ(asked, c.mode == zip::Prompt ? 1 : 0);
    if (!c.replaced) {
      ASSERT_EQ(ev.skipped.size(), 1u);
      EXPECT_EQ(ev.skipped[0].first, zip::srNoOverwrite);
    }
  }
  for (bool replaceReadOnly : {false, true}) {
    WriteFile(tmp / "dest/f.txt", "old");
    Shell("chmod a-w " + Quote(tmp / "dest/f.txt"));
    zip::TZipReader reader;
    Events ev;
    ev.Attach(reader);
    reader.SetZipName(tmp / "a.zip");
    reader.SetDestDir(tmp / "dest");
    reader.OverwriteMode = zip::Always;
    reader.ReplaceReadOnly = replaceReadOnly;
    reader.DoAll = true;
    EXPECT_EQ(reader.UnZip(), replaceReadOnly ? 1 : 0);
    EXPECT_EQ(ReadFile(tmp / "dest/f.txt"), replaceReadOnly ? "from archive" : "old");
    // What replaced a read-only file is no longer read-only.
    EXPECT_EQ(platform::FileGetAttr(tmp / "dest/f.txt") & platform::faReadOnly,
              replaceReadOnly ? 0 : platform::faReadOnly);
    if (!replaceReadOnly) {
      ASSERT_EQ(ev.skipped.size(), 1u);
      EXPECT_EQ(ev.skipped[0].first, zip::srCreateError);
    }
    Shell("chmod u+w " + Quote(tmp / "dest/f.txt"));
  }
}

// A full disk stops the run at the first file it cannot take; the files
// before it stay, and nothing half written is left. Free space is not
// guessed beforehand.
TEST(Extract, AFullDiskKeepsWhatFitAndStopsAtTheFirstFileThatDoesNot) {
  TempDir tmp;
  WriteFile(tmp / "src/a.bin", BinaryPayload(40000, 81));
  WriteFile(tmp / "src/b.bin", BinaryPayload(200000, 82));
  WriteFile(tmp / "src/c.bin", BinaryPayload(40000, 83));
  ASSERT_EQ(Shell("cd " + Quote(tmp / "src") + " && zip -q ../a.zip a.bin b.bin c.bin"), 0);
  Shell("mkdir -p " + Quote(tmp / "dest"));
  const std::string said =
      testing_support::WriteUnderFault(testing_support::DiskFault::SizeLimit, tmp / "dest", [&]() -> std::string {
        platform::SetDiskFreeProbe([](const std::string&) { return int64_t(100000); });
        zip::TZipReader reader;
        int ended = 0;
        reader.OnEndUnZip = [&](zip::TZipReader*, int, const std::string&) { ++ended; };
        reader.SetZipName(tmp / "a.zip");
        reader.SetDestDir(tmp / "dest");
        reader.DoAll = true;
        try {
          reader.UnZip();
        } catch (const zip::ECantWriteUCF& e) {
          return std::to_string(ended) + " " + e.what();
        }
        return "no failure";
      },
      100000);
  EXPECT_EQ(said, "1 Cant write uncompressed file");
  EXPECT_EQ(ListTree(tmp / "dest"), std::vector<std::string>{"a.bin"});
  EXPECT_EQ(ReadFile(tmp / "dest/a.bin"), ReadFile(tmp / "src/a.bin"));
}

// A decoder may stop before its stream is used up (a stream ending in a
// flush, an entry with no data); what it wrote is judged by the CRC and the
// size. Python's zipfile reads the same bytes.
TEST(Extract, WhatTheDecoderWroteIsJudgedByCrcAndSize) {
  TempDir tmp;
  Shell("mkdir -p " + Quote(tmp / "zips"));
  ASSERT_EQ(Shell("python3 " + Quote(SupportScript("zipcases.py")) + " stopshort " + Quote(tmp / "zips")), 0);
  const std::string archive = tmp / "zips/stopshort.zip";
  ASSERT_EQ(Shell("cd " + Quote(tmp.Path()) + " && python3 -c 'import sys, zipfile; " +
                  "zipfile.ZipFile(sys.argv[1]).extract(\"synced.txt\", \"py\")' " + Quote(archive)),
            0);
  zip::TZipReader reader;
  Events ev;
  ev.Attach(reader);
  std::vector<std::pair<uint32_t, uint32_t>> crcs;
  reader.OnBadCRC = [&](zip::TZipReader*, uint32_t calc, uint32_t stored, int) { crcs.emplace_back(calc, stored); };
  reader.SetZipName(archive);
  reader.SetDestDir(tmp / "dest");
  reader.DoAll = true;
  EXPECT_EQ(reader.UnZip(), 7);
  EXPECT_EQ(ReadFile(tmp / "dest/synced.txt"), ReadFile(tmp / "py/synced.txt"));
  EXPECT_EQ(ReadFile(tmp / "dest/synced.txt").size(), 1300u);
  for (const char* m : {"0", "1", "2", "5", "6", "8"}) {
    EXPECT_TRUE(Exists(tmp / ("dest/empty" + std::string(m) + ".bin"))) << m;
    EXPECT_EQ(ReadFile(tmp / ("dest/empty" + std::string(m) + ".bin")), "") << m;
  }
  // Half the stated size with the CRC of that half: no whole entry.
  ASSERT_EQ(crcs.size(), 1u);
  EXPECT_EQ(crcs[0].first, crcs[0].second);
  EXPECT_FALSE(Exists(tmp / "dest/short.txt"));
  EXPECT_FALSE(reader.CheckArchive());
  EXPECT_TRUE(reader.FileIsOK(0));
}

TEST(Extract, SelectionFoldersAndDates) {
  TempDir tmp;
  WriteFile(tmp / "src/a.txt", "A");
  WriteFile(tmp / "src/dir/b.txt", "B");
  WriteFile(tmp / "src/dir/c.bin", "C");
  ASSERT_EQ(Shell("cd " + Quote(tmp / "src") + " && touch -t 201506071234.56 a.txt && zip -q -r ../a.zip a.txt dir"), 0);
  struct Case {
    std::vector<std::string> patterns;
    bool doAll, recreate;
    std::vector<std::string> tree;
  };
  const Case cases[] = {
      {{}, false, false, {}},
      {{"*.TXT"}, false, false, {"a.txt", "b.txt"}},
      {{"dir\\<b-c>.*"}, false, true, {"dir", "dir/b.txt", "dir/c.bin"}},
      {{}, true, true, {"a.txt", "dir", "dir/b.txt", "dir/c.bin"}},
  };
  for (const Case& c : cases) {
    TempDir out;
    zip::TZipReader reader;
    reader.SetZipName(tmp / "a.zip");
    reader.SetDestDir(out.Path());
    reader.FilesList = c.patterns;
    reader.DoAll = c.doAll;
    reader.RecreateDirs = c.recreate;
    reader.UnZip();
    EXPECT_EQ(ListTree(out.Path()), c.tree);
    EXPECT_TRUE(reader.FilesList.empty());
  }
  for (bool doAll : {false, true}) {
    // The selected entry, its mark taken; with DoAll every entry besides.
    TempDir out;
    zip::TZipReader reader;
    reader.SetZipName(tmp / "a.zip");
    reader.SetDestDir(out.Path());
    reader.ReadZip();
    for (int i = 0; i < reader.Count(); ++i) reader.SetSelected(i, reader.Filename(i) == "b.txt");
    reader.DoAll = doAll;
    EXPECT_EQ(reader.UnZipSelected(), doAll ? 3 : 1);
    EXPECT_EQ(reader.SelectedCount(), 0);
  }
  TempDir out;
  zip::TZipReader reader;
  reader.SetZipName(tmp / "a.zip");
  reader.SetDestDir(out.Path());
  reader.DoAll = true;
  reader.UnZip();
  // Ordinary permissions for ordinary files; a read-only entry stays read-only.
  const mode_t mask = umask(022);
  umask(mask);
  struct stat st {};
  ASSERT_EQ(stat((out / "a.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
  WriteFile(tmp / "ro/locked.txt", "L");
  ASSERT_EQ(Shell("cd " + Quote(tmp / "ro") + " && chmod a-w locked.txt && zip -q ../ro.zip locked.txt"), 0);
  zip::TZipReader ro;
  ro.SetZipName(tmp / "ro.zip");
  ro.SetDestDir(out.Path());
  ro.DoAll = true;
  EXPECT_EQ(ro.UnZip(), 1);
  ASSERT_EQ(stat((out / "locked.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  const auto dos = platform::FileDosDate(out / "a.txt");
  ASSERT_TRUE(dos.has_value());
  const platform::TDosFields f = platform::SplitDosDateTime(*dos);
  EXPECT_EQ(f.year, 2015);
  EXPECT_EQ(f.month, 6);
  EXPECT_EQ(f.minute, 34);
  EXPECT_EQ(f.second, 56);
}

// A cancelled test or a missing password says nothing about the entry's health.
TEST(Extract, PasswordsAndUnknownOutcomes) {
  TempDir tmp;
  WriteFile(tmp / "src/secret.txt", TextPayload(10000, 61));
  ASSERT_EQ(Shell("cd " + Quote(tmp / "src") + " && zip -q -P right ../a.zip secret.txt"), 0);
  zip::TZipReader reader;
  Events ev;
  ev.Attach(reader);
  reader.SetZipName(tmp / "a.zip");
  reader.ReadZip();
  EXPECT_FALSE(reader.FileIsOK(0));
  EXPECT_EQ(reader.Entry(0)->MatchFlag, zip::kCheckUntested);
  ASSERT_FALSE(ev.skipped.empty());
  EXPECT_EQ(ev.skipped.back().first, zip::srBadPassword);

  std::vector<std::string> offered = {"wrong", "right"};
  reader.OnBadPassword = [&](zip::TZipReader*, int, std::string& pw) {
    if (!offered.empty()) pw = offered.front(), offered.erase(offered.begin());
  };
  std::vector<uint8_t> out;
  EXPECT_EQ(reader.UnZipToBufferByIndex(out, 0), 1);
  EXPECT_EQ(std::string(out.begin(), out.end()), ReadFile(tmp / "src/secret.txt"));
  EXPECT_EQ(reader.Password, "right");
  uint8_t header[12];
  reader.GetDecryptHeaderPtr(0, header);
  EXPECT_EQ(zip::DecryptHeaderByte("right", header),
            zip::CryptCheckByte(reader.Entry(0)->Flags, reader.Entry(0)->DateTime, reader.Crc(0)));

  WriteFile(tmp / "src/big.bin", BinaryPayload(400000, 62));
  ASSERT_EQ(Shell("cd " + Quote(tmp / "src") + " && zip -q -0 -P right ../big.zip big.bin"), 0);
  zip::TZipReader cancelled;
  cancelled.SetZipName(tmp / "big.zip");
  cancelled.ReadZip();
  cancelled.Password = "right";
  cancelled.OnFilePercentDone = [](zip::TZipReader* r, int) { r->CancelTheOperation(); };
  EXPECT_THROW(cancelled.FileIsOK(0), zip::EUserCanceled);
  EXPECT_EQ(cancelled.Entry(0)->MatchFlag, zip::kCheckUntested);

  // In one run over the archive, a good entry's outcome is not the next
  // one's: an entry no password opens stays untested, and the archive is
  // not found sound.
  ASSERT_EQ(Shell("cd " + Quote(tmp / "src") + " && zip -q ../mixed.zip big.bin && zip -q -P right ../mixed.zip " +
                  "secret.txt"),
            0);
  zip::TZipReader mixed;
  mixed.SetZipName(tmp / "mixed.zip");
  EXPECT_FALSE(mixed.CheckArchive());
  EXPECT_EQ(mixed.Entry(0)->MatchFlag, zip::kCheckGood);
  EXPECT_EQ(mixed.Entry(1)->MatchFlag, zip::kCheckUntested);
}

}  // namespace

namespace {

TEST(Extract, StreamsBuffersInPiecesAndListing) {
  TempDir tmp;
  const std::string body = TextPayload(2500, 71);
  WriteFile(tmp / "src/piece.txt", body);
  WriteFile(tmp / "src/other.bin", BinaryPayload(100, 72));
  WriteFile(tmp / "src/empty.txt", "");
  ASSERT_EQ(Shell("cd " + Quote(tmp / "src") +
                  " && touch -t 201506071234.56 piece.txt && zip -q -9 ../a.zip piece.txt other.bin empty.txt"),
            0);
  zip::TZipReader reader;
  reader.SetZipName(tmp / "a.zip");

  zip::TMemoryStream stream;
  EXPECT_EQ(reader.UnZipToStream(&stream, "P*.TXT"), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(stream.Memory()), static_cast<size_t>(stream.Size())), body);

  // Memory output in pieces of 1000 bytes: the handler sees each piece, told to quit
  // only with the last.
  reader.BufferLength = 1000;
  std::string joined;
  std::vector<std::pair<int, bool>> calls;
  reader.OnGetNextBuffer = [&](zip::TZipReader*, std::vector<uint8_t>& buf, const std::string&, int used, int number,
                               bool& quit) {
    joined.append(reinterpret_cast<char*>(buf.data()), static_cast<size_t>(used));
    calls.emplace_back(used, quit);
    EXPECT_EQ(number, static_cast<int>(calls.size()));
  };
  std::vector<uint8_t> buffer;
  EXPECT_EQ(reader.UnZipToBufferByIndex(buffer, 0), 1);
  EXPECT_EQ(joined, body);
  EXPECT_EQ(calls, (std::vector<std::pair<int, bool>>{{1000, false}, {1000, false}, {500, true}}));
  // An entry without data is one empty piece, the last.
  calls.clear();
  EXPECT_EQ(reader.UnZipToBuffer(buffer, "empty.txt"), 1);
  EXPECT_EQ(calls, (std::vector<std::pair<int, bool>>{{0, true}}));
  reader.OnGetNextBuffer = [](zip::TZipReader*, std::vector<uint8_t>&, const std::string&, int, int, bool& quit) {
    quit = true;
  };
  EXPECT_THROW(reader.UnZipToBufferByIndex(buffer, 0), zip::EUserCanceled);

  std::vector<std::string> lines;
  reader.FillList(lines);
  ASSERT_EQ(lines.size(), 3u);
  char expect[200];
  std::snprintf(expect, sizeof expect, "piece.txt\t06/07/15\t12:34pm\t    2500\t%8d\t%3d%%\tdef\t",
                static_cast<int>(reader.CompressedSize(0)), zip::CRate(2500, reader.CompressedSize(0)));
  EXPECT_EQ(lines[0], expect);
}

}  // namespace
