#include "resources/Resources.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <set>

#include "platform/Sound.h"
#include "platform/TempHome.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempHome;
using testing_support::WriteFile;

// Loudness and pitch (zero crossings) per 20 ms slice: a fingerprint that tells
// two sounds apart by ear, not just by bytes.
std::vector<int> Fingerprint(const platform::TWave& wave) {
  std::vector<int> slices;
  const size_t step = static_cast<size_t>(wave.rate) / 50;
  auto sample = [&](size_t i) { return static_cast<int16_t>(wave.data[2 * i] | wave.data[2 * i + 1] << 8); };
  for (size_t at = 1; at + step <= wave.Frames(); at += step) {
    double sum = 0;
    int crossings = 0;
    for (size_t i = at; i < at + step; ++i) {
      sum += std::abs(sample(i));
      crossings += (sample(i) < 0) != (sample(i - 1) < 0);
    }
    slices.push_back(static_cast<int>(sum / step / 1000));
    slices.push_back(crossings / 4);
  }
  return slices;
}

TEST(Resources, EverySoundIsAPlayableWaveOfItsOwn) {
  std::set<std::vector<int>> seen;
  for (const auto& name : resources::SoundFileNames()) {
    SCOPED_TRACE(name);
    const platform::TWave wave = platform::ParseWave(resources::SynthesizeWave(name), name);
    EXPECT_EQ(wave.channels, 1);
    EXPECT_EQ(wave.bits, 16);
    const double seconds = static_cast<double>(wave.Frames()) / wave.rate;
    EXPECT_GT(seconds, 0.1);
    EXPECT_LT(seconds, 2.0);
    int peak = 0;
    for (size_t i = 0; i < wave.Frames(); ++i)
      peak = std::max(peak, std::abs(static_cast<int16_t>(wave.data[2 * i] | wave.data[2 * i + 1] << 8)));
    EXPECT_GT(peak, 3000);   // audible
    EXPECT_LT(peak, 32767);  // never clipped
    EXPECT_TRUE(seen.insert(Fingerprint(wave)).second) << "sounds like another one";
  }
  EXPECT_EQ(resources::SynthesizeWave("unknown.wav"), "");
}

TEST(Resources, PicturesLoadBackAndDiffer) {
  std::set<std::string> faces;
  for (int n = 1; n <= 20; ++n) {
    const QImage face = resources::Emoticon(n);
    ASSERT_EQ(face.size(), QSize(19, 19)) << n;
    faces.insert(std::string(reinterpret_cast<const char*>(face.constBits()), face.sizeInBytes()));
  }
  EXPECT_EQ(faces.size(), 20u);
  EXPECT_TRUE(resources::Emoticon(0).isNull());
  EXPECT_TRUE(resources::Emoticon(21).isNull());

  // Qt's own JPEG reader is the judge of our encoder's output.
  for (const QImage& banner : {resources::Logo(), resources::ChatLogo()}) {
    const std::string jpeg = resources::EncodeJpeg(banner);
    QImage back;
    ASSERT_TRUE(back.loadFromData(reinterpret_cast<const uchar*>(jpeg.data()), static_cast<int>(jpeg.size()), "JPG"));
    EXPECT_EQ(back.size(), banner.size());
    const QColor a = banner.pixelColor(3, 37), b = back.pixelColor(3, 37);
    EXPECT_LT(std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()), 30);
  }
  EXPECT_EQ(resources::Logo().size(), QSize(172, 40));
}

TEST(Resources, InstallFillsOnlyWhatIsMissing) {
  TempHome home;
  WriteFile(home.Home() / "Icons" / "7.bmp", "mine");
  WriteFile(home.Home() / "logo.jpg", "also mine");
  const int total = 20 + 2 + static_cast<int>(resources::SoundFileNames().size());
  EXPECT_EQ(resources::InstallDefaults(home.Home()), total - 2);
  EXPECT_EQ(ReadFile(home.Home() / "Icons" / "7.bmp"), "mine");
  EXPECT_EQ(ReadFile(home.Home() / "logo.jpg"), "also mine");
  QImage icon;
  EXPECT_TRUE(icon.load(QString::fromStdString((home.Home() / "Icons" / "20.bmp").string())));
  EXPECT_EQ(icon.size(), QSize(19, 19));
  EXPECT_EQ(resources::InstallDefaults(home.Home()), 0);
  // Nothing but the files themselves is left behind.
  int entries = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(home.Home())) entries += e.is_regular_file();
  EXPECT_EQ(entries, total);
}

}  // namespace
