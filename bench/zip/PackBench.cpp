// Packing a folder into one package at level 9 with bare names, as the
// outgoing transfer does, against Info-ZIP's zip -9 -j on the same files in
// the same run.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchCorpus.h"
#include "zip/ZipWriter.h"

namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void WriteFile(const fs::path& p, const std::string& data, size_t from, size_t size) {
  std::ofstream f(p, std::ios::binary);
  f.write(data.data() + from, static_cast<std::streamsize>(size));
}

}  // namespace

int main(int argc, char** argv) {
  size_t mb = argc > 1 ? std::stoul(argv[1]) : 50;
  fs::path work = fs::temp_directory_path() / ("parlo-pack-bench-" + std::to_string(getpid()));
  fs::create_directories(work / "files");

  // A transfer-like folder: documents, source files, pictures (already
  // compressed) and binaries, a few hundred files of varied sizes.
  std::vector<std::string> names;
  struct TKind {
    const char* ext;
    std::string data;
  } kinds[] = {
      {".txt", bench::TextCorpus(mb << 18)},
      {".h", bench::SourceCorpus(mb << 18)},
      {".jpg", bench::CompressedCorpus(mb << 18)},
      {".so", bench::BinaryCorpus(mb << 18)},
  };
  for (auto& k : kinds) {
    size_t pos = 0, n = 0, size = 4096;
    while (pos < k.data.size()) {
      size_t len = std::min(size, k.data.size() - pos);
      fs::path p = work / "files" / ("f" + std::to_string(n++) + k.ext);
      WriteFile(p, k.data, pos, len);
      names.push_back(p.string());
      pos += len;
      size = size * 3 / 2 > (8u << 20) ? 4096 : size * 3 / 2;
    }
  }
  uint64_t total = 0;
  for (const auto& n : names) total += fs::file_size(n);

  fs::path ours = work / "ours.zip";
  auto t0 = std::chrono::steady_clock::now();
  zip::TZipWriter writer;
  writer.PackLevel = 9;
  writer.DoProcessMessages = false;
  writer.FilesList = names;
  writer.SetZipName(ours.string());
  int count = writer.Zip();
  double tOurs = Seconds(t0);

  fs::path theirs = work / "ref.zip";
  t0 = std::chrono::steady_clock::now();
  std::string cmd = "cd '" + (work / "files").string() + "' && zip -q -9 -j '" + theirs.string() + "' *";
  int rc = std::system(cmd.c_str());
  double tRef = Seconds(t0);

  double sizeRatio = double(fs::file_size(ours)) / double(fs::file_size(theirs));
  std::printf("%-8s %6s %10s %12s %12s %10s %9s %9s %10s\n", "package", "files", "MiB in", "ours bytes",
              "zip -9 -j", "size rat.", "ours s", "zip s", "speed rat.");
  std::printf("%-8s %6d %10.1f %12llu %12llu %10.4f %9.2f %9.2f %10.3f%s\n", "level 9", count,
              double(total) / (1 << 20), static_cast<unsigned long long>(fs::file_size(ours)),
              static_cast<unsigned long long>(fs::file_size(theirs)), sizeRatio, tOurs, tRef, tRef / tOurs,
              rc == 0 ? "" : "  (zip failed)");
  fs::remove_all(work);
  return 0;
}
