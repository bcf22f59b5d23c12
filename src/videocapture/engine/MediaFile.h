#pragma once

// Media files as FFmpeg's libraries read them: every container and codec
// they know. ProbeMedia says what a file holds; TMediaVideo decodes the
// pictures of its first video stream to RGB24, TMediaSound the sound of its
// first sound stream to PCM, each read in order from where it was last
// sought to.
//
// Each reader has the file open on its own, so that pictures and sound are
// read at their own pace (a file whose sound lies far from its pictures needs
// no buffering), and each is used by one thread at a time. Decoding runs on
// that thread alone: no decoder starts threads of its own.
//
// The readers live in a module of their own (MediaFile.cpp, linked to
// FFmpeg's libraries), which MediaModule.cpp loads when a file is first
// probed or opened: a program that never plays a file neither loads those
// libraries nor the hundred-odd they bring with them. Until then, and when
// the module cannot be loaded, nothing of FFmpeg is in memory; the calls
// below then fail with the reason.

#include <cstdint>
#include <memory>
#include <string>

#include "videocapture/engine/AudioSource.h"
#include "videocapture/engine/MediaFormat.h"

namespace videocapture::engine {

// Pictures beyond this many pixels are refused: each decoded one costs
// three bytes a pixel, twice over (the decoder's and ours).
constexpr std::int64_t kMaxMediaPixels = 4096 * 4096;

struct TMediaInfo {
  int streams = 0;
  bool video = false;
  bool sound = false;
  double videoSeconds = 0;  // of the file's first video stream
};

// False, with FFmpeg's reason, when the file cannot be read as media (or
// with the module's, when it cannot be loaded).
bool ProbeMedia(const std::string& fileName, TMediaInfo& info, std::string& error);

class TMediaVideo {
 public:
  // Null, with the reason, when the file has no video that can be decoded.
  static std::unique_ptr<TMediaVideo> Open(const std::string& fileName, std::string& error);
  virtual ~TMediaVideo() = default;
  TMediaVideo(const TMediaVideo&) = delete;
  TMediaVideo& operator=(const TMediaVideo&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }
  // The time from one picture to the next as the stream states it.
  TRefTime Interval() const { return interval_; }
  TRefTime Duration() const { return duration_; }
  // The time of the stream's start in the file's own clock, which the
  // stream's sound shares (times below count from it).
  TRefTime Origin() const { return origin_; }
  // kMjpg, kRgb24, kDvsd or the stream's four-character code.
  TSubType Codec() const { return codec_; }
  // Whether the stream's packets are MJPEG chunks of an AVI file, which an
  // AVI writer can take as they are.
  bool AviMjpeg() const { return aviMjpeg_; }

  // The current picture: top row first, 24-bit, valid until the next call.
  // Its data is null until a picture was read.
  const TFrame& Picture() const { return picture_; }
  TRefTime Time() const { return time_; }
  // Reads the picture after the current one; false (the current one kept)
  // at the end of the stream.
  virtual bool Next() = 0;
  // Makes the picture on show at `position` the current one (to the nearest
  // picture's time; the one before a gap of lost frames in it). False when
  // the position lies past the stream's end, the last picture then being
  // the current one.
  virtual bool Seek(TRefTime position) = 0;
  // The next packet as stored, for copying; false at the end.
  virtual bool NextPacket(std::string& bytes, TRefTime& time) = 0;

 protected:
  // The module's reader sets these as it opens the file and reads on.
  TMediaVideo() = default;
  int width_ = 0, height_ = 0;
  TRefTime interval_ = 0, duration_ = 0, origin_ = 0;
  TSubType codec_ = 0;
  bool aviMjpeg_ = false;
  TFrame picture_;
  TRefTime time_ = 0;
};

class TMediaSound {
 public:
  // Null when the file has no sound that can be decoded. Sample positions
  // count from `origin` (a TMediaVideo's, so that both keep one clock).
  static std::unique_ptr<TMediaSound> Open(const std::string& fileName, TRefTime origin, std::string& error);
  virtual ~TMediaSound() = default;
  TMediaSound(const TMediaSound&) = delete;
  TMediaSound& operator=(const TMediaSound&) = delete;

  // The file's own rate, 16 bits (8 when the file has 8), one or two
  // channels (more are mixed down to two).
  TPcmFormat Format() const { return format_; }
  // Where the sound ends, counted from the origin; 0 when the file does not say.
  TRefTime End() const { return end_; }
  // Appends the sample frames [from, to): read on from where the last call
  // ended, sought to when `from` lies elsewhere. Where the stream has no
  // sound (before its first sample, after a gap) silence stands in; after
  // its end nothing is appended. Returns the sample frames appended.
  virtual std::int64_t Read(std::int64_t from, std::int64_t to, std::string& pcm) = 0;
  // The sound in order from the start, as it decodes; false at the end.
  virtual bool Next(std::string& pcm) = 0;

 protected:
  TMediaSound() = default;
  TPcmFormat format_;
  TRefTime end_ = 0;
};

// What the module hands out: the three entry points above, given the file's
// path as the system names it. Lives as long as the process.
class TMediaReaders {
 public:
  virtual bool Probe(const std::string& path, TMediaInfo& info, std::string& error) const = 0;
  virtual std::unique_ptr<TMediaVideo> OpenVideo(const std::string& path, std::string& error) const = 0;
  virtual std::unique_ptr<TMediaSound> OpenSound(const std::string& path, TRefTime origin,
                                                 std::string& error) const = 0;

 protected:
  ~TMediaReaders() = default;
};

// Objects cross between the program and the module as the declarations above
// lay them out, so a module built from other ones must not be used: it
// answers only to the version it was built with. Raise it with every change
// to this file.
constexpr int kMediaReadersVersion = 2;

}  // namespace videocapture::engine

// The module's one visible symbol: its readers, or null for another version.
extern "C" const videocapture::engine::TMediaReaders* ParloMediaReaders(int version);
