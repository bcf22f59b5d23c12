#include "platform/AppHome.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class EnvGuard {
 public:
  explicit EnvGuard(const char* name) : name_(name) {
    if (const char* v = std::getenv(name)) saved_ = v, had_ = true;
  }
  ~EnvGuard() {
    if (had_) setenv(name_, saved_.c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::string saved_;
  bool had_ = false;
};

TEST(AppHome, ParloHomeWinsOverXdgAndHome) {
  EnvGuard a("PARLO_HOME"), b("XDG_DATA_HOME"), c("HOME");
  setenv("PARLO_HOME", "/tmp/parlo-a", 1);
  setenv("XDG_DATA_HOME", "/tmp/xdg", 1);
  EXPECT_EQ(platform::AppHome(), "/tmp/parlo-a");
  unsetenv("PARLO_HOME");
  EXPECT_EQ(platform::AppHome(), "/tmp/xdg/parlo");
  // A relative XDG folder is invalid by the XDG rules and is ignored.
  setenv("XDG_DATA_HOME", "relative", 1);
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(platform::AppHome(), "/home/someone/.local/share/parlo");
}

}  // namespace
