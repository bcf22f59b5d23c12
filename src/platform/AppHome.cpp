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

}  // namespace

std::filesystem::path AppHome() {
  if (auto home = FromEnv("PARLO_HOME"); !home.empty()) return home;
  if (auto data = FromEnv("XDG_DATA_HOME"); !data.empty() && data.is_absolute()) return data / "parlo";
  if (auto user = FromEnv("HOME"); !user.empty()) return user / ".local" / "share" / "parlo";
  return std::filesystem::current_path() / ".parlo";
}

std::filesystem::path EnsureAppHome() {
  auto home = AppHome();
  std::error_code ec;
  std::filesystem::create_directories(home, ec);
  return home;
}

}  // namespace platform
