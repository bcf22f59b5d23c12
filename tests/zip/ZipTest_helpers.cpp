#include "ZipTest_helpers.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace ziptest {

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "parlo-ziptest-XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Files made read-only by a test must not stop the clean-up.
  Shell("chmod -R u+w " + Quote(path_) + " 2>/dev/null");
  fs::remove_all(path_, ec);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

int Shell(const std::string& command, std::string* out) {
  FILE* p = popen(command.c_str(), "r");
  if (!p) return -1;
  std::string text;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  const int status = pclose(p);
  if (out) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string SupportScript(const std::string& name) {
  if (const char* src = std::getenv("PARLO_SOURCE_DIR"); src && *src) return std::string(src) + "/tests/zip/" + name;
  return std::string(ZIPTEST_SCRIPT_DIR) + "/" + name;
}

std::string TextPayload(size_t size, unsigned seed) {
  static const char* const kWords[] = {"the ", "message ", "arrived ", "from ", "Parlo ", "while ", "a ",
                                       "friend ", "was ", "typing, ", "and ", "then\r\n", "files ", "zip "};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < size) s += kWords[rng() % 14];
  s.resize(size);
  return s;
}

std::string BinaryPayload(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i % 7 == 0) ? rng() : (rng() % 8) * (i % 3));
  return s;
}

std::vector<std::string> ListTree(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); it != fs::recursive_directory_iterator(); ++it)
    names.push_back(fs::relative(it->path(), dir).string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace ziptest
