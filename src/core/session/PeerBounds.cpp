#include "core/session/PeerBounds.h"

#include <algorithm>

std::string CutPeerText(const std::string& text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t cut = limit;
  if (cut > 0 && text[cut - 1] == '\r' && text[cut] == '\n') --cut;
  return text.substr(0, cut) + "...";
}

TWaitingPlaces::TWaitingPlaces(int inAll, int perAddress) {
  counts_->inAll = inAll;
  counts_->perAddress = perAddress;
}

TWaitingPlaces::TPlace TWaitingPlaces::Take(const std::string& address) {
  Counts& c = *counts_;
  const auto it = c.byAddress.find(address);
  const int fromAddress = it == c.byAddress.end() ? 0 : it->second;
  if (c.taken >= c.inAll || fromAddress >= c.perAddress) return {};
  ++c.taken;
  ++c.byAddress[address];
  return TPlace(counts_, address);
}

TWaitingPlaces::TPlace& TWaitingPlaces::TPlace::operator=(TPlace&& other) noexcept {
  if (this != &other) {
    GiveBack();
    counts_ = std::move(other.counts_);
    address_ = std::move(other.address_);
    other.counts_.reset();
  }
  return *this;
}

void TWaitingPlaces::TPlace::GiveBack() {
  const std::shared_ptr<Counts> c = counts_.lock();
  counts_.reset();
  if (!c) return;
  --c->taken;
  const auto it = c->byAddress.find(address_);
  if (it != c->byAddress.end() && --it->second <= 0) c->byAddress.erase(it);
}

int peerbounds::PictureScans(std::int64_t pixels) {
  const std::int64_t scans = kPictureScanPixels / std::max<std::int64_t>(pixels, 1);
  return static_cast<int>(std::clamp<std::int64_t>(scans, kPictureScansLeast, kPictureScansMost));
}

TPictureCost::TPictureCost(std::int64_t pixels, std::size_t bytes)
    : ns_(pixels * peerbounds::kPicturePixelNs + static_cast<std::int64_t>(bytes) * peerbounds::kPictureByteNs) {}

bool TPictureCost::AddScan(const platform::TJpegScan& scan) {
  using namespace peerbounds;
  std::int64_t block = kHuffmanBlockNs;
  if (scan.Arithmetic)
    block = kArithmeticBlockNs +
            scan.Coefficients * (scan.Refining ? kArithmeticRefinedCoefficientNs : kArithmeticCoefficientNs);
  ns_ += kScanNs + scan.Blocks * block;
  return ns_ <= kPictureDecodeNs;
}
