#include "zip/ZipReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "ZipTest_helpers.h"
#include "platform/DosFiles.h"
#include "zip/ZipWriter.h"

using namespace ziptest;

namespace {

// A package as the outgoing-transfer window makes one: bare names, best compression.
TEST(ZipReader, UnpacksAPackageWithTheTransferWindowsEvents) {
  TempDir tmp;
  std::map<std::string, std::string> files = {{"photo.bin", BinaryPayload(300000, 1)},
                                              {"notes.txt", TextPayload(120000, 2)},
                                              {"empty.dat", ""}};
  std::string names;
  for (auto& [name, bytes] : files) {
    WriteFile(tmp / ("src/" + name), bytes);
    names += " " + Quote(tmp / ("src/" + name));
  }
  ASSERT_EQ(Shell("zip -q -j -9 " + Quote(tmp / "pkg.zip") + names), 0);

  zip::TZipReader reader;
  reader.ReplaceReadOnly = true;
  reader.SetZipName(tmp / "pkg.zip");
  reader.SetDestDir(tmp / "in");
  reader.DoAll = true;
  std::vector<std::string> started, ended;
  std::vector<int64_t> sizes;
  int completeCount = -1, lastPercent = -1, fileReports = 0;
  reader.OnStartUnZip = [&](zip::TZipReader*, int, std::string& fname, bool&) { started.push_back(fname); };
  reader.OnEndUnZip = [&](zip::TZipReader* r, int index, const std::string& fname) {
    ended.push_back(fname);
    sizes.push_back(r->UnCompressedSize(index));
  };
  reader.OnTotalPercentDone = [&](zip::TZipReader*, int p) { lastPercent = p; };
  reader.OnFilePercentDone = [&](zip::TZipReader*, int) { ++fileReports; };
  reader.OnUnZipComplete = [&](zip::TZipReader*, int count) { completeCount = count; };
  EXPECT_EQ(reader.UnZip(), 3);
  EXPECT_EQ(completeCount, 3);
  EXPECT_EQ(fileReports, 10 + 4) << "one report per 32 KiB of output and one for the rest";
  EXPECT_EQ(lastPercent, 100);
  ASSERT_EQ(ended.size(), 3u);
  EXPECT_EQ(started, ended);
  for (size_t i = 0; i < ended.size(); ++i) {
    const std::string base = ended[i].substr(ended[i].find_last_of("\\/") + 1);
    EXPECT_EQ(ended[i], tmp.Path() + "/in\\" + base);
    EXPECT_EQ(ReadFile(tmp / ("in/" + base)), files[base]) << base;
    EXPECT_EQ(sizes[i], static_cast<int64_t>(files[base].size()));
  }
  EXPECT_TRUE(reader.FilesList.empty());
}

// UnZip tells why an archive could not be read, as ReadZip does.
TEST(ZipReader, MissingOrForeignArchiveIsAnErrorOfUnZip) {
  TempDir tmp;
  WriteFile(tmp / "junk.zip", TextPayload(5000, 3));
  for (const std::string& name : {tmp / "missing.zip", tmp / "junk.zip"}) {
    zip::TZipReader reader;
    reader.SetZipName(name);
    reader.SetDestDir(tmp / "out");
    reader.DoAll = true;
    try {
      reader.UnZip();
      ADD_FAILURE() << name << " unpacked";
    } catch (const zip::EIncompleteZip&) {
      EXPECT_EQ(name, tmp / "junk.zip");
    } catch (const platform::EStreamError& e) {
      EXPECT_EQ(name, tmp / "missing.zip") << e.what();
    }
    EXPECT_FALSE(reader.Busy());
  }
  EXPECT_FALSE(Exists(tmp / "out"));
}

}  // namespace

