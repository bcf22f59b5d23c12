#include "zip/Unshrink.h"

#include <vector>

namespace zip {

namespace {

constexpr int kMaxBits = 13;
constexpr int kTableSize = 1 << kMaxBits;
constexpr int kFirstFree = 257;
constexpr int kControl = 256;

}  // namespace

bool Unshrink(TZipSource& source, TZipSink& sink, uint64_t uncompressedSize) {
  TBitReader in(source);
  THistoryWindow out(sink);
  std::vector<int16_t> prefix(kTableSize, -1);
  std::vector<uint8_t> suffix(kTableSize, 0);
  std::vector<uint8_t> used(kTableSize, 0);
  std::vector<uint8_t> stack(kTableSize);
  for (int i = 0; i < 256; ++i) {
    used[i] = 1;
    suffix[i] = static_cast<uint8_t>(i);
  }
  int codeSize = 9;
  int freeSlot = kFirstFree;
  auto nextFree = [&]() {
    while (freeSlot < kTableSize && used[freeSlot]) ++freeSlot;
  };

  if (uncompressedSize == 0) return true;
  int oldCode = static_cast<int>(in.Get(codeSize));
  if (oldCode >= 256) return false;
  uint8_t firstChar = static_cast<uint8_t>(oldCode);
  out.Put(firstChar);

  while (out.Total() < uncompressedSize) {
    if (in.Overrun()) {
      out.Flush();
      return false;
    }
    int code = static_cast<int>(in.Get(codeSize));
    if (code == kControl) {
      const uint32_t op = in.Get(codeSize);
      if (op == 1) {
        if (codeSize >= kMaxBits) return out.Flush(), false;
        ++codeSize;
      } else if (op == 2) {
        // Partial clear: every code that is no other code's prefix becomes free.
        std::vector<uint8_t> isPrefix(kTableSize, 0);
        for (int i = kFirstFree; i < kTableSize; ++i)
          if (used[i] && prefix[i] >= 0) isPrefix[prefix[i]] = 1;
        for (int i = kFirstFree; i < kTableSize; ++i)
          if (!isPrefix[i]) used[i] = 0;
        freeSlot = kFirstFree;
      } else {
        return out.Flush(), false;
      }
      continue;
    }
    nextFree();
    int sp = 0;
    int cur = code;
    if (!used[code]) {
      // The code being defined by this very step: the old string plus its own first byte.
      if (code != freeSlot) return out.Flush(), false;
      stack[sp++] = firstChar;
      cur = oldCode;
    }
    while (cur >= 256) {
      if (sp >= kTableSize || !used[cur] || prefix[cur] < 0) return out.Flush(), false;
      stack[sp++] = suffix[cur];
      cur = prefix[cur];
    }
    stack[sp++] = static_cast<uint8_t>(cur);
    firstChar = static_cast<uint8_t>(cur);
    while (sp > 0 && out.Total() < uncompressedSize) out.Put(stack[--sp]);
    if (freeSlot < kTableSize) {
      prefix[freeSlot] = static_cast<int16_t>(oldCode);
      suffix[freeSlot] = firstChar;
      used[freeSlot] = 1;
    }
    oldCode = code;
  }
  out.Flush();
  return true;
}

}  // namespace zip
