#include "zip/ZipFileUtils.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

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

}  // namespace
