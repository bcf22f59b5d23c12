#include "zip/ZipFileUtils.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "ZipTest_helpers.h"
#include "platform/ErrorSink.h"

namespace {

// Progress and ratio figures are computed from sizes a hostile archive states; none of
// them may step outside an int on the way.
TEST(ZipFileUtils, RatesStayInRangeForAbsurdSizes) {
  struct Case {
    int64_t whole, part;
    int rate;
  } const cases[] = {
      {0, 5, 0},
      {-7, 5, 0},
      {200, 50, 25},
      {200, 200, 100},
      {3, 1, 33},
      {1, std::numeric_limits<int64_t>::max(), 100},
      {1, 16945400000, 100},
      {1, std::numeric_limits<int64_t>::min(), std::numeric_limits<int>::min()},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(zip::CRate(c.whole, c.part), c.rate) << c.whole << " " << c.part;
    EXPECT_EQ(zip::CBigRate(static_cast<double>(c.whole), static_cast<double>(c.part)), c.rate) << c.whole << " " << c.part;
  }
}

// A copy that cannot be made says so (through the message box, or the error
// report where no one could see a box) and never passes for done.
TEST(ZipFileUtils, FailedCopyIsReported) {
  ziptest::TempDir dir;
  ziptest::WriteFile(dir / "a.txt", "content");
  std::vector<std::string> reports;
  platform::SetErrorHandler([&](const std::string&, const std::string&, const std::string& m) { reports.push_back(m); });
  EXPECT_TRUE(zip::FileCopy(dir / "a.txt", dir / "b.txt"));
  EXPECT_EQ(ziptest::ReadFile(dir / "b.txt"), "content");
  EXPECT_TRUE(reports.empty());
  EXPECT_FALSE(zip::FileCopy(dir / "missing.txt", dir / "c.txt"));
  EXPECT_FALSE(zip::FileCopy(dir / "b.txt", dir / "no/such/folder/c.txt"));
  platform::SetErrorHandler(nullptr);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0], "Error: Could not copy from " + (dir / "missing.txt") + " -> " + (dir / "c.txt"));
}

}  // namespace