namespace {

// A small tree of files: text, binary, empty, and one in a sub-folder.
void MakeTree(const TempDir& tmp) {
  WriteFile(tmp / "tree/readme.txt", TextPayload(40000, 41));
  WriteFile(tmp / "tree/data.bin", BinaryPayload(70000, 42));
  WriteFile(tmp / "tree/empty.txt", "");
  WriteFile(tmp / "tree/sub/deep.txt", TextPayload(3000, 43));
}

std::string Hex(const std::string& s) {
  static const char* d = "0123456789abcdef";
  std::string h;
  for (unsigned char c : s) h += d[c >> 4], h += d[c & 15];
  return h;
}

// What our directory read gives, in the form of the Python listing.
std::string OurListing(zip::TZipReader& r) {
  char buf[256];
  std::string text = "comment\t" + Hex(r.ZipComment()) + "\n";
  for (int i = 0; i < r.Count(); ++i) {
    const zip::TZipHeaderInfo* e = r.Entry(i);
    std::string name = e->FullName();
    for (char& c : name)
      if (c == '\\') c = '/';
    std::snprintf(buf, sizeof buf, "\t%08x\t%u\t%u\t%u\t%u\t%08x\t", e->CRC32, e->CompressedSize,
                  e->UncompressedSize, e->CompressionMethod, e->Flags, e->DateTime);
    text += name + buf + Hex(r.FileComment(i));
    std::snprintf(buf, sizeof buf, "\t%u\t%u\t%08x\t%u\n", e->ExtraFieldLength, e->VersionMadeBy >> 8,
                  e->ExternalAttributes, e->RelativeOffset);
    text += buf;
  }
  return text;
}

struct ArchiveCase {
  std::string label;
  std::string command;  // run in the temporary folder; makes a.zip
  std::string password;
};

// Every archive is made by Info-ZIP or Python: our directory read must list what
// Python's zipfile lists, and every entry must unpack to exactly what unzip -p gives.
TEST(ZipReader, DirectoryAndContentsMatchTheOutsideTools) {
  std::vector<ArchiveCase> cases;
  for (int level : {0, 1, 6, 9})
    cases.push_back({"level " + std::to_string(level), "zip -q -r -" + std::to_string(level) + " a.zip tree", ""});
  cases.push_back({"encrypted", "zip -q -r -P s3cret a.zip tree", "s3cret"});
  cases.push_back({"encrypted stored", "zip -q -r -0 -P s3cret a.zip tree", "s3cret"});
  cases.push_back({"no extra fields", "zip -q -r -X a.zip tree", ""});
  cases.push_back({"comments",
                   "zip -q -r a.zip tree && printf 'archive note\\n' | zip -q -z a.zip && "
                   "printf 'one\\ntwo\\nthree\\nfour\\nfive\\nsix\\n' | zip -q -c a.zip tree/readme.txt tree/data.bin",
                   ""});
  cases.push_back({"streamed", "zip -q -r - tree | cat > a.zip", ""});
  cases.push_back({"streamed encrypted", "zip -q -r -P pw - tree | cat > a.zip", "pw"});
  cases.push_back({"stdin entry", "cat tree/data.bin | zip -q -fz- a.zip -", ""});
  cases.push_back({"prefix, offsets not adjusted", "zip -q -r b.zip tree && (head -c 5000 tree/data.bin; cat b.zip) > a.zip", ""});
  cases.push_back({"prefix, offsets adjusted",
                   "zip -q -r b.zip tree && (head -c 777 tree/readme.txt; cat b.zip) > a.zip && zip -q -A a.zip", ""});
  cases.push_back({"65535-byte comment",
                   "zip -q -r a.zip tree && python3 -c \"import zipfile; z = zipfile.ZipFile('a.zip', 'a'); "
                   "z.comment = b'c' * 65535; z.close()\"",
                   ""});
  cases.push_back({"python deflated",
                   "python3 -c \"import zipfile; z = zipfile.ZipFile('a.zip', 'w', zipfile.ZIP_DEFLATED); "
                   "z.write('tree/readme.txt'); z.write('tree/data.bin', 'x/y/data.bin'); "
                   "z.writestr('note.txt', 'hello', compress_type=zipfile.ZIP_STORED); z.close()\"",
                   ""});
  // Every archive first, so that one Python run lists them all.
  std::vector<std::unique_ptr<TempDir>> dirs;
  std::string archives;
  for (const ArchiveCase& c : cases) {
    dirs.push_back(std::make_unique<TempDir>());
    MakeTree(*dirs.back());
    ASSERT_EQ(Shell("cd " + Quote(dirs.back()->Path()) + " && " + c.command), 0) << c.label;
    archives += " " + Quote(*dirs.back() / "a.zip");
  }
  std::string listings;
  ASSERT_EQ(Shell("python3 " + Quote(SupportScript("zipcases.py")) + " list" + archives, &listings), 0);
  for (size_t k = 0; k < cases.size(); ++k) {
    const ArchiveCase& c = cases[k];
    SCOPED_TRACE(c.label);
    const TempDir& tmp = *dirs[k];
    const std::string archive = tmp / "a.zip";
    const size_t end = listings.find("--\n");
    ASSERT_NE(end, std::string::npos);
    const std::string expected = listings.substr(0, end);
    listings.erase(0, end + 3);

    zip::TZipReader reader;
    reader.SetZipName(archive);
    reader.ReadZip();
    EXPECT_EQ(OurListing(reader), expected);

    reader.Password = c.password;
    // unzip warns (status 1) about bytes in front of an archive whose offsets ignore them.
    ASSERT_LE(Shell("unzip -qq -o " + (c.password.empty() ? std::string() : "-P " + c.password + " ") +
                    Quote(archive) + " -d " + Quote(tmp / "unzipped")),
              1);
    for (int i = 0; i < reader.Count(); ++i) {
      if (reader.Filename(i).empty()) continue;
      std::string name = reader.Fullname(i);
      for (char& ch : name)
        if (ch == '\\') ch = '/';
      ASSERT_TRUE(Exists(tmp / ("unzipped/" + name))) << name;
      const std::string want = ReadFile(tmp / ("unzipped/" + name));
      std::vector<uint8_t> got;
      EXPECT_EQ(reader.UnZipToBufferByIndex(got, i), 1) << name;
      EXPECT_EQ(std::string(got.begin(), got.end()), want) << name;
      EXPECT_TRUE(reader.FileIsOK(i)) << name;
    }
  }
}

TEST(ZipReader, ScansLocalHeadersWhenTheDirectoryIsGone) {
  TempDir tmp;
  MakeTree(tmp);
  // A streamed archive cut before its central directory: the sizes live only in the
  // data descriptors that follow each entry.
  ASSERT_EQ(Shell("cd " + Quote(tmp.Path()) + " && zip -q -r - tree | cat > full.zip"), 0);
  std::string full = ReadFile(tmp / "full.zip");
  const size_t central = full.find("PK\x01\x02");
  ASSERT_NE(central, std::string::npos);
  WriteFile(tmp / "cut.zip", full.substr(0, central));
  zip::TZipReader whole;
  whole.SetZipName(tmp / "full.zip");
  whole.ReadZip();

  zip::TZipReader reader;
  reader.SetZipName(tmp / "cut.zip");
  EXPECT_THROW(reader.ReadZip(), zip::EIncompleteZip);  // the default: a part of a multi-part set
  reader.SetZipName(tmp / "cut.zip");
  reader.OnInCompleteZip = [](zip::TZipReader*, zip::TIncompleteZipMode& mode) { mode = zip::izAssumeBad; };
  reader.ReadZip();
  EXPECT_EQ(reader.IncompleteZipMode, zip::izAssumeBad);  // the handler's answer is the setting
  ASSERT_EQ(reader.Count(), whole.Count());
  for (int i = 0; i < reader.Count(); ++i) {
    SCOPED_TRACE(whole.Fullname(i));
    EXPECT_EQ(reader.Fullname(i), whole.Fullname(i));
    EXPECT_EQ(reader.Crc(i), whole.Crc(i));
    EXPECT_EQ(reader.CompressedSize(i), whole.CompressedSize(i));
    EXPECT_EQ(reader.UnCompressedSize(i), whole.UnCompressedSize(i));
    EXPECT_TRUE(reader.FileIsOK(i));
  }
  zip::TZipReader notZip;
  notZip.IncompleteZipMode = zip::izAssumeNotAZip;
  notZip.SetZipName(tmp / "cut.zip");
  EXPECT_THROW(notZip.ReadZip(), zip::ENotAZipFile);
}

TEST(ZipReader, EdgeArchivesAndIndexErrors) {
  TempDir tmp;
  WriteFile(tmp / "empty.zip", "");
  zip::TZipReader reader;
  reader.SetZipName(tmp / "empty.zip");
  reader.ReadZip();
  EXPECT_EQ(reader.Count(), 0);
  try {
    reader.Entry(0);
    ADD_FAILURE() << "no exception";
  } catch (const platform::EListError& e) {
    EXPECT_STREQ(e.what(), "Index 0 is out of range");
  }
  // An end record that names disk 1000 is no end record.
  std::string rec = std::string("PK\x05\x06", 4) + std::string("\xE8\x03\xE8\x03", 4) + std::string(14, '\0');
  WriteFile(tmp / "disk1000.zip", rec);
  reader.SetZipName(tmp / "disk1000.zip");
  reader.IncompleteZipMode = zip::izAssumeNotAZip;
  EXPECT_THROW(reader.ReadZip(), zip::ENotAZipFile);
  EXPECT_EQ(reader.Count(), 0);
  // Too many entries is an error before anything is read further.
  for (const char* f : {"1", "2", "3", "4"}) WriteFile(tmp / (std::string("many/") + f), f);
  ASSERT_EQ(Shell("cd " + Quote(tmp / "many") + " && zip -q ../many.zip 1 2 3 4"), 0);
  zip::TZipReader limited;
  limited.MaxEntryCount = 3;
  limited.SetZipName(tmp / "many.zip");
  EXPECT_THROW(limited.ReadZip(), zip::EBadZipFile);
  limited.SetDestDir(tmp / "many-out");
  limited.DoAll = true;
  EXPECT_THROW(limited.UnZip(), zip::EBadZipFile);
  EXPECT_FALSE(Exists(tmp / "many-out"));
  // A record that states an extra field it lacks: the length is taken as 0.
  ASSERT_EQ(Shell("cd " + Quote(tmp / "many") + " && zip -q -X ../lie.zip 1 2"), 0);
  std::string lie = ReadFile(tmp / "lie.zip");
  const size_t first = lie.find("PK\x01\x02");
  ASSERT_NE(first, std::string::npos);
  lie[first + 30] = 4;
  WriteFile(tmp / "lie.zip", lie);
  zip::TZipReader liar;
  liar.SetZipName(tmp / "lie.zip");
  liar.ReadZip();
  ASSERT_EQ(liar.Count(), 2);
  EXPECT_EQ(liar.Entry(0)->ExtraFieldLength, 0);
  EXPECT_NE(liar.ExternalFileAttributes(1), 0u);  // read from the directory, not the local headers
  reader.SetDestDir("C:\\out\\");
  EXPECT_EQ(reader.DestDir(), "C:\\out");
}

}  // namespace

