// Our deflate against zlib's on the same corpora in one run: compressed size
// and speed, with their ratios (ours / zlib's for size, ours / zlib's for
// throughput; speeds and the speed ratio are medians of five alternating rounds).
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BenchCorpus.h"
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

double Seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

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
  std::printf("%-11s %5s %8s %12s %12s %10s %10s %10s %10s %7s\n", "corpus", "level", "MiB", "ours bytes",
              "zlib bytes", "size ratio", "ours MB/s", "zlib MB/s", "speed rat.", "");
  // The machine is shared: ours and zlib take turns, five rounds a cell (the
  // first to go alternating), and the median of each side's speed is printed.
  constexpr int kRounds = 5;
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  for (auto& c : corpora) {
    c.data.resize(minBytes);
    for (int level : {1, 6, 9}) {
      uint64_t ours = 0;
      size_t ref = 0;
      std::vector<double> tOurs, tRef, ratios;
      for (int round = 0; round < kRounds; ++round) {
        double a = 0, b = 0;
        auto runOurs = [&] {
          TMemInput in(c.data);
          TCountOutput out;
          auto t0 = std::chrono::steady_clock::now();
          ours = deflater.Deflate(level, in, out);
          a = Seconds(t0);
        };
        auto runZlib = [&] {
          auto t0 = std::chrono::steady_clock::now();
          ref = ZlibDeflate(c.data, level, zbuf);
          b = Seconds(t0);
        };
        if (round % 2 == 0) {
          runOurs();
          runZlib();
        } else {
          runZlib();
          runOurs();
        }
        tOurs.push_back(a);
        tRef.push_back(b);
        ratios.push_back(b / a);
      }
      double mbytes = double(c.data.size()) / 1e6;
      double sizeRatio = double(ours) / double(ref);
      double speedRatio = median(ratios);
      std::printf("%-11s %5d %8.1f %12llu %12zu %10.4f %10.1f %10.1f %10.3f %7s\n", c.name, level,
                  double(c.data.size()) / (1 << 20), static_cast<unsigned long long>(ours), ref, sizeRatio,
                  mbytes / median(tOurs), mbytes / median(tRef), speedRatio,
                  sizeRatio <= 1.01 && speedRatio >= 0.8 ? "ok" : "MISS");
      std::fflush(stdout);
    }
  }
  return 0;
}
