#include "videocapture/engine/AviReader.h"

#include <algorithm>

#include "platform/Exception.h"
#include "videocapture/engine/Riff.h"

namespace videocapture::engine {

namespace {

// Header lists are small; anything larger is no header we could use.
constexpr std::uint32_t kMaxHeaderBytes = 4 << 20;
constexpr std::uint32_t kMaxChunkBytes = 256 << 20;
constexpr int kMaxStreams = 16;
constexpr int kMaxDepth = 4;

constexpr std::uint32_t Id(const char (&s)[5]) { return FourCC(s[0], s[1], s[2], s[3]); }

// The stream number of a chunk code such as "01wb"; -1 when it has none.
int StreamOf(std::uint32_t id) {
  const int a = static_cast<int>(id & 0xFF) - '0', b = static_cast<int>((id >> 8) & 0xFF) - '0';
  if (a < 0 || a > 9 || b < 0 || b > 9) return -1;
  return a * 10 + b;
}

}  // namespace

bool TAviReader::Open(const std::string& fileName) {
  try {
    return Open(std::make_unique<TFileStream>(fileName, fmOpenRead | fmShareDenyWrite));
  } catch (const platform::EStreamError& e) {
    return Fail(e.what());
  }
}

bool TAviReader::Open(std::unique_ptr<TStream> stream) {
  stream_ = std::move(stream);
  streams_.clear();
  superIndexes_.clear();
  movis_.clear();
  idx1_.clear();
  error_.clear();
  aviLength_ = 0;
  chunkCount_ = 0;
  try {
    fileSize_ = stream_->Size();
    return Parse();
  } catch (const platform::EStreamError& e) {
    return Fail(e.what());
  }
}

bool TAviReader::Fail(const std::string& why) {
  error_ = why;
  streams_.clear();
  return false;
}

bool TAviReader::ReadAt(std::int64_t offset, std::size_t size, std::string& out) {
  if (offset < 0 || offset > fileSize_ || static_cast<std::uint64_t>(fileSize_ - offset) < size) return false;
  out.resize(size);
  if (size == 0) return true;
  stream_->SetPosition(offset);
  std::int64_t done = 0;
  while (done < static_cast<std::int64_t>(size)) {
    const std::int64_t got = stream_->Read(out.data() + done, static_cast<std::int64_t>(size) - done);
    if (got <= 0) return false;
    done += got;
  }
  return true;
}

bool TAviReader::Parse() {
  std::string head;
  if (!ReadAt(0, 12, head) || ReadU32(head, 0) != Id("RIFF") || ReadU32(head, 8) != Id("AVI "))
    return Fail("not an AVI file");
  std::string hdrl;
  // The top level: the first RIFF list, then any extension lists after it.
  for (std::int64_t riff = 0; riff + 12 <= fileSize_;) {
    std::string top;
    if (!ReadAt(riff, 12, top) || ReadU32(top, 0) != Id("RIFF")) break;
    const std::uint32_t form = ReadU32(top, 8);
    if (riff > 0 && form != Id("AVIX")) break;
    const std::int64_t end = std::min<std::int64_t>(riff + 8 + ReadU32(top, 4), fileSize_);
    for (std::int64_t at = riff + 12; at + 8 <= end;) {
      std::string chunk;
      if (!ReadAt(at, 12, chunk) && !ReadAt(at, 8, chunk)) break;
      const std::uint32_t id = ReadU32(chunk, 0), size = ReadU32(chunk, 4);
      const std::int64_t next = at + 8 + size + (size & 1);
      if (id == Id("LIST") && chunk.size() == 12) {
        const std::uint32_t type = ReadU32(chunk, 8);
        if (type == Id("movi")) movis_.push_back({at + 12, std::min(at + 8 + size, end)});
        else if (type == Id("hdrl") && riff == 0 && size <= kMaxHeaderBytes && !ReadAt(at + 12, size - 4, hdrl))
          return Fail("the stream headers are cut short");
      } else if (id == Id("idx1") && riff == 0 && size <= static_cast<std::uint64_t>(fileSize_)) {
        if (!ReadAt(at + 8, size, idx1_)) idx1_.clear();
      }
      at = next;
    }
    aviLength_ = end;
    riff = end + (end & 1);
  }
  if (hdrl.empty() || !ParseHeaders(hdrl)) return Fail("no stream headers");
  if (movis_.empty()) return Fail("no movi list");

  for (std::size_t i = 0; i < streams_.size(); ++i)
    if (!superIndexes_[i].empty()) IndexFromSuperIndex(superIndexes_[i]);
  const bool indexed = std::any_of(streams_.begin(), streams_.end(), [](const auto& s) { return !s.chunks.empty(); });
  if (!indexed && !idx1_.empty()) IndexFromIdx1(idx1_);
  if (std::all_of(streams_.begin(), streams_.end(), [](const auto& s) { return s.chunks.empty(); })) IndexByWalking();
  return true;
}

bool TAviReader::ParseHeaders(const std::string& hdrl) {
  for (std::size_t at = 0; at + 8 <= hdrl.size();) {
    const std::uint32_t id = ReadU32(hdrl, at), size = ReadU32(hdrl, at + 4);
    if (size > hdrl.size() - at - 8) break;
    if (id == Id("LIST") && size >= 4 && ReadU32(hdrl, at + 8) == Id("strl") &&
        static_cast<int>(streams_.size()) < kMaxStreams)
      ParseStreamList(hdrl.substr(at + 12, size - 4));
    at += 8 + size + (size & 1);
  }
  return !streams_.empty();
}

void TAviReader::ParseStreamList(const std::string& strl) {
  TAviStreamInfo s;
  std::string indx;
  for (std::size_t at = 0; at + 8 <= strl.size();) {
    const std::uint32_t id = ReadU32(strl, at), size = ReadU32(strl, at + 4);
    if (size > strl.size() - at - 8) break;
    const std::string body = strl.substr(at + 8, size);
    if (id == Id("strh") && size >= 48) {
      s.video = ReadU32(body, 0) == Id("vids");
      s.audio = ReadU32(body, 0) == Id("auds");
      s.scale = ReadU32(body, 20);
      s.rate = ReadU32(body, 24);
      s.length = ReadU32(body, 32);
    } else if (id == Id("strf") && s.video && size >= 40) {
      s.width = static_cast<std::int32_t>(ReadU32(body, 4));
      s.height = static_cast<std::int32_t>(ReadU32(body, 8));
      s.topDown = s.height < 0 && s.height > -16384 * 4;
      if (s.topDown) s.height = -s.height;
      s.bitCount = ReadU16(body, 14);
      const std::uint32_t compression = ReadU32(body, 16);
      s.codec = compression == 0 && s.bitCount == 24 ? kRgb24 : compression;
    } else if (id == Id("strf") && s.audio && size >= 16) {
      s.formatTag = ReadU16(body, 0);
      s.channels = ReadU16(body, 2);
      s.samplesPerSecond = ReadU32(body, 4);
      s.blockAlign = ReadU16(body, 12);
      s.bitsPerSample = ReadU16(body, 14);
    } else if (id == Id("indx")) {
      indx = body;
    }
    at += 8 + size + (size & 1);
  }
  if (s.video && (s.width <= 0 || s.height <= 0 || s.width > 16384 || s.height > 16384)) s.codec = 0;
  streams_.push_back(s);
  superIndexes_.push_back(indx);
}

void TAviReader::AddChunk(std::uint32_t id, std::int64_t dataOffset, std::uint32_t size) {
  const int n = StreamOf(id);
  // Every chunk takes at least its 8-byte header: more entries than that are
  // an index that repeats itself.
  if (chunkCount_ > fileSize_ / 8) return;
  if (n < 0 || n >= static_cast<int>(streams_.size()) || dataOffset < 0 || size > kMaxChunkBytes ||
      dataOffset > fileSize_ || fileSize_ - dataOffset < size)
    return;
  streams_[static_cast<std::size_t>(n)].chunks.push_back({dataOffset, size});
  ++chunkCount_;
}

void TAviReader::IndexFromSuperIndex(const std::string& indx) {
  // Only an index of indexes is read here; a stream without one is indexed otherwise.
  if (indx.size() < 24 || ReadU16(indx, 0) != 4 || static_cast<unsigned char>(indx.size() > 3 ? indx[3] : 1) != 0) return;
  const std::uint32_t parts = std::min<std::uint32_t>(ReadU32(indx, 4), static_cast<std::uint32_t>((indx.size() - 24) / 16));
  for (std::uint32_t p = 0; p < parts; ++p) {
    const std::int64_t offset = static_cast<std::int64_t>(ReadU64(indx, 24 + 16 * p));
    const std::uint32_t size = ReadU32(indx, 24 + 16 * p + 8);
    std::string ix;
    if (size < 32 || size > kMaxChunkBytes || !ReadAt(offset, size, ix)) continue;
    if (ReadU16(ix, 8) != 2 || static_cast<unsigned char>(ix[11]) != 1) continue;
    const std::uint32_t entries = std::min<std::uint32_t>(ReadU32(ix, 12), static_cast<std::uint32_t>((ix.size() - 32) / 8));
    const std::uint32_t id = ReadU32(ix, 16);
    const auto base = static_cast<std::int64_t>(ReadU64(ix, 20));
    if (base < 0) continue;
    for (std::uint32_t e = 0; e < entries; ++e)
      AddChunk(id, base + ReadU32(ix, 32 + 8 * e), ReadU32(ix, 32 + 8 * e + 4) & 0x7FFFFFFF);
  }
}

void TAviReader::IndexFromIdx1(const std::string& idx1) {
  const std::int64_t movi = movis_.front().start - 4;  // the "movi" code itself
  // Offsets count from the "movi" code in most files and from the file's start
  // in some; the first entry tells which by what it points at.
  std::int64_t base = movi;
  std::string probe;
  if (idx1.size() >= 16 && !(ReadAt(movi + ReadU32(idx1, 8), 4, probe) && ReadU32(probe, 0) == ReadU32(idx1, 0)))
    base = 0;
  for (std::size_t at = 0; at + 16 <= idx1.size(); at += 16) {
    const std::uint32_t id = ReadU32(idx1, at);
    if (id == Id("rec ")) continue;
    AddChunk(id, base + ReadU32(idx1, at + 8) + 8, ReadU32(idx1, at + 12));
  }
}

void TAviReader::IndexByWalking() {
  for (const Span& m : movis_) WalkMovi(m.start, m.end, 0);
}

void TAviReader::WalkMovi(std::int64_t start, std::int64_t end, int depth) {
  for (std::int64_t at = start; at + 8 <= end;) {
    std::string head;
    if (!ReadAt(at, 12, head) && !ReadAt(at, 8, head)) return;
    const std::uint32_t id = ReadU32(head, 0), size = ReadU32(head, 4);
    if (id == Id("LIST") && head.size() == 12) {
      if (depth < kMaxDepth) WalkMovi(at + 12, std::min<std::int64_t>(at + 8 + size, end), depth + 1);
    } else {
      AddChunk(id, at + 8, size);
    }
    at += 8 + static_cast<std::int64_t>(size) + (size & 1);
  }
}

int TAviReader::VideoStream() const {
  for (std::size_t i = 0; i < streams_.size(); ++i)
    if (streams_[i].video) return static_cast<int>(i);
  return -1;
}

int TAviReader::AudioStream() const {
  for (std::size_t i = 0; i < streams_.size(); ++i)
    if (streams_[i].audio) return static_cast<int>(i);
  return -1;
}

double TAviReader::Duration(int stream) const {
  if (stream < 0 || stream >= static_cast<int>(streams_.size())) return 0;
  const TAviStreamInfo& s = streams_[static_cast<std::size_t>(stream)];
  if (s.rate == 0) return 0;
  if (s.audio && s.blockAlign > 0 && s.samplesPerSecond > 0 && !s.chunks.empty()) {
    std::int64_t bytes = 0;
    for (const auto& c : s.chunks) bytes += c.size;
    return static_cast<double>(bytes) / s.blockAlign / s.samplesPerSecond;
  }
  const double units = static_cast<double>(s.chunks.empty() ? s.length : s.chunks.size());
  return units * s.scale / s.rate;
}

bool TAviReader::ReadChunk(int stream, std::size_t index, std::string& data) {
  if (stream < 0 || stream >= static_cast<int>(streams_.size())) return false;
  const auto& chunks = streams_[static_cast<std::size_t>(stream)].chunks;
  if (index >= chunks.size()) return false;
  try {
    return ReadAt(chunks[index].offset, chunks[index].size, data);
  } catch (const platform::EStreamError&) {
    return false;
  }
}

}  // namespace videocapture::engine