namespace {

// Every index of the public operations refers to the chosen order.
TEST(ZipReader, IndexesFollowTheSortOrder) {
  TempDir tmp;
  for (const char* n : {"c.txt", "a.txt", "b.txt"}) WriteFile(tmp / (std::string("s/") + n), std::string(n) + " body");
  ASSERT_EQ(Shell("cd " + Quote(tmp / "s") + " && zip -q ../a.zip c.txt a.txt b.txt"), 0);
  zip::TZipReader reader;
  reader.SetZipName(tmp / "a.zip");
  reader.ReadZip();
  EXPECT_EQ(reader.Filename(0), "c.txt");
  reader.Sort(zip::ByName);
  std::vector<std::string> names;
  for (int i = 0; i < reader.Count(); ++i) names.push_back(reader.Filename(i));
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
  std::vector<uint8_t> out;
  EXPECT_EQ(reader.UnZipToBufferByIndex(out, 1), 1);
  EXPECT_EQ(std::string(out.begin(), out.end()), "b.txt body");
  reader.Sort(zip::ByNone);
  EXPECT_EQ(reader.Filename(0), "c.txt");
}

}  // namespace

namespace {

namespace fs = std::filesystem;

// A device tree in which the file system holding `path` is a partition of a
// disk, removable or not, as the kernel lays it out; the system's tree is back
// afterwards.
class DeviceTree {
 public:
  DeviceTree(const std::string& path, bool removable) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    fs::create_directories(tree_ / "devices/stick/stick1");
    WriteFile(tree_ / "devices/stick/removable", removable ? "1\n" : "0\n");
    fs::create_directories(tree_ / "dev/block");
    fs::create_directory_symlink("../../devices/stick/stick1",
                                 tree_ / ("dev/block/" + std::to_string(major(st.st_dev)) + ":" +
                                          std::to_string(minor(st.st_dev))));
    platform::SetDeviceTreeRoot(tree_.Path());
  }
  ~DeviceTree() { platform::SetDeviceTreeRoot(""); }

