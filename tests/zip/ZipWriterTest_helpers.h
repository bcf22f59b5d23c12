#pragma once

// Scratch folders and outside tools for the writer's tests.

#include <cstdint>
#include <string>

namespace zipwtest {

// A fresh folder under the build tree, removed with its content at the end.
class TScratchDir {
 public:
  TScratchDir();
  ~TScratchDir();
  TScratchDir(const TScratchDir&) = delete;
  TScratchDir& operator=(const TScratchDir&) = delete;
  const std::string& Path() const { return path_; }
  // Full path of a name inside the folder.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct TRunResult {
  int status = -1;
  std::string output;  // stdout and stderr together
};

// Runs a shell command line; arguments must be quoted by the caller (Quote).
TRunResult Shell(const std::string& commandLine);
std::string Quote(const std::string& arg);

std::string ReadFile(const std::string& name);
void WriteFile(const std::string& name, const std::string& content);
// Deterministic content of a given size: text-like or random-like.
std::string SampleText(size_t size, uint32_t seed);
std::string SampleBinary(size_t size, uint32_t seed);

// Runs a Python 3 script given as text with extra arguments; its stdout is the result.
TRunResult Python(const std::string& script, const std::string& args);

}  // namespace zipwtest
