// Inflate throughput: our decoder against zlib's on the same raw deflate streams,
// a text corpus and a binary corpus of 64 MB each, best of several runs.

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "zip/Inflate.h"

namespace {

constexpr size_t kCorpusSize = 64u << 20;

// Prose-like text: a Zipf-ish vocabulary of generated words, punctuation and lines.
std::vector<uint8_t> TextCorpus() {
  std::mt19937 rng(1);
  std::vector<std::string> vocab;
  for (int i = 0; i < 20000; ++i) {
    std::string w;
    const int len = 2 + static_cast<int>(rng() % 9);
    for (int k = 0; k < len; ++k) w += static_cast<char>('a' + rng() % 26);
    vocab.push_back(w);
  }
  std::vector<uint8_t> out;
  out.reserve(kCorpusSize + 64);
  int column = 0;
  while (out.size() < kCorpusSize) {
    const double u = std::generate_canonical<double, 32>(rng);
    const std::string& w = vocab[static_cast<size_t>(std::pow(u, 3.0) * (vocab.size() - 1))];
    out.insert(out.end(), w.begin(), w.end());
    column += static_cast<int>(w.size()) + 1;
    const unsigned r = rng() % 20;
    if (r == 0) out.push_back(','), ++column;
    if (r == 1) out.push_back('.'), ++column;
    if (column > 72) {
      out.push_back('\r'), out.push_back('\n');
      column = 0;
    } else {
      out.push_back(' ');
    }
  }
  out.resize(kCorpusSize);
  return out;
}

// Binary data with the texture of executables and tables: little-endian records,
// small integers, repeated opcodes, some noise.
std::vector<uint8_t> BinaryCorpus() {
  std::mt19937 rng(2);
  std::vector<uint8_t> out;
  out.reserve(kCorpusSize + 64);
  const uint8_t ops[][4] = {{0x48, 0x89, 0xE5, 0}, {0xE8, 0, 0, 0}, {0x8B, 0x45, 0xF8, 0}, {0xC3, 0, 0, 0},
                            {0x0F, 0x1F, 0x44, 0}, {0x48, 0x83, 0xEC, 0x20}};
  while (out.size() < kCorpusSize) {
    switch (rng() % 4) {
      case 0:
        for (int k = 0; k < 16; ++k) {
          const auto& op = ops[rng() % 6];
          out.insert(out.end(), op, op + 1 + rng() % 4);
        }
        break;
      case 1: {
        uint32_t base = rng() % 100000;
        for (int k = 0; k < 16; ++k) {
          base += rng() % 64;
          const uint8_t* p = reinterpret_cast<const uint8_t*>(&base);
          out.insert(out.end(), p, p + 4);
        }
        break;
      }
      case 2:
        for (int k = 0; k < 32; ++k) out.push_back(static_cast<uint8_t>(rng()));
        break;
      default:
        out.insert(out.end(), 24 + rng() % 40, 0);
        break;
    }
  }
  out.resize(kCorpusSize);
  return out;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& in, int level) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> out(deflateBound(&z, in.size()));
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Both decoders write into the same kind of destination: one output buffer.
class BufferSink : public zip::TZipSink {
 public:
  explicit BufferSink(std::vector<uint8_t>& out) : out_(out) {}
  void Write(const uint8_t* data, size_t length) override {
    std::memcpy(out_.data() + pos_, data, length);
    pos_ += length;
  }
  size_t pos_ = 0;

 private:
  std::vector<uint8_t>& out_;
};

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

void Compare(const char* label, const std::vector<uint8_t>& plain, int level) {
  const std::vector<uint8_t> packed = Deflate(plain, level);
  std::vector<uint8_t> out(plain.size() + 512);
  double ours = 1e9, theirs = 1e9;
  for (int run = 0; run < 5; ++run) {
    auto t0 = std::chrono::steady_clock::now();
    zip::TMemorySource source(packed.data(), packed.size(), 32768);
    BufferSink sink(out);
    zip::TInflater inflater(source, sink);
    const bool ok = inflater.Run();
    auto t1 = std::chrono::steady_clock::now();
    if (!ok || sink.pos_ != plain.size() || std::memcmp(out.data(), plain.data(), plain.size()) != 0) {
      std::printf("%s: our output differs\n", label);
      return;
    }
    ours = std::min(ours, Seconds(t0, t1));

    t0 = std::chrono::steady_clock::now();
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = const_cast<Bytef*>(packed.data());
    z.avail_in = static_cast<uInt>(packed.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int r = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    t1 = std::chrono::steady_clock::now();
    if (r != Z_STREAM_END) std::printf("%s: zlib failed\n", label);
    theirs = std::min(theirs, Seconds(t0, t1));
  }
  const double mb = static_cast<double>(plain.size()) / (1 << 20);
  std::printf("%-8s level %d  %6.1f MB -> %5.1f MB   ours %7.1f MB/s   zlib %7.1f MB/s   ratio %.2f\n", label, level,
              mb, static_cast<double>(packed.size()) / (1 << 20), mb / ours, mb / theirs, theirs / ours);
}

}  // namespace

int main() {
  std::printf("inflate throughput, best of 5 (ratio = zlib time / our time; goal >= 0.80)\n");
  const auto text = TextCorpus();
  const auto binary = BinaryCorpus();
  for (int level : {1, 6, 9}) {
    Compare("text", text, level);
    Compare("binary", binary, level);
  }
  return 0;
}
