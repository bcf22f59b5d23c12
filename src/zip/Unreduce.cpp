#include "zip/Unreduce.h"

namespace zip {

namespace {

constexpr uint8_t kDLE = 144;
// Indexed by compression factor (1-4).
const uint8_t L_table[5] = {0, 0x7F, 0x3F, 0x1F, 0x0F};
const uint8_t D_shift[5] = {0, 7, 6, 5, 4};
const uint8_t D_mask[5] = {0, 0x01, 0x03, 0x07, 0x0F};

// Bits needed for an index into a follower set of N bytes (at least one).
int B_table(int n) {
  int bits = 1;
  while ((1 << bits) < n) ++bits;
  return bits;
}

}  // namespace

bool Unreduce(TZipSource& source, TZipSink& sink, int factor, uint64_t uncompressedSize) {
  if (factor < 1 || factor > 4) return false;
  TBitReader in(source);
  THistoryWindow out(sink);
  uint8_t followers[256][32] = {};
  uint8_t counts[256];
  for (int j = 255; j >= 0; --j) {
    counts[j] = static_cast<uint8_t>(in.Get(6));
    if (counts[j] > 32) return false;  // a follower set holds at most 32 bytes
    for (int k = 0; k < counts[j]; ++k) followers[j][k] = static_cast<uint8_t>(in.Get(8));
  }
  int state = 0;
  unsigned len = 0, v = 0;
  uint8_t last = 0;
  while (out.Total() < uncompressedSize) {
    if (in.Overrun()) {
      out.Flush();
      return false;
    }
    uint8_t c;
    if (counts[last] == 0 || in.Get(1)) c = static_cast<uint8_t>(in.Get(8));
    else c = followers[last][in.Get(B_table(counts[last]))];
    last = c;
    switch (state) {
      case 0:
        if (c == kDLE) state = 1;
        else out.Put(c);
        break;
      case 1:
        if (c == 0) {
          out.Put(kDLE);
          state = 0;
        } else {
          v = c;
          len = v & L_table[factor];
          state = len == L_table[factor] ? 2 : 3;
        }
        break;
      case 2:
        len += c;
        state = 3;
        break;
      default: {
        const size_t dist = ((v >> D_shift[factor]) & D_mask[factor]) * 256 + c + 1;
        uint64_t n = len + 3;
        if (n > uncompressedSize - out.Total()) n = uncompressedSize - out.Total();
        out.Copy(dist, static_cast<size_t>(n));
        state = 0;
        break;
      }
    }
  }
  out.Flush();
  return true;
}

}  // namespace zip
