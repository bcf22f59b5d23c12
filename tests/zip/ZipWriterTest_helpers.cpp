#include "ZipWriterTest_helpers.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace zipwtest {

namespace fs = std::filesystem;

TScratchDir::TScratchDir() {
  const char* bin = std::getenv("PARLO_BINARY_DIR");
  fs::path base = bin ? fs::path(bin) / "test-scratch" : fs::temp_directory_path();
  fs::create_directories(base);
  std::string pattern = (base / "zipw-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TScratchDir::~TScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string Quote(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) {
    if (c == '\'') {
      q += "'\\''";
    } else {
      q += c;
    }
  }
  return q + "'";
}

TRunResult Shell(const std::string& commandLine) {
  TRunResult r;
  std::string cmd = commandLine + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

std::string ReadFile(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

void WriteFile(const std::string& name, const std::string& content) {
  std::ofstream f(name, std::ios::binary | std::ios::trunc);
  f.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!f) throw std::runtime_error("cannot write " + name);
}

std::string SampleText(size_t size, uint32_t seed) {
  static const char* words[] = {"hello ", "peer ", "file ", "sent ", "over ", "the ", "wire\r\n", "zip "};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < size) s += words[rng() % 8];
  s.resize(size);
  return s;
}

std::string SampleBinary(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(size, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

TRunResult Python(const std::string& script, const std::string& args) {
  TScratchDir dir;
  std::string file = dir / "check.py";
  WriteFile(file, script);
  return Shell("python3 " + Quote(file) + " " + args);
}

}  // namespace zipwtest
