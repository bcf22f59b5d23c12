// Our deflate against zlib's on the same corpora in one run: compressed size
// and speed, with their ratios (ours / zlib's for size, zlib's time / ours for
// speed; speeds and the speed ratio are medians of five alternating rounds). The
// goals: no larger than zlib's output and at least as fast, at every level.
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BenchCorpus.h"
#include "BenchRounds.h"
#include "zip/Deflate.h"

namespace {

class TMemInput : public zip::TDeflateInput {
 public:
  explicit TMemInput(const std::string& d) : data_(d) {}
  size_t Read(uint8_t* buffer, size_t size) override {
    size_t n = std::min(size, data_.size() - pos_);
    std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return n;
  }

 private:
  const std::string& data_;
  size_t pos_ = 0;
};

// Counts bytes and keeps the last buffer warm, like a file write would.
class TCountOutput : public zip::TDeflateOutput {
 public:
  void Write(const uint8_t* data, size_t size) override {
    total += size;
    sink ^= data[size - 1];
  }
  size_t total = 0;
  uint8_t sink = 0;
};

constexpr int kRounds = 5;

size_t ZlibDeflate(const std::string& data, int level, std::string& buf) {
  z_stream zs{};
  deflateInit2(&zs, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  size_t total = 0;
  int rc;
  do {
    zs.next_out = reinterpret_cast<Bytef*>(buf.data());
    zs.avail_out = static_cast<uInt>(buf.size());
    rc = deflate(&zs, Z_FINISH);
    total += buf.size() - zs.avail_out;
  } while (rc == Z_OK);
  deflateEnd(&zs);
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  size_t mb = argc > 1 ? std::stoul(argv[1]) : 50;
  const size_t minBytes = mb << 20;
  struct TCorpus {
    const char* name;
    std::string data;
  } corpora[] = {
      {"text", bench::TextCorpus(minBytes)},
      {"source", bench::SourceCorpus(minBytes)},
      {"binary", bench::BinaryCorpus(minBytes)},
      {"compressed", bench::CompressedCorpus(minBytes)},
  };
  std::string zbuf(1 << 20, '\0');
  zip::TDeflater deflater;
  std::printf("goals: size ratio (ours / zlib bytes) <= 1.0000, speed ratio (zlib time / ours) >= 1.0000; "
              "median of %d alternating rounds, thread CPU time\n",
              kRounds);
  std::printf("%-11s %5s %8s %12s %12s %10s %10s\n", "corpus", "level", "MiB", "ours bytes", "zlib bytes", "ours MB/s",
              "zlib MB/s");
  for (auto& c : corpora) {
    c.data.resize(minBytes);
    for (int level : {1, 6, 9}) {
      uint64_t ours = 0;
      size_t ref = 0;
      const bench::TRoundTimes t = bench::Alternate(
          kRounds,
          [&] {
            TMemInput in(c.data);
            TCountOutput out;
            ours = deflater.Deflate(level, in, out);
          },
          [&] { ref = ZlibDeflate(c.data, level, zbuf); }, bench::TClock::kThread);
      const double mbytes = double(c.data.size()) / 1e6;
      std::printf("%-11s %5d %8.1f %12llu %12zu %10.1f %10.1f   size ", c.name, level,
                  double(c.data.size()) / (1 << 20), static_cast<unsigned long long>(ours), ref, mbytes / t.ours,
                  mbytes / t.theirs);
      bench::PrintVerdict(double(ours) / double(ref), "<=", 1.0);
      std::printf("   speed ");
      bench::PrintVerdict(t.ratio, ">=", 1.0);
      std::printf("\n");
      std::fflush(stdout);
    }
  }
  return 0;
}