 private:
  TempDir tree_;
};

// Files large enough to run over several parts, and small ones that share a part.
std::map<std::string, std::string> SetSources() {
  return {{"notes.txt", TextPayload(150000, 11)},
          {"photo.bin", BinaryPayload(400000, 12)},
          {"a.txt", "a"},
          {"empty.dat", ""},
          {"b.txt", TextPayload(3000, 13)}};
}

std::string WriteSources(const TempDir& tmp, const std::map<std::string, std::string>& files) {
  std::string names;
  for (const auto& [name, bytes] : files) {
    WriteFile(tmp / ("src/" + name), bytes);
    names += " " + Quote(tmp / ("src/" + name));
  }
  return names;
}

std::vector<std::string> PartsIn(const std::string& dir) {
  std::vector<std::string> parts;
  for (const auto& e : fs::directory_iterator(dir)) parts.push_back(e.path().filename().string());
  std::sort(parts.begin(), parts.end());
  return parts;
}

// Info-ZIP names its parts .z01, .z02 ... and the last .zip; ours count .001, .002 ...
void RenameInfoZipParts(const std::string& dir, const std::string& stem) {
  std::vector<std::string> parts = PartsIn(dir);
  for (size_t i = 0; i < parts.size(); ++i) {
    char ext[32];
    std::snprintf(ext, sizeof ext, ".%03d", static_cast<int>(i + 1));
    const std::string from = i + 1 == parts.size() ? stem + ".zip" : parts[i];
    fs::rename(dir + "/" + from, dir + "/" + stem + "_" + ext);
  }
  for (size_t i = 0; i < parts.size(); ++i) {
    char ext[32];
    std::snprintf(ext, sizeof ext, ".%03d", static_cast<int>(i + 1));
    fs::rename(dir + "/" + stem + "_" + ext, dir + "/" + stem + ext);
  }
}

