#include "conversations/TransferRecords.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The parameters as the command parser hands them over: every "," a line break.
std::string AsParsed(std::string params) {
  for (std::size_t at = 0; (at = params.find(',', at)) != std::string::npos; at += 2) params.replace(at, 1, "\r\n");
  return params;
}

TEST(TransferRecords, PeerNamesBecomeOneSafeComponent) {
  const struct {
    std::string name, safe;
  } cases[] = {
      {"Bea Jones", "Bea Jones"},
      {"../../etc", ".._.._etc"},
      {"..", "_"},
      {".", "_"},
      {"", "_"},
      {"a/b\\c", "a_b_c"},
      {"tab\there\r\n", "tab_here__"},
      {"a{$}b", "a_b"},
      {"x,y<z>", "x_y_z_"},
      {std::string("\0\xE2", 2) + "\x98", "_\x98"},  // a NUL-held byte is one character
      {"Caf\xE9", "Caf\xE9"},
      {std::string(200, 'n'), std::string(kMaxNameBytes, 'n')},
  };
  for (const auto& c : cases) EXPECT_EQ(SafeNameComponent(c.name), c.safe) << c.name;
}

TEST(TransferRecords, OffersAreTakenOnlyWithAKnownKindAndASizeInBounds) {
  const struct {
    std::string params;
    bool taken;
    std::string name, description;
    std::uint64_t size;
  } cases[] = {
      {"Al$cSmith{$}pics.zip{$}1234{$}image{$}A$cB$r$n", true, "pics.zip", "A$cB$r$n", 1234},
      {"Al{$}pics.zip{$}1234{$}image{$}", true, "pics.zip", "", 1234},  // empty description: four items
      {"Al{$}a,b.zip{$}9{$}binary{$}d", true, "a,b.zip", "d", 9},       // a comma in the name stays there
      {"Al{$}p.zip{$}4294967295{$}sound{$}", true, "p.zip", "", 0xFFFFFFFFu},
      {"Al{$}p.zip{$}1{$}binary{$}d{$}extra", true, "p.zip", "", 1},  // six items: no description
      {"Al{$}p.zip{$}4294967296{$}binary{$}", false, "", "", 0},
      {"Al{$}p.zip{$}18446744073709551616{$}binary{$}", false, "", "", 0},
      {"Al{$}p.zip{$}0{$}binary{$}", false, "", "", 0},
      {"Al{$}p.zip{$}-1{$}binary{$}", false, "", "", 0},
      {"Al{$}p.zip{$} 12{$}binary{$}", false, "", "", 0},
      {"Al{$}p.zip{$}12{$}exe{$}", false, "", "", 0},
      {"Al{$}p.zip", false, "", "", 0},
      {"", false, "", "", 0},
  };
  for (const auto& c : cases) {
    const auto offer = TFileOffer::Parse(AsParsed(c.params));
    ASSERT_EQ(offer.has_value(), c.taken) << c.params;
    if (!offer) continue;
    EXPECT_EQ(offer->PackageName, c.name) << c.params;
    EXPECT_EQ(offer->Description, c.description) << c.params;
    EXPECT_EQ(offer->Size, c.size) << c.params;
  }
}

TEST(TransferRecords, AStartMatchesOnlyThePackageOffered) {
  const auto offer = TFileOffer::Parse(AsParsed("Al{$}a,b.zip{$}5000{$}binary{$}"));
  ASSERT_TRUE(offer);
  EXPECT_EQ(offer->Record(), "Al{$}a,b.zip{$}5000{$}binary{$}");
  const struct {
    std::string params;
    bool parsed, matches;
  } cases[] = {
      {"5000{$}a,b.zip{$}binary{$}3", true, true},    {"5001{$}a,b.zip{$}binary{$}3", true, false},
      {"5000{$}a.zip{$}binary{$}3", true, false},     {"5000{$}a,b.zip{$}image{$}3", true, false},
      {"5000x{$}a,b.zip{$}binary{$}3", false, false}, {"5000{$}a,b.zip{$}binary{$}many", false, false},
  };
  for (const auto& c : cases) {
    const auto start = TFileStart::Parse(AsParsed(c.params));
    ASSERT_EQ(start.has_value(), c.parsed) << c.params;
    if (start) {
      EXPECT_EQ(start->Matches(*offer), c.matches) << c.params;
    }
  }
}

}  // namespace
