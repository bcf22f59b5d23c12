#include "core/session/StatusControls.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(StatusControls, NewGroupNamesThatWouldBreakAFrameAreRefused) {
  const std::vector<std::string> existing = {"General", "Music"};
  struct Case {
    std::string name;
    TNewGroupOutcome want;
  };
  const std::vector<Case> cases = {
      {"", TNewGroupOutcome::Nothing},          {"Music", TNewGroupOutcome::Nothing},
      {"music", TNewGroupOutcome::Added},       {"Chess Club", TNewGroupOutcome::Added},
      {"Caf\xe9", TNewGroupOutcome::Added},     {"a,b", TNewGroupOutcome::Invalid},
      {"a<b", TNewGroupOutcome::Added},         {"a>b", TNewGroupOutcome::Invalid},
      {"a\nb", TNewGroupOutcome::Invalid},    {"a||b", TNewGroupOutcome::Invalid},
      {"a{$}b", TNewGroupOutcome::Added},     {"tab\there", TNewGroupOutcome::Added},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CheckNewGroup(c.name, existing), c.want);
  }
  EXPECT_EQ(AwayPickerKindForStatus(3), 0);
  EXPECT_EQ(AwayPickerKindForStatus(4), 1);
  EXPECT_EQ(AwayPickerKindForStatus(1), -1);
}

}  // namespace
