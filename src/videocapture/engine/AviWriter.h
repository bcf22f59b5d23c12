#pragma once

// Writes AVI files: one video stream (MJPEG, uncompressed 24-bit DIB, or a
// camcorder's DV) and an optional sound stream (PCM, or what an encoder made
// of it), chunks in the order they arrive. The file carries the extended
// (OpenDML) indexes of every stream and, when asked, the old idx1 index that
// players of plain AVI files need. The first RIFF list stays
// under 1 GiB, as those players require; what follows goes into further
// "AVIX" lists, which only readers of the extended indexes see.
//
// The streaming thread of the video and that of the audio both write, so
// every call takes the writer's lock.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/DosFiles.h"
#include "videocapture/engine/AudioCodec.h"
#include "videocapture/engine/MediaFormat.h"

namespace videocapture::engine {

struct TAviVideoSpec {
  int width = 0;
  int height = 0;
  // kMjpg, kRgb24 for bottom-up 24-bit DIB rows, or kDvsd: DV frames as they
  // came, written as the interleaved stream of picture and sound they are.
  TSubType codec = kMjpg;
  TRefTime interval = kUnitsPerSecond / 15;
};

// PCM of that rate, width and channel count, or, with `coding`, the sound an
// encoder made of it.
struct TAviAudioSpec {
  unsigned rate = 22050;
  unsigned bits = 16;
  unsigned channels = 2;
  std::optional<TAudioCoding> coding;
  TAudioCoding Coding() const { return coding ? *coding : PcmCoding(rate, bits, channels); }
};

class TAviWriter {
 public:
  static constexpr std::int64_t kRiffLimit = std::int64_t(1) << 30;
  // Stream headers leave room for this many extended index parts, one per
  // RIFF list: about 256 GiB of capture.
  static constexpr int kSuperIndexEntries = 256;

  ~TAviWriter();

  // `keepFileSize` writes into an existing (preallocated) file without
  // cutting it short; the AVI's own length is in its RIFF headers.
  // `riffLimit` is for tests that need several RIFF lists without a GiB.
  bool Open(const std::string& fileName, const TAviVideoSpec& video, const std::optional<TAviAudioSpec>& audio,
            bool compatibilityIndex, bool keepFileSize, std::int64_t riffLimit = kRiffLimit);
  // A frame; an empty one stands for a frame that was dropped, so that the
  // frames after it keep their time.
  bool WriteVideo(const void* data, std::size_t size);
  bool WriteAudio(const void* data, std::size_t size);
  // Makes the video last `seconds`, whatever its frame rate said: the sound
  // is the master stream, and the frames are spread over its length.
  void StretchVideoTo(double seconds);
  // Completes the indexes and headers. False when anything failed on the way.
  bool Close();

  bool IsOpen() const;
  bool Failed() const;
  // The failure was a full disk (or a quota, or the file-size limit).
  bool OutOfSpace() const;
  std::string Error() const;
  std::int64_t VideoFrames() const;

 private:
  struct Entry {
    std::int64_t offset;  // of the chunk's data, in the file
    std::uint32_t size;
  };
  struct Stream {
    std::uint32_t chunkId;
    std::uint32_t indexId;  // "ix00", "ix01"
    std::vector<Entry> segment;  // the chunks of the current RIFF list
    struct Part {
      std::int64_t offset;
      std::uint32_t size, duration;
    };
    std::vector<Part> parts;  // written standard indexes
    std::int64_t chunks = 0, bytes = 0;
    std::uint32_t largest = 0;
  };

  bool WriteChunk(int stream, const void* data, std::size_t size);
  bool Put(const void* data, std::size_t size);
  bool Flush();
  bool PutAt(std::int64_t offset, const std::string& bytes);
  bool EndSegment();
  bool StartExtension();
  std::string Headers() const;
  std::uint32_t Duration(const Stream& s, std::int64_t chunks, std::int64_t bytes) const;
  bool Fail(const std::string& why);

  mutable std::mutex mutex_;
  platform::TOsFile file_;
  bool open_ = false;
  bool failed_ = false;
  bool outOfSpace_ = false;
  std::string error_;
  TAviVideoSpec video_;
  std::optional<TAviAudioSpec> audio_;
  TAudioCoding audioCoding_;
  double videoSeconds_ = 0;  // 0: as long as the frame rate makes it
  bool compatibilityIndex_ = true;
  std::int64_t riffLimit_ = kRiffLimit;
  std::vector<Stream> streams_;
  std::string buffer_;
  std::int64_t position_ = 0;  // where the next byte goes
  std::int64_t segmentStart_ = 0;  // of the current "RIFF"
  std::int64_t moviStart_ = 0;  // of the current "LIST" ... "movi"
  int segments_ = 1;
  std::int64_t firstSegmentFrames_ = 0;
  std::uint32_t firstRiffSize_ = 0, firstMoviSize_ = 0;
  std::vector<std::uint32_t> oldIndex_;  // idx1 entries, four words each
};

}  // namespace videocapture::engine
