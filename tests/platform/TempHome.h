#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace testing_support {

// A fresh, empty home folder for one test: $PARLO_HOME and $XDG_CONFIG_HOME point
// into it until the object goes.
class TempHome {
 public:
  TempHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "parlo-test-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
    home_ = root_ / "home";
    Save("PARLO_HOME", savedHome_, hadHome_);
    Save("XDG_CONFIG_HOME", savedConfig_, hadConfig_);
    setenv("PARLO_HOME", home_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
  }
  ~TempHome() {
    Restore("PARLO_HOME", savedHome_, hadHome_);
    Restore("XDG_CONFIG_HOME", savedConfig_, hadConfig_);
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  const std::filesystem::path& Home() const { return home_; }
  std::filesystem::path Config() const { return root_ / "config"; }

 private:
  static void Save(const char* name, std::string& value, bool& had) {
    const char* v = std::getenv(name);
    had = v != nullptr;
    if (had) value = v;
  }
  static void Restore(const char* name, const std::string& value, bool had) {
    if (had) setenv(name, value.c_str(), 1);
    else unsetenv(name);
  }
  std::filesystem::path root_, home_;
  std::string savedHome_, savedConfig_;
  bool hadHome_ = false, hadConfig_ = false;
};

inline std::string ReadFile(const std::filesystem::path& file) {
  std::string text;
  if (FILE* f = std::fopen(file.c_str(), "rb")) {
    char buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    std::fclose(f);
  }
  return text;
}

inline void WriteFile(const std::filesystem::path& file, const std::string& text) {
  std::filesystem::create_directories(file.parent_path());
  if (FILE* f = std::fopen(file.c_str(), "wb")) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
}

}  // namespace testing_support
