#pragma once

// Scratch folders, files and the outside tools (Info-ZIP, Python) the zip tests use as oracles.

#include <cstdint>
#include <string>
#include <vector>

namespace ziptest {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
// Runs a shell command; returns its exit status and, when wanted, its standard output.
int Shell(const std::string& command, std::string* out = nullptr);
std::string Quote(const std::string& s);
// tests/zip/<name> in the source tree.
std::string SupportScript(const std::string& name);
// Text and binary payloads that compress the way real files do.
std::string TextPayload(size_t size, unsigned seed);
std::string BinaryPayload(size_t size, unsigned seed);
// Every file below `dir` (relative names, sorted), links included.
std::vector<std::string> ListTree(const std::string& dir);

}  // namespace ziptest
