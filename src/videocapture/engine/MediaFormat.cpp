#include "videocapture/engine/MediaFormat.h"

namespace videocapture::engine {

namespace {

struct RgbName {
  TSubType subtype;
  const char* name;
};

// The 565 layout is the one people mean by 16-bit RGB.
constexpr RgbName kRgbNames[] = {{kRgb1, "RGB1"},   {kRgb4, "RGB4"},     {kRgb8, "RGB8"},   {kRgb565, "RGB16"},
                                 {kRgb555, "RGB555"}, {kRgb24, "RGB24"}, {kRgb32, "RGB32"}};

}  // namespace

std::string SubTypeName(TSubType subtype) {
  if (IsRgbFamily(subtype)) {
    for (const auto& r : kRgbNames)
      if (r.subtype == subtype) return r.name;
    return "????";
  }
  std::string name(4, ' ');
  for (int i = 0; i < 4; ++i) name[i] = static_cast<char>((subtype >> (8 * i)) & 0xFF);
  return name;
}

TSubType SubTypeFromName(const std::string& name) {
  if (name.rfind("RGB", 0) == 0) {
    for (const auto& r : kRgbNames)
      if (name == r.name) return r.subtype;
    if (name.size() != 4) return 0;
  }
  if (name.size() != 4) return 0;
  return FourCC(name[0], name[1], name[2], name[3]);
}

}  // namespace videocapture::engine
