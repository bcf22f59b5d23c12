#pragma once

#include <memory>
#include <string>

#include "platform/HoldMeter.h"

// Knobs for the end-to-end tests and benches, which run the real program. They
// are read only when PARLO_TEST_HOOKS is "1", so nothing in a user's ordinary
// environment changes how the program behaves. The one switch outside them,
// PARLO_SYNTHETIC_CAMERA, is meant for users too (the README tells of it): it
// gives a machine without a camera synthetic cameras to try the webcam with.
namespace testhooks {

bool Enabled();
// The interval a test asked for through the environment variable `name`
// (milliseconds, at least 10), else `normal`.
int IntervalMs(const char* name, int normal);
// One line "parlo: <event>" on standard output, flushed, so that a test or a
// bench can see when the program reaches a point (window shown, raised ...).
void Trace(const std::string& event);
// PARLO_TEST_STATUS_CHANGE="<ms>:<status>": the status a test wants chosen, as
// if by the user, that many milliseconds after the log-on is through.
bool ScheduledStatusChange(int& delayMs, int& status);
// PARLO_TEST_HOLD_MS="<ms>": every hold of the program's thread of at least
// that many milliseconds is traced as "held <ms>" (see platform::THoldMeter),
// so that a test judges the program's own time rather than how busy the
// machine is. The meter runs while the returned object lives; null when no
// test asked.
std::unique_ptr<platform::THoldMeter> WatchHolds();

}  // namespace testhooks
