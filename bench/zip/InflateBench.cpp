// Inflate throughput: our decoder against libdeflate's and zlib's on the same raw
// deflate streams (made by zlib at levels 1, 6 and 9): generated text, generated
// binary data and the machine's own files, 64 MiB each. The goal is at least 0.8
// of libdeflate's speed.

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "BenchCorpus.h"
#include "BenchRounds.h"
#include "zip/Inflate.h"

namespace {

constexpr size_t kCorpusSize = 64u << 20;
constexpr int kRounds = 5;

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

// Documentation, headers and shared libraries of this machine, a third each.
std::vector<uint8_t> FilesCorpus() {
  const size_t third = kCorpusSize / 3;
  std::string files = bench::TextCorpus(third).substr(0, third) + bench::SourceCorpus(third).substr(0, third) +
                      bench::BinaryCorpus(third).substr(0, third);
  files.resize(kCorpusSize, '\0');
  return std::vector<uint8_t>(files.begin(), files.end());
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

// Our decoder streams into a sink as it does inside an archive; the output lands in
// one buffer, as the whole-buffer decoders write theirs.
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

bool Ours(const std::vector<uint8_t>& packed, std::vector<uint8_t>& out, size_t& produced) {
  zip::TMemorySource source(packed.data(), packed.size(), 32768);
  BufferSink sink(out);
  zip::TInflater inflater(source, sink);
  const bool ok = inflater.Run();
  produced = sink.pos_;
  return ok;
}

bool Zlib(const std::vector<uint8_t>& packed, std::vector<uint8_t>& out, size_t& produced) {
  z_stream z{};
  inflateInit2(&z, -15);
  z.next_in = const_cast<Bytef*>(packed.data());
  z.avail_in = static_cast<uInt>(packed.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int r = inflate(&z, Z_FINISH);
  produced = z.total_out;
  inflateEnd(&z);
  return r == Z_STREAM_END;
}

bool Libdeflate(const std::vector<uint8_t>& packed, std::vector<uint8_t>& out, size_t& produced) {
  libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  const libdeflate_result r =
      libdeflate_deflate_decompress(d, packed.data(), packed.size(), out.data(), out.size(), &produced);
  libdeflate_free_decompressor(d);
  return r == LIBDEFLATE_SUCCESS;
}

using TDecoder = bool (*)(const std::vector<uint8_t>&, std::vector<uint8_t>&, size_t&);

void Compare(const char* label, const std::vector<uint8_t>& plain, int level) {
  const std::vector<uint8_t> packed = Deflate(plain, level);
  std::vector<uint8_t> out(plain.size() + 512);
  bool right = true;
  auto timed = [&](TDecoder decode) {
    return [&, decode] {
      size_t produced = 0;
      right &= decode(packed, out, produced) && produced == plain.size();
    };
  };
  auto check = [&](const char* who, TDecoder decode) {
    size_t produced = 0;
    std::fill(out.begin(), out.end(), 0);
    if (!decode(packed, out, produced) || produced != plain.size() || std::memcmp(out.data(), plain.data(), produced))
      std::printf("%s %s level %d: output differs\n", label, who, level), right = false;
  };
  check("ours", Ours);
  check("libdeflate", Libdeflate);
  check("zlib", Zlib);
  const auto clock = bench::TClock::kThread;
  const bench::TRoundTimes vsLibdeflate = bench::Alternate(kRounds, timed(Ours), timed(Libdeflate), clock);
  const bench::TRoundTimes vsZlib = bench::Alternate(kRounds, timed(Ours), timed(Zlib), clock);
  if (!right) std::printf("%s level %d: a decoder failed while timed\n", label, level);
  const double mb = static_cast<double>(plain.size()) / 1e6;
  std::printf("%-7s level %d %6.1f MB -> %5.1f MB  ours %6.0f MB/s  libdeflate %6.0f MB/s  zlib %6.0f MB/s  "
              "zlib speed ratio %.2f  libdeflate speed ",
              label, level, mb, static_cast<double>(packed.size()) / 1e6, mb / vsLibdeflate.ours,
              mb / vsLibdeflate.theirs, mb / vsZlib.theirs, vsZlib.ratio);
  bench::PrintVerdict(vsLibdeflate.ratio, ">=", 0.8);
  std::printf("\n");
  std::fflush(stdout);
}

}  // namespace

int main() {
  std::printf("inflate throughput, median of %d alternating rounds, thread CPU time; speed ratio = their time / "
              "our time\n",
              kRounds);
  std::vector<std::pair<const char*, std::vector<uint8_t>>> corpora;
  corpora.emplace_back("text", TextCorpus());
  corpora.emplace_back("binary", BinaryCorpus());
  corpora.emplace_back("files", FilesCorpus());
  for (const auto& [label, plain] : corpora) {
    for (int level : {1, 6, 9}) Compare(label, plain, level);
  }
  return 0;
}
