#include "videocapture/engine/AviWriter.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <numeric>

#include "videocapture/engine/Riff.h"

namespace videocapture::engine {

namespace {

constexpr std::size_t kBufferBytes = 1 << 20;
constexpr std::uint32_t kKeyFrame = 0x10;    // idx1: every chunk we write stands alone
constexpr std::uint32_t kHasIndex = 0x10;    // avih: an idx1 follows the first movi list
constexpr std::uint32_t kIndexOfIndexes = 0;
constexpr std::uint32_t kIndexOfChunks = 1;

constexpr std::uint32_t Id(const char (&s)[5]) { return FourCC(s[0], s[1], s[2], s[3]); }

std::int64_t Padded(std::size_t size) { return static_cast<std::int64_t>(size + (size & 1)); }

// The bytes of a standard index chunk of `entries` chunks.
std::int64_t IndexChunkBytes(std::size_t entries) { return 8 + 24 + 8 * static_cast<std::int64_t>(entries); }

}  // namespace

TAviWriter::~TAviWriter() {
  if (IsOpen()) Close();
}

bool TAviWriter::Open(const std::string& fileName, const TAviVideoSpec& video, const std::optional<TAviAudioSpec>& audio,
                      bool compatibilityIndex, bool keepFileSize, std::int64_t riffLimit) {
  std::lock_guard lock(mutex_);
  const TAudioCoding coding = audio ? audio->Coding() : TAudioCoding{};
  if (open_ || video.width <= 0 || video.height <= 0 || video.interval <= 0 ||
      (audio && (coding.blockAlign == 0 || coding.rate == 0 || coding.scale == 0 || coding.unitRate == 0)))
    return false;
  video_ = video;
  audio_ = audio;
  audioCoding_ = coding;
  videoSeconds_ = 0;
  compatibilityIndex_ = compatibilityIndex;
  riffLimit_ = riffLimit;
  failed_ = outOfSpace_ = false;
  error_.clear();
  streams_.clear();
  streams_.push_back({Id(video.codec == kRgb24 ? "00db" : "00dc"), Id("ix00"), {}, {}, 0, 0, 0});
  if (audio_) streams_.push_back({Id("01wb"), Id("ix01"), {}, {}, 0, 0, 0});
  if (!file_.Open(fileName, keepFileSize ? platform::fmOpenReadWrite : platform::fmCreate)) {
    error_ = file_.LastError();
    return false;
  }
  open_ = true;
  buffer_.clear();
  position_ = segmentStart_ = 0;
  segments_ = 1;
  firstSegmentFrames_ = 0;
  firstRiffSize_ = firstMoviSize_ = 0;
  oldIndex_.clear();
  const std::string headers = Headers();
  moviStart_ = static_cast<std::int64_t>(headers.size()) - 4;
  return Put(headers.data(), headers.size());
}

bool TAviWriter::WriteVideo(const void* data, std::size_t size) {
  std::lock_guard lock(mutex_);
  return WriteChunk(0, data, size);
}

bool TAviWriter::WriteAudio(const void* data, std::size_t size) {
  std::lock_guard lock(mutex_);
  if (!audio_ || size == 0) return false;
  return WriteChunk(1, data, size - size % audioCoding_.blockAlign);
}

void TAviWriter::StretchVideoTo(double seconds) {
  std::lock_guard lock(mutex_);
  if (seconds > 0) videoSeconds_ = seconds;
}

bool TAviWriter::WriteChunk(int index, const void* data, std::size_t size) {
  if (!open_ || failed_) return false;
  if (size > 0x7FFFFFFF) return Fail("a frame larger than 2 GiB");
  Stream& stream = streams_[static_cast<std::size_t>(index)];
  // Would this chunk, with the indexes that close the list, break the limit?
  std::int64_t end = position_ + 8 + Padded(size);
  bool any = false;
  for (const Stream& s : streams_) {
    end += IndexChunkBytes(s.segment.size() + (&s == &stream));
    any = any || !s.segment.empty();
  }
  if (segments_ == 1 && compatibilityIndex_) end += 8 + 16 * static_cast<std::int64_t>(oldIndex_.size() / 4 + 1);
  if (any && end - segmentStart_ > riffLimit_ && !(EndSegment() && StartExtension())) return false;

  if (segments_ == 1 && compatibilityIndex_)
    oldIndex_.insert(oldIndex_.end(), {stream.chunkId, kKeyFrame, static_cast<std::uint32_t>(position_ - moviStart_),
                                       static_cast<std::uint32_t>(size)});
  stream.segment.push_back({position_ + 8, static_cast<std::uint32_t>(size)});
  ++stream.chunks;
  stream.bytes += static_cast<std::int64_t>(size);
  if (size > stream.largest) stream.largest = static_cast<std::uint32_t>(size);
  if (index == 0 && segments_ == 1) ++firstSegmentFrames_;
  TRiffBuilder header;
  header.U32(stream.chunkId).U32(static_cast<std::uint32_t>(size));
  static const char pad = 0;
  return Put(header.Str().data(), header.Size()) && (size == 0 || Put(data, size)) && (size % 2 == 0 || Put(&pad, 1));
}

bool TAviWriter::EndSegment() {
  for (std::size_t i = 0; i < streams_.size(); ++i) {
    Stream& s = streams_[i];
    if (s.segment.empty()) continue;
    if (s.parts.size() >= kSuperIndexEntries) return Fail("the file has grown past what its index can hold");
    // Offsets are counted from the segment's start, which keeps them in 32 bits.
    TRiffBuilder body;
    body.U16(2).U8(0).U8(kIndexOfChunks).U32(static_cast<std::uint32_t>(s.segment.size())).U32(s.chunkId);
    body.U64(static_cast<std::uint64_t>(segmentStart_)).U32(0);
    std::int64_t bytes = 0;
    for (const Entry& e : s.segment) {
      body.U32(static_cast<std::uint32_t>(e.offset - segmentStart_)).U32(e.size);
      bytes += e.size;
    }
    s.parts.push_back({position_, static_cast<std::uint32_t>(8 + body.Size()),
                       Duration(s, static_cast<std::int64_t>(s.segment.size()), bytes)});
    TRiffBuilder chunk;
    chunk.Chunk(s.indexId, body.Str());
    if (!Put(chunk.Str().data(), chunk.Size())) return false;
    s.segment.clear();
  }
  const auto moviSize = static_cast<std::uint32_t>(position_ - moviStart_);
  TRiffBuilder size;
  if (!PutAt(moviStart_ - 4, size.U32(moviSize).Str())) return false;
  if (segments_ == 1) firstMoviSize_ = moviSize;
  if (segments_ == 1 && compatibilityIndex_) {
    TRiffBuilder idx1;
    idx1.U32(Id("idx1")).U32(static_cast<std::uint32_t>(oldIndex_.size() * 4));
    for (std::uint32_t word : oldIndex_) idx1.U32(word);
    if (!Put(idx1.Str().data(), idx1.Size())) return false;
  }
  const auto riffSize = static_cast<std::uint32_t>(position_ - segmentStart_ - 8);
  if (segments_ == 1) firstRiffSize_ = riffSize;
  TRiffBuilder riff;
  return PutAt(segmentStart_ + 4, riff.U32(riffSize).Str());
}

bool TAviWriter::StartExtension() {
  segmentStart_ = position_;
  ++segments_;
  TRiffBuilder b;
  b.U32(Id("RIFF")).U32(0).U32(Id("AVIX")).U32(Id("LIST")).U32(0).U32(Id("movi"));
  moviStart_ = segmentStart_ + 20;
  return Put(b.Str().data(), b.Size());
}

std::uint32_t TAviWriter::Duration(const Stream& s, std::int64_t chunks, std::int64_t bytes) const {
  if (&s == &streams_[0] || audioCoding_.sampleSize == 0) return static_cast<std::uint32_t>(chunks);
  return static_cast<std::uint32_t>(bytes / audioCoding_.sampleSize);
}

namespace {

// The rate as a fraction: a whole rate, or an NTSC one (30000/1001), when the
// interval is one rounded to 100 ns from it.
void RateOf(TRefTime interval, std::uint32_t& rate, std::uint32_t& scale) {
  const double fps = static_cast<double>(kUnitsPerSecond) / static_cast<double>(interval);
  for (const std::uint32_t s : {1u, 1001u}) {
    const double r = std::round(fps * s / (s == 1 ? 1 : 1000)) * (s == 1 ? 1 : 1000);
    if (r > 0 && std::llabs(std::llround(static_cast<double>(kUnitsPerSecond) * s / r) - interval) <= 1) {
      rate = static_cast<std::uint32_t>(r);
      scale = s;
      return;
    }
  }
  const std::int64_t g = std::gcd(interval, kUnitsPerSecond);
  scale = static_cast<std::uint32_t>(interval / g);
  rate = static_cast<std::uint32_t>(kUnitsPerSecond / g);
}

}  // namespace

std::string TAviWriter::Headers() const {
  const Stream& v = streams_[0];
  TRefTime interval = video_.interval;
  if (videoSeconds_ > 0 && v.chunks > 0)
    interval = std::max<TRefTime>(1, std::llround(videoSeconds_ * kUnitsPerSecond / static_cast<double>(v.chunks)));
  std::uint32_t rate, scale;
  RateOf(interval, rate, scale);
  const bool dib = video_.codec == kRgb24;
  const auto imageBytes = static_cast<std::uint32_t>(Rgb24Stride(video_.width) * static_cast<std::size_t>(video_.height));
  std::uint32_t largest = 0;
  for (const Stream& s : streams_) largest = std::max(largest, s.largest);

  auto superIndex = [](const Stream& s) {
    TRiffBuilder b;
    b.U16(4).U8(0).U8(kIndexOfIndexes).U32(static_cast<std::uint32_t>(s.parts.size())).U32(s.chunkId).Zeros(12);
    for (const auto& p : s.parts) b.U64(static_cast<std::uint64_t>(p.offset)).U32(p.size).U32(p.duration);
    b.Zeros(16 * (kSuperIndexEntries - s.parts.size()));
    return b.Str();
  };

  TRiffBuilder avih;
  avih.U32(static_cast<std::uint32_t>(interval / 10));
  const double fps = static_cast<double>(kUnitsPerSecond) / static_cast<double>(interval);
  avih.U32(static_cast<std::uint32_t>(v.largest * fps) + (audio_ ? audioCoding_.avgBytesPerSec : 0));
  avih.U32(0).U32(compatibilityIndex_ ? kHasIndex : 0);
  avih.U32(static_cast<std::uint32_t>(segments_ == 1 ? v.chunks : firstSegmentFrames_));
  avih.U32(0).U32(static_cast<std::uint32_t>(streams_.size())).U32(largest + 8);
  avih.U32(static_cast<std::uint32_t>(video_.width)).U32(static_cast<std::uint32_t>(video_.height)).Zeros(16);

  // DV goes in as the interleaved stream of picture and sound it is; its
  // format block (DVINFO) may stay empty, the frames carry their own packs.
  const bool dv = video_.codec == kDvsd;
  TRiffBuilder strh;
  strh.U32(Id(dv ? "iavs" : "vids")).U32(dib ? Id("DIB ") : video_.codec).U32(0).U16(0).U16(0).U32(0);
  strh.U32(scale).U32(rate).U32(0).U32(static_cast<std::uint32_t>(v.chunks)).U32(v.largest).U32(0xFFFFFFFF).U32(0);
  strh.U16(0).U16(0).U16(static_cast<std::uint16_t>(video_.width)).U16(static_cast<std::uint16_t>(video_.height));
  TRiffBuilder strf;
  if (dv) {
    strf.Zeros(32);
  } else {
    strf.U32(40).U32(static_cast<std::uint32_t>(video_.width)).U32(static_cast<std::uint32_t>(video_.height));
    strf.U16(1).U16(24).U32(dib ? 0 : video_.codec).U32(imageBytes).Zeros(16);
  }
  TRiffBuilder strl;
  strl.Chunk(Id("strh"), strh.Str()).Chunk(Id("strf"), strf.Str()).Chunk(Id("indx"), superIndex(v));

  TRiffBuilder hdrl;
  hdrl.Chunk(Id("avih"), avih.Str()).List(Id("strl"), strl.Str());
  if (audio_) {
    const Stream& a = streams_[1];
    const TAudioCoding& c = audioCoding_;
    TRiffBuilder ah;
    ah.U32(Id("auds")).U32(0).U32(0).U16(0).U16(0).U32(0);
    ah.U32(c.scale).U32(c.unitRate).U32(0).U32(Duration(a, a.chunks, a.bytes));
    ah.U32(a.largest).U32(0xFFFFFFFF).U32(c.sampleSize).Zeros(8);
    TRiffBuilder wave;
    wave.U16(c.formatTag).U16(static_cast<std::uint16_t>(c.channels)).U32(c.rate).U32(c.avgBytesPerSec);
    wave.U16(static_cast<std::uint16_t>(c.blockAlign)).U16(static_cast<std::uint16_t>(c.bitsPerSample));
    wave.U16(static_cast<std::uint16_t>(c.extra.size())).Bytes(c.extra);
    TRiffBuilder astrl;
    astrl.Chunk(Id("strh"), ah.Str()).Chunk(Id("strf"), wave.Str()).Chunk(Id("indx"), superIndex(a));
    hdrl.List(Id("strl"), astrl.Str());
  }
  TRiffBuilder dmlh;
  dmlh.U32(static_cast<std::uint32_t>(v.chunks)).Zeros(244);
  TRiffBuilder odml;
  odml.Chunk(Id("dmlh"), dmlh.Str());
  hdrl.List(Id("odml"), odml.Str());

  TRiffBuilder all;
  all.U32(Id("RIFF")).U32(firstRiffSize_).U32(Id("AVI ")).List(Id("hdrl"), hdrl.Str());
  all.U32(Id("LIST")).U32(firstMoviSize_).U32(Id("movi"));
  return all.Str();
}

bool TAviWriter::Close() {
  std::lock_guard lock(mutex_);
  if (!open_) return false;
  if (!failed_ && EndSegment()) PutAt(0, Headers());
  Flush();
  // A write the system only took into its cache can still fail on the way to
  // the disk (a full disk on a network share, a quota); the file is only
  // whole once it is there.
  if (!failed_ && !file_.FlushToDisk()) Fail(std::strerror(errno));
  file_.Close();
  open_ = false;
  return !failed_;
}

bool TAviWriter::Put(const void* data, std::size_t size) {
  if (failed_) return false;
  buffer_.append(static_cast<const char*>(data), size);
  position_ += static_cast<std::int64_t>(size);
  return buffer_.size() < kBufferBytes || Flush();
}

bool TAviWriter::Flush() {
  if (failed_ || buffer_.empty()) return !failed_;
  const auto written = file_.Write(buffer_.data(), static_cast<std::int64_t>(buffer_.size()));
  if (written != static_cast<std::int64_t>(buffer_.size())) {
    outOfSpace_ = file_.OutOfSpace();
    return Fail(file_.LastError());
  }
  buffer_.clear();
  return true;
}

bool TAviWriter::PutAt(std::int64_t offset, const std::string& bytes) {
  if (!Flush()) return false;
  if (file_.Seek(offset, 0) != offset ||
      file_.Write(bytes.data(), static_cast<std::int64_t>(bytes.size())) != static_cast<std::int64_t>(bytes.size()) ||
      file_.Seek(position_, 0) != position_) {
    outOfSpace_ = file_.OutOfSpace();
    return Fail(file_.LastError());
  }
  return true;
}

bool TAviWriter::Fail(const std::string& why) {
  failed_ = true;
  if (error_.empty()) error_ = why;
  return false;
}

bool TAviWriter::IsOpen() const {
  std::lock_guard lock(mutex_);
  return open_;
}
bool TAviWriter::Failed() const {
  std::lock_guard lock(mutex_);
  return failed_;
}
bool TAviWriter::OutOfSpace() const {
  std::lock_guard lock(mutex_);
  return outOfSpace_;
}
std::string TAviWriter::Error() const {
  std::lock_guard lock(mutex_);
  return error_;
}
std::int64_t TAviWriter::VideoFrames() const {
  std::lock_guard lock(mutex_);
  return streams_.empty() ? 0 : streams_[0].chunks;
}

}  // namespace videocapture::engine
