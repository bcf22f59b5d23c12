#include "core/session/PeerBounds.h"

#include <algorithm>
#include <utility>

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

bool TWaitingPlaces::Counts::Full(const std::string& address, bool ofAddress) const {
  if (!ofAddress) return static_cast<int>(held.size()) >= inAll;
  return std::count_if(held.begin(), held.end(), [&](const Held& h) { return h.address == address; }) >= perAddress;
}

TWaitingPlaces::TPlace TWaitingPlaces::Take(const std::string& address) {
  // Kept here: a withdrawal runs the holder's code.
  const std::shared_ptr<Counts> c = counts_;
  // The address's own bound first: a place given way there is one in all too.
  for (const bool ofAddress : {true, false}) {
    if (!c->Full(address, ofAddress)) continue;
    const auto gone = std::find_if(c->held.begin(), c->held.end(), [&](const Held& h) {
      return h.withdraw && (!ofAddress || h.address == address);
    });
    if (gone == c->held.end()) return {};
    // Taken out first: withdrawing gives the place back, and its entry with it.
    const std::function<void()> withdraw = std::exchange(gone->withdraw, nullptr);
    withdraw();
    if (c->Full(address, ofAddress)) return {};
  }
  c->held.push_back({++c->lastId, address, nullptr});
  return TPlace(c, c->lastId);
}

TWaitingPlaces::TPlace& TWaitingPlaces::TPlace::operator=(TPlace&& other) noexcept {
  if (this != &other) {
    GiveBack();
    counts_ = std::move(other.counts_);
    id_ = other.id_;
    other.counts_.reset();
  }
  return *this;
}

void TWaitingPlaces::TPlace::LinkClosed(std::function<void()> withdraw) {
  if (const std::shared_ptr<Counts> c = counts_.lock())
    for (Held& h : c->held)
      if (h.id == id_) h.withdraw = std::move(withdraw);
}

void TWaitingPlaces::TPlace::GiveBack() {
  const std::shared_ptr<Counts> c = counts_.lock();
  counts_.reset();
  if (!c) return;
  std::erase_if(c->held, [this](const Held& h) { return h.id == id_; });
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
