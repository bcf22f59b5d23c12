// Feeds arbitrary bytes to the table loader as a data file. Whatever the bytes,
// loading must not crash; a file that loads must save and load back unchanged.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Dataset.h"

namespace {

namespace fs = std::filesystem;

platform::Dataset Table() {
  return platform::Dataset({{"UserID", 20, ""}, {"UserName", 128, "New User"}, {"Message", 512, ""}});
}

std::vector<std::vector<std::string>> Rows(platform::Dataset& d) {
  std::vector<std::vector<std::string>> rows;
  for (d.First(); !d.Eof(); d.Next())
    rows.push_back({d.FieldValue("UserID"), d.FieldValue("UserName"), d.FieldValue("Message")});
  return rows;
}

const fs::path& Folder() {
  // Never destroyed, so the clean-up at exit can still name it.
  static const fs::path* const dir = [] {
    // Every save flushes to disk; in memory that flush costs nothing, which
    // keeps a bounded run short.
    std::error_code ec;
    const fs::path base = fs::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0
                              ? fs::path("/dev/shm")
                              : fs::temp_directory_path();
    auto d = base / ("parlo-dataset-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(d);
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(Folder(), ignored);
    });
    return new fs::path(d);
  }();
  return *dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path file = Folder() / "t.cds";
  fs::remove_all(Folder());
  fs::create_directories(Folder());
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  auto d = Table();
  if (d.LoadFromFile(file, [](const std::string&) {}) != platform::Dataset::LoadResult::Loaded) return 0;
  const auto rows = Rows(d);
  d.SaveToFile(file);
  auto again = Table();
  if (again.LoadFromFile(file, {}) != platform::Dataset::LoadResult::Loaded || Rows(again) != rows) std::abort();
  return 0;
}
