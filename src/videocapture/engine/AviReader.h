#pragma once

// Reads AVI files: their streams, the place of every chunk (from the extended
// indexes, the idx1 index, or by walking the movi lists when neither is
// there), and the chunks themselves. Every size and offset is checked against
// the file before it is used: a damaged file is refused or loses the chunks
// that lie outside it, it never makes the reader read elsewhere.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Stream.h"
#include "videocapture/engine/MediaFormat.h"

namespace videocapture::engine {

struct TAviChunkRef {
  std::int64_t offset;  // of the data
  std::uint32_t size;
};

struct TAviStreamInfo {
  bool video = false;
  bool audio = false;
  // Video: the compression code, kRgb24 for uncompressed DIB rows.
  TSubType codec = 0;
  int width = 0, height = 0, bitCount = 0;
  bool topDown = false;  // DIB rows stored top first (a negative height)
  std::uint32_t scale = 0, rate = 0, length = 0;
  // Audio: the WAVEFORMATEX fields.
  std::uint16_t formatTag = 0, channels = 0, bitsPerSample = 0, blockAlign = 0;
  std::uint32_t samplesPerSecond = 0;
  std::vector<TAviChunkRef> chunks;
};

class TAviReader {
 public:
  // False, with the reason in Error(), for what is no readable AVI file.
  bool Open(const std::string& fileName);
  bool Open(std::unique_ptr<TStream> stream);

  const std::vector<TAviStreamInfo>& Streams() const { return streams_; }
  // The first video (or audio) stream; -1 when there is none.
  int VideoStream() const;
  int AudioStream() const;
  // Seconds: the chunk count (for audio the byte count) in the stream's time units.
  double Duration(int stream) const;
  // The length of the AVI's own RIFF lists, which may be less than the file's.
  std::int64_t AviLength() const { return aviLength_; }
  bool ReadChunk(int stream, std::size_t index, std::string& data);
  const std::string& Error() const { return error_; }

 private:
  struct Span {
    std::int64_t start, end;
  };
  bool Parse();
  bool ReadAt(std::int64_t offset, std::size_t size, std::string& out);
  bool ParseHeaders(const std::string& hdrl);
  void ParseStreamList(const std::string& strl);
  void IndexFromSuperIndex(const std::string& indx);
  void IndexFromIdx1(const std::string& idx1);
  void IndexByWalking();
  void WalkMovi(std::int64_t start, std::int64_t end, int depth);
  void AddChunk(std::uint32_t id, std::int64_t dataOffset, std::uint32_t size);
  bool Fail(const std::string& why);

  std::unique_ptr<TStream> stream_;
  std::int64_t fileSize_ = 0;
  std::int64_t aviLength_ = 0;
  std::int64_t chunkCount_ = 0;
  std::vector<TAviStreamInfo> streams_;
  std::vector<std::string> superIndexes_;
  std::vector<Span> movis_;
  std::string idx1_;
  std::string error_;
};

}  // namespace videocapture::engine
