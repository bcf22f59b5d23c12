#include "videocapture/VideoFormats.h"

#include <cmath>
#include <cstdio>
#include <set>
#include <utility>

#include "platform/Strings.h"

namespace engine = videocapture::engine;

std::string SizeEntry(int width, int height) {
  char entry[32];
  std::snprintf(entry, sizeof entry, "%4dx%d", width, height);
  return entry;
}

void ParseSizeEntry(const std::string& entry, int& width, int& height) {
  const std::size_t x = entry.find('x');
  const std::string w = platform::Trim(entry.substr(0, x));
  const std::string h = x == std::string::npos ? std::string() : platform::Trim(entry.substr(x + 1));
  width = platform::StrToIntDef(w, 0);
  height = platform::StrToIntDef(h, 0);
}

void PrepareSizeList(TStringList& sizes) {
  sizes.SetDuplicates(dupIgnore);
  sizes.SetSorted(true);
}

void AddSubTypeName(TStringList& subTypes, const std::string& name) {
  if (subTypes.IndexOf(name) >= 0) return;
  if (name == "YUY2") subTypes.Insert(0, name);
  else subTypes.Add(name);
}

namespace {

// Halving and doubling never needs more steps than this; it stops a walk
// whose limits are zero or absurd.
constexpr int kMaxWalkSteps = 24;

const std::pair<int, int> kCandidates[] = {{128, 96},  {160, 120}, {176, 144}, {240, 176}, {320, 240},
                                           {352, 288}, {360, 120}, {360, 144}, {360, 240}, {360, 288},
                                           {640, 480}, {800, 600}, {1024, 768}};

class SizeWalk {
 public:
  SizeWalk(engine::TCaptureSource& source, const engine::TVideoFormat& format, const engine::TStreamCaps& caps,
           TStringList& sizes)
      : source_(source), format_(format), caps_(caps), sizes_(sizes) {}

  void From(int w, int h) {
    Test(w, h);
    for (int i = 0; i < kMaxWalkSteps && w >= caps_.minWidth && w / 2 >= 1 && h / 2 >= 1; ++i) Test(w /= 2, h /= 2);
    for (int i = 0; i < kMaxWalkSteps && h >= caps_.minHeight && w / 2 >= 1 && h / 2 >= 1; ++i)
      Test(w /= 2, h /= 2);
    for (int i = 0; i < kMaxWalkSteps && w <= caps_.maxWidth && w <= kLimit && h <= kLimit; ++i) Test(w *= 2, h *= 2);
    for (int i = 0; i < kMaxWalkSteps && h <= caps_.maxHeight && w <= kLimit && h <= kLimit; ++i)
      Test(w *= 2, h *= 2);
  }

 private:
  static constexpr int kLimit = 1 << 16;

  void Test(int w, int h) {
    if (w < 1 || h < 1) return;
    if (!tested_.insert({w, h}).second) return;
    engine::TVideoFormat candidate = format_;
    candidate.width = w;
    candidate.height = h;
    if (source_.QueryAccept(candidate)) sizes_.Add(SizeEntry(w, h));
  }

  engine::TCaptureSource& source_;
  engine::TVideoFormat format_;
  engine::TStreamCaps caps_;
  TStringList& sizes_;
  std::set<std::pair<int, int>> tested_;
};

}  // namespace

void DiscoverFormats(engine::TCaptureSource& source, TStringList& sizes, TStringList& subTypes,
                     const std::function<void()>& pump) {
  PrepareSizeList(sizes);
  sizes.Clear();
  subTypes.Clear();
  const int count = source.CapabilityCount();
  for (int i = 0; i < count; ++i) {
    if (pump) pump();
    engine::TVideoFormat format;
    engine::TStreamCaps caps;
    if (!source.GetCapability(i, format, caps)) continue;
    AddSubTypeName(subTypes, engine::SubTypeName(format.subtype));
    SizeWalk walk(source, format, caps, sizes);
    walk.From(format.width, format.height);
    walk.From(caps.minWidth, caps.minHeight);
    walk.From(caps.maxWidth, caps.maxHeight);
    for (const auto& [w, h] : kCandidates) walk.From(w, h);
  }
}

engine::TRefTime FrameInterval(double frameRate) {
  const double truncated = std::trunc(frameRate * 100) / 100;
  if (!(truncated > 0)) return 0;
  return static_cast<engine::TRefTime>(std::llround(engine::kUnitsPerSecond / truncated));
}

// Whole frames only (29.97 reads as 29), but an interval that was rounded to
// 100 ns from a whole rate still reads as that rate (666667 is 15, not 14).
int FramesPerSecond(engine::TRefTime interval) {
  if (interval <= 0) return 0;
  return static_cast<int>(static_cast<double>(engine::kUnitsPerSecond) / static_cast<double>(interval) + 1e-3);
}

TAudioParams AudioFormatParams(TAudioFormat format) {
  if (format == af_default) return {22050, 16, 2};
  static constexpr unsigned kRates[] = {8000, 11025, 22050, 44100};
  const int n = static_cast<int>(format) - 1;
  return {kRates[(n / 4) % 4], (n % 4) < 2 ? 8u : 16u, (n % 2) == 0 ? 1u : 2u};
}

std::string AudioFormatsText() {
  static const std::string text = [] {
    std::string lines = "default\r\n";
    for (int f = af_8000_8b_1ch; f <= af_44100_16b_2ch; ++f) {
      const TAudioParams p = AudioFormatParams(static_cast<TAudioFormat>(f));
      char line[64];
      std::snprintf(line, sizeof line, p.channels == 1 ? "%u Hz, %u-bit Mono" : "%u Hz, %u-bit Stereo", p.rate,
                    p.bits);
      lines += std::string(line) + "\r\n";
    }
    return lines;
  }();
  return text;
}

int ProcAmpProperty(TVideoQuality quality) {
  static constexpr int kProperty[] = {0, 1, 2, 3, 4, 5, 7, 9, 6, 8};
  const int q = static_cast<int>(quality);
  return q >= 0 && q < 10 ? kProperty[q] : -1;
}