// Sets written by our writer and by Info-ZIP, as numbered blocks, one file per
// disk (read as spanned when the disks are on a removable drive), and through the
// configuration file beside the first part: every one lists its entries and
// extracts them byte for byte, asking for each part in turn.
TEST(ZipReader, MultiPartSetsExtractAcrossTheirParts) {
  TempDir tmp;
  const std::map<std::string, std::string> files = SetSources();
  const std::string names = WriteSources(tmp, files);
  enum TMaker { kOurs, kOursManyRecords, kInfoZip, kInfoZipEncrypted, kInfoZipDisks, kInfoZipRemovable, kOursConfig };
  for (TMaker maker :
       {kOurs, kOursManyRecords, kInfoZip, kInfoZipEncrypted, kInfoZipDisks, kInfoZipRemovable, kOursConfig}) {
    SCOPED_TRACE(maker);
    TempDir out;
    std::map<std::string, std::string> expect = files;
    std::string open;                    // the name the reader is given
    std::vector<std::string> diskFiles;  // one file per disk: the caller names them
    if (maker == kOurs || maker == kOursManyRecords || maker == kOursConfig) {
      zip::TZipWriter writer;
      writer.MultiZipInfo().MultiMode = zip::mmBlocks;
      writer.MultiZipInfo().FirstBlockSize = maker == kOursManyRecords ? 2000 : 40000;
      writer.MultiZipInfo().BlockSize = maker == kOursManyRecords ? 1100 : 30000;
      writer.MultiZipInfo().SaveZipInfoOnFirstDisk = maker == kOursConfig;
      writer.SetZipName(out / "set.zip");
      if (maker == kOursManyRecords) {
        // Central records long enough that the directory runs over several parts.
        expect.clear();
        for (int i = 0; i < 40; ++i) {
          const std::string name = "record-with-a-long-name-to-fill-parts-" + std::to_string(i) + ".txt";
          expect[name] = TextPayload(40 + i, 20 + i);
          WriteFile(tmp / ("many/" + name), expect[name]);
          writer.FilesList.push_back(tmp / ("many/" + name));
        }
      } else {
        for (const auto& [name, bytes] : files) writer.FilesList.push_back(tmp / ("src/" + name));
      }
      ASSERT_EQ(writer.Zip(), static_cast<int>(expect.size()));
      open = maker == kOursConfig ? out / "set.001" : writer.ZipName();
    } else {
      const std::string password = maker == kInfoZipEncrypted ? " -P s3cret" : "";
      ASSERT_EQ(Shell("cd " + Quote(out.Path()) + " && zip -q -j -s 64k" + password + " set.zip" + names), 0);
      RenameInfoZipParts(out.Path(), "set");
      const std::vector<std::string> parts = PartsIn(out.Path());
      open = out / parts.back();
      if (maker == kInfoZipDisks || maker == kInfoZipRemovable) {
        // Each disk holds a file of the archive's own name.
        for (size_t i = 0; i < parts.size(); ++i) {
          const std::string disk = out / ("disk" + std::to_string(i + 1));
          fs::create_directories(disk);
          fs::rename(out / parts[i], disk + "/set.zip");
          diskFiles.push_back(disk + "/set.zip");
        }
        open = diskFiles.back();
      }
    }
    const size_t partCount = PartsIn(out.Path()).size();
    ASSERT_GE(partCount, 3u);

    const DeviceTree drive(out.Path(), maker == kInfoZipRemovable);
    zip::TZipReader reader;
    reader.SetZipName(open);
    if (maker == kInfoZipEncrypted) reader.Password = "s3cret";
    std::vector<int> asked;
    if (!diskFiles.empty()) {
      reader.OnGetNextDisk = [&](zip::TZipReader*, int disk, std::string& name) {
        asked.push_back(disk);
        name = diskFiles.at(static_cast<size_t>(disk - 1));
      };
    }
    reader.ReadZip();
    ASSERT_EQ(reader.Count(), static_cast<int>(expect.size()));
    EXPECT_EQ(reader.GetMultiMode(), maker == kInfoZipRemovable ? zip::mmSpan : zip::mmBlocks);
    std::map<std::string, std::string> listed;
    int encrypted = 0;
    for (int i = 0; i < reader.Count(); ++i) {
      listed[reader.Filename(i)] = "";
      encrypted += reader.IsEncrypted(i);
    }
    EXPECT_EQ(encrypted > 0, maker == kInfoZipEncrypted);
    EXPECT_EQ(listed.size(), expect.size());
    EXPECT_TRUE(reader.CheckArchive());
    reader.SetDestDir(tmp / "in");
    reader.DoAll = true;
    reader.OverwriteMode = zip::Always;
    asked.clear();
    // Sorted otherwise, a run still goes through the parts in archive order.
    reader.Sort(zip::ByUnCompressedSize);
    std::vector<int> indexes;
    reader.OnEndUnZip = [&](zip::TZipReader*, int index, const std::string&) { indexes.push_back(index); };
    EXPECT_EQ(reader.UnZip(), static_cast<int>(expect.size()));
    EXPECT_TRUE(std::is_sorted(indexes.begin(), indexes.end()));
    EXPECT_EQ(reader.SortMode(), zip::ByUnCompressedSize);
    for (const auto& [name, bytes] : expect) EXPECT_EQ(ReadFile(tmp / ("in/" + name)), bytes) << name;
    if (!diskFiles.empty()) {
      // Extraction goes through the parts in order, asking for each disk once.
      EXPECT_GE(asked.size(), diskFiles.size() - 1);
      EXPECT_EQ(std::adjacent_find(asked.begin(), asked.end(), std::greater_equal<int>()), asked.end());
    }
    fs::remove_all(tmp / "in");
  }
}

