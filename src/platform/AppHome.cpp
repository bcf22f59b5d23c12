#include "platform/AppHome.h"

#include <cstdlib>
#include <system_error>

namespace platform {

namespace {

std::filesystem::path FromEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return {};
  return std::filesystem::path(value);
}

std::filesystem::path DefaultHome() {
  if (auto data = FromEnv("XDG_DATA_HOME"); !data.empty() && data.is_absolute()) return data / "parlo";
  if (auto user = FromEnv("HOME"); !user.empty()) return user / ".local" / "share" / "parlo";
  return std::filesystem::current_path() / ".parlo";
}

// The same folder however it is written: relative, with "..", links or a final "/".
std::filesystem::path OneFolderName(const std::filesystem::path& path) {
  std::error_code ec;
  auto full = std::filesystem::weakly_canonical(path, ec);
  if (ec) full = std::filesystem::absolute(path, ec).lexically_normal();
  return full.has_filename() ? full : full.parent_path();
}

}  // namespace

std::filesystem::path AppHome() {
  if (auto home = FromEnv("PARLO_HOME"); !home.empty()) return home;
  return DefaultHome();
}

bool AppHomeIsDefault() {
  const auto home = FromEnv("PARLO_HOME");
  return home.empty() || OneFolderName(home) == OneFolderName(DefaultHome());
}

std::filesystem::path AppHomeFolder() { return OneFolderName(AppHome()); }

std::filesystem::path EnsureAppHome() {
  auto home = AppHome();
  std::error_code ec;
  std::filesystem::create_directories(home, ec);
  return home;
}

}  // namespace platform
