#include "conversations/PictureDecoding.h"

#include <gtest/gtest.h>

#include "Cam_helpers.h"
#include "core/Widgets_helpers.h"
#include "platform/EventLoop.h"

// Pictures come back on the program's thread in the order they were given,
// damaged ones as null images; one whose handle went, or was replaced, first
// never comes back, so its owner may be gone by then.
TEST(PictureDecoding, ReturnsOnlyPicturesStillWanted) {
  testing_support::WidgetApp();
  const std::string jpeg = cam_test::SyntheticJpeg(5, 0);
  std::vector<std::string> returned;
  const auto note = [&returned](std::string name) {
    return [&returned, name](const cam::TReceivedPicture& picture) {
      returned.push_back(name + (picture.Image.isNull() ? " null" : ""));
    };
  };
  { TPictureDecoding dropped(jpeg, note("dropped")); }
  TPictureDecoding replaced(jpeg, note("replaced"));
  replaced = TPictureDecoding(jpeg, note("kept"));
  TPictureDecoding damaged("not a picture", note("damaged"));
  EXPECT_TRUE(replaced.Pending());
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return returned.size() == 2; }, 10000));
  EXPECT_EQ(returned, (std::vector<std::string>{"kept", "damaged null"}));
  EXPECT_FALSE(replaced.Pending());
}
