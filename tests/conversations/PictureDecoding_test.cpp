#include "conversations/PictureDecoding.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "Cam_helpers.h"
#include "core/Widgets_helpers.h"
#include "platform/EventLoop.h"

// Pictures come back on the program's thread, damaged ones as null images;
// one withdrawn first (by the link's next picture, by Withdraw or with the
// link) never comes back, so its owner may be gone by then.
TEST(PictureDecoding, ReturnsOnlyPicturesStillWanted) {
  testing_support::WidgetApp();
  const std::string jpeg = cam_test::SyntheticJpeg(5, 0);
  std::vector<std::string> returned;
  const auto note = [&returned](std::string name) {
    return [&returned, name](const cam::TReceivedPicture& picture) {
      returned.push_back(name + (picture.Image.isNull() ? " null" : ""));
    };
  };
  {
    TPictureDecoding gone;
    gone.Decode(jpeg, note("gone with its link"));
  }
  TPictureDecoding replaced, withdrawn, damaged;
  replaced.Decode(jpeg, note("replaced"));
  replaced.Decode(jpeg, note("kept"));
  withdrawn.Decode(jpeg, note("withdrawn"));
  withdrawn.Withdraw();
  damaged.Decode("not a picture", note("damaged"));
  EXPECT_TRUE(replaced.Pending());
  EXPECT_FALSE(withdrawn.Pending());
  ASSERT_TRUE(platform::ProcessMessagesUntil([&] { return returned.size() == 2; }, 10000));
  platform::ProcessMessagesUntil([] { return false; }, 200);
  std::sort(returned.begin(), returned.end());
  EXPECT_EQ(returned, (std::vector<std::string>{"damaged null", "kept"}));
  EXPECT_FALSE(replaced.Pending());
}
