// Unpacking an archive of 10,000 small files: TZipReader::UnZip against Info-ZIP's
// unzip on the same archive, in the same run. Then testing every entry of an
// archive of 65,535 (the most a count can say): TZipReader::CheckArchive against
// unzip -t.

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "zip/ZipReader.h"

namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

}  // namespace

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

  double ours = 1e9, theirs = 1e9;
  int extracted = 0;
  for (int run = 0; run < 3; ++run) {
    const fs::path a = root / ("ours" + std::to_string(run)), b = root / ("unzip" + std::to_string(run));
    auto t0 = std::chrono::steady_clock::now();
    zip::TZipReader reader;
    reader.DoProcessMessages = false;
    reader.SetZipName(archive);
    reader.SetDestDir(a.string());
    reader.RecreateDirs = true;
    reader.DoAll = true;
    extracted = reader.UnZip();
    auto t1 = std::chrono::steady_clock::now();
    ours = std::min(ours, Seconds(t0, t1));
    t0 = std::chrono::steady_clock::now();
    if (std::system(("unzip -q -o '" + archive + "' -d '" + b.string() + "'").c_str()) != 0) return 1;
    t1 = std::chrono::steady_clock::now();
    theirs = std::min(theirs, Seconds(t0, t1));
  }
  std::printf("unpack 10,000 small files (%d extracted), best of 3: ours %.3f s   unzip %.3f s   ratio %.2f\n",
              extracted, ours, theirs, theirs / ours);

  const std::string many = (root / "many.zip").string();
  if (std::system(("python3 -c 'import sys, zipfile\n"
                   "with zipfile.ZipFile(sys.argv[1], \"w\", zipfile.ZIP_DEFLATED) as z:\n"
                   "    [z.writestr(\"d%d/f%05d.txt\" % (i % 20, i), \"entry %d\\n\" % i * 20) for i in range(65535)]' '" +
                   many + "'").c_str()) != 0)
    return 1;
  ours = theirs = 1e9;
  bool good = false;
  for (int run = 0; run < 3; ++run) {
    auto t0 = std::chrono::steady_clock::now();
    zip::TZipReader reader;
    reader.DoProcessMessages = false;
    reader.SetZipName(many);
    good = reader.CheckArchive();
    auto t1 = std::chrono::steady_clock::now();
    ours = std::min(ours, Seconds(t0, t1));
    t0 = std::chrono::steady_clock::now();
    if (std::system(("unzip -tq '" + many + "' >/dev/null").c_str()) != 0) return 1;
    t1 = std::chrono::steady_clock::now();
    theirs = std::min(theirs, Seconds(t0, t1));
  }
  std::printf("test 65,535 entries (%s), best of 3: ours %.3f s   unzip -t %.3f s   ratio %.2f\n",
              good ? "all good" : "NOT ALL GOOD", ours, theirs, theirs / ours);
  fs::remove_all(root);
  return 0;
}
