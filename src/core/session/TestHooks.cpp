#include "core/session/TestHooks.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace testhooks {

bool Enabled() {
  static const bool enabled = [] {
    const char* v = std::getenv("PARLO_TEST_HOOKS");
    return v != nullptr && std::strcmp(v, "1") == 0;
  }();
  return enabled;
}

int IntervalMs(const char* name, int normal) {
  if (!Enabled()) return normal;
  const char* v = std::getenv(name);
  if (v == nullptr || *v == '\0') return normal;
  char* end = nullptr;
  const long ms = std::strtol(v, &end, 10);
  if (*end != '\0' || ms < 10 || ms > 24L * 3600 * 1000) return normal;
  return static_cast<int>(ms);
}

void Trace(const std::string& event) {
  if (!Enabled()) return;
  std::fprintf(stdout, "parlo: %s\n", event.c_str());
  std::fflush(stdout);
}

bool ScheduledStatusChange(int& delayMs, int& status) {
  if (!Enabled()) return false;
  const char* v = std::getenv("PARLO_TEST_STATUS_CHANGE");
  if (v == nullptr) return false;
  int ms = 0, mode = 0;
  if (std::sscanf(v, "%d:%d", &ms, &mode) != 2 || ms < 0 || mode < 0 || mode > 4) return false;
  delayMs = ms;
  status = mode;
  return true;
}

std::unique_ptr<platform::THoldMeter> WatchHolds() {
  const int threshold = IntervalMs("PARLO_TEST_HOLD_MS", 0);
  if (threshold == 0) return nullptr;
  return std::make_unique<platform::THoldMeter>(threshold, [](std::int64_t ms) { Trace("held " + std::to_string(ms)); });
}

}  // namespace testhooks
