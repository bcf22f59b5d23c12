// Unpacking an archive of 10,000 small files: TZipReader::UnZip against Info-ZIP's
// unzip on the same archive, in the same run. Then testing every entry of an
// archive of 65,535 (the most a count can say): TZipReader::CheckArchive against
// unzip -t, taking at most 1.5 times as long. Both sides take turns, five rounds,
// medians.

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "BenchRounds.h"
#include "zip/ZipReader.h"

namespace fs = std::filesystem;

constexpr int kRounds = 5;

int main() {
  std::string base = (fs::temp_directory_path() / "parlo-extract-bench-XXXXXX").string();
  if (!mkdtemp(base.data())) return 1;
  const fs::path root(base);
  std::mt19937 rng(3);
  static const char* const kWords[] = {"parlo ", "message ", "zip ", "file ", "friend ", "sent ", "the ", "a ", "\n"};
  for (int i = 0; i < 10000; ++i) {
    const fs::path dir = root / "src" / ("d" + std::to_string(i % 20));
    fs::create_directories(dir);
    std::ofstream f(dir / ("f" + std::to_string(i) + ".txt"), std::ios::binary);
    const size_t size = 200 + rng() % 4000;
    std::string s;
    while (s.size() < size) s += kWords[rng() % 9];
    f << s;
  }
  const std::string archive = (root / "small.zip").string();
  if (std::system(("cd '" + (root / "src").string() + "' && zip -q -r -6 '" + archive + "' .").c_str()) != 0) return 1;

  // Every round unpacks into a fresh folder on both sides, so neither overwrites.
  int extracted = 0, oursRound = 0, theirRound = 0;
  const bench::TRoundTimes unpack = bench::Alternate(
      kRounds,
      [&] {
        zip::TZipReader reader;
        reader.DoProcessMessages = false;
        reader.SetZipName(archive);
        reader.SetDestDir((root / ("ours" + std::to_string(oursRound++))).string());
        reader.RecreateDirs = true;
        reader.DoAll = true;
        extracted = reader.UnZip();
      },
      [&] {
        const std::string dest = (root / ("unzip" + std::to_string(theirRound++))).string();
        if (std::system(("unzip -q -o '" + archive + "' -d '" + dest + "'").c_str()) != 0)
          std::printf("unzip failed\n");
      },
      bench::TClock::kWall, true);
  std::printf("unpack 10,000 small files (%d extracted), median of %d: ours %.3f s   unzip %.3f s   "
              "ratio ours / unzip %.2f (no goal set)\n",
              extracted, kRounds, unpack.ours, unpack.theirs, unpack.ratio);

  const std::string many = (root / "many.zip").string();
  if (std::system(("python3 -c 'import sys, zipfile\n"
                   "with zipfile.ZipFile(sys.argv[1], \"w\", zipfile.ZIP_DEFLATED) as z:\n"
                   "    [z.writestr(\"d%d/f%05d.txt\" % (i % 20, i), \"entry %d\\n\" % i * 20) for i in range(65535)]' '" +
                   many + "'").c_str()) != 0)
    return 1;
  bool good = false;
  const bench::TRoundTimes test = bench::Alternate(
      kRounds,
      [&] {
        zip::TZipReader reader;
        reader.DoProcessMessages = false;
        reader.SetZipName(many);
        good = reader.CheckArchive();
      },
      [&] {
        if (std::system(("unzip -tq '" + many + "' >/dev/null").c_str()) != 0) std::printf("unzip -t failed\n");
      },
      bench::TClock::kWall, true);
  std::printf("test 65,535 entries (%s), median of %d: ours %.3f s   unzip -t %.3f s   time ours / unzip -t: ",
              good ? "all good" : "NOT ALL GOOD", kRounds, test.ours, test.theirs);
  bench::PrintVerdict(test.ratio, "<=", 1.5);
  std::printf("\n");
  fs::remove_all(root);
  return 0;
}