// A set with a part gone or a caller who declines to name one: a clear error, and
// no file left half written.
TEST(ZipReader, MissingPartsOfASetAreErrors) {
  TempDir tmp;
  const std::map<std::string, std::string> files = SetSources();
  const std::string names = WriteSources(tmp, files);
  TempDir out;
  ASSERT_EQ(Shell("cd " + Quote(out.Path()) + " && zip -q -j -s 64k set.zip" + names), 0);
  RenameInfoZipParts(out.Path(), "set");
  const std::vector<std::string> parts = PartsIn(out.Path());
  ASSERT_GE(parts.size(), 3u);
  fs::rename(out / parts[1], out / "aside");
  {
    zip::TZipReader reader;
    reader.SetZipName(out / parts.back());
    reader.SetDestDir(tmp / "in");
    reader.DoAll = true;
    EXPECT_THROW(reader.UnZip(), zip::EFileNotAllThere);
  }
  {
    zip::TZipReader reader;
    reader.SetZipName(out / parts.back());
    reader.SetDestDir(tmp / "in2");
    reader.DoAll = true;
    reader.OnGetNextDisk = [](zip::TZipReader*, int, std::string& name) { name.clear(); };
    try {
      reader.UnZip();
      ADD_FAILURE() << "no error";
    } catch (const zip::EUserCanceled& e) {
      EXPECT_STREQ(e.what(), "User canceled loading new disk.");
    }
  }
  {
    // Spanned disks are asked for by a prompt, which no one answers without a desktop.
    zip::TZipReader reader;
    reader.SetZipName(out / parts.back());
    reader.ReadZip();
    reader.SetMultiMode(zip::mmSpan);
    reader.SetDestDir(tmp / "in3");
    reader.DoAll = true;
    EXPECT_THROW(reader.UnZip(), zip::EUserCanceled);
  }
  {
    // A test that cannot reach a part judges no entry: with the part back, all pass.
    zip::TZipReader reader;
    reader.SetZipName(out / parts.back());
    EXPECT_THROW(reader.CheckArchive(), zip::EFileNotAllThere);
    fs::rename(out / "aside", out / parts[1]);
    EXPECT_TRUE(reader.CheckArchive());
  }
  {
    // A spanned disk missing is asked for as long as the user answers: here the
    // third answer comes with the disk in.
    fs::rename(out / parts[1], out / "aside");
    zip::TZipReader reader;
    reader.SetZipName(out / parts.back());
    reader.ReadZip();
    reader.SetMultiMode(zip::mmSpan);
    reader.SetDestDir(tmp / "in4");
    reader.DoAll = true;
    int asks = 0;
    reader.OnGetNextDisk = [&](zip::TZipReader*, int disk, std::string& name) {
      if (disk == 2 && ++asks == 3) fs::rename(out / "aside", out / parts[1]);
      name = out / parts[static_cast<size_t>(disk - 1)];
    };
    EXPECT_EQ(reader.UnZip(), static_cast<int>(files.size()));
    EXPECT_EQ(asks, 3);
  }
  // Whatever came before the gap is whole; nothing else is there, not even a temporary file.
  for (const std::string dest : {"in", "in2", "in3"}) {
    for (const std::string& name : ListTree(tmp / dest)) {
      ASSERT_TRUE(files.count(name)) << name;
      EXPECT_EQ(ReadFile(tmp / (dest + "/" + name)), files.at(name)) << name;
    }
  }
}

}  // namespace
