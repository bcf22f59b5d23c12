// The media module: the readers of MediaFile.h on FFmpeg's libraries. It is
// built apart from the component and linked to those libraries alone, and
// shows nothing but ParloMediaReaders to the program that loads it.

#include "videocapture/engine/MediaFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace videocapture::engine {

namespace {

constexpr AVRational kRefTimeBase{1, static_cast<int>(kUnitsPerSecond)};
// A file that names no frame rate is shown at the rate of most video.
constexpr TRefTime kDefaultInterval = kUnitsPerSecond / 25;

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

TRefTime ToRefTime(std::int64_t ts, AVRational base) { return av_rescale_q(ts, base, kRefTimeBase); }

// One stream of a file and its decoder.
class TMediaDemuxer {
 public:
  ~TMediaDemuxer() {
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    av_packet_free(&packet);
    av_frame_free(&frame);
  }

  // Opens the file and, unless `type` is unknown, the decoder of its best
  // stream of that type.
  bool Open(const std::string& path, AVMediaType type, std::string& error) {
    static std::once_flag quiet;
    // FFmpeg's errors stay in the log, as the note of damaged data passed
    // over; its warnings and notes would flood it.
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });
    packet = av_packet_alloc();
    frame = av_frame_alloc();
    if (!packet || !frame) return Fail(AVERROR(ENOMEM), error);
    // A file, and only files: a playlist inside one must not reach the network.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const std::string url = "file:" + path;
    int rc = avformat_open_input(&format, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (rc < 0) return Fail(rc, error);
    if ((rc = avformat_find_stream_info(format, nullptr)) < 0) return Fail(rc, error);
    if (type == AVMEDIA_TYPE_UNKNOWN) return true;
    const AVCodec* decoder = nullptr;
    stream = av_find_best_stream(format, type, -1, -1, &decoder, 0);
    if (stream < 0) return Fail(stream, error);
    for (unsigned i = 0; i < format->nb_streams; ++i)
      if (static_cast<int>(i) != stream) format->streams[i]->discard = AVDISCARD_ALL;
    codec = avcodec_alloc_context3(decoder);
    if (!codec) return Fail(AVERROR(ENOMEM), error);
    if ((rc = avcodec_parameters_to_context(codec, Stream()->codecpar)) < 0) return Fail(rc, error);
    codec->thread_count = 1;
    codec->max_pixels = kMaxMediaPixels;
    codec->pkt_timebase = Stream()->time_base;
    if ((rc = avcodec_open2(codec, decoder, nullptr)) < 0) return Fail(rc, error);
    return true;
  }

  AVStream* Stream() const { return format->streams[stream]; }

  // The next packet of the stream in `packet`; false at the end of the file
  // (or where it can no longer be read). Empty packets (an AVI's lost
  // frames) are passed over: a decoder takes one for the end of the stream,
  // and the time stamps after them keep the gap.
  bool ReadPacket() {
    for (;;) {
      av_packet_unref(packet);
      if (av_read_frame(format, packet) < 0) return false;
      if (packet->stream_index == stream && packet->size > 0) return true;
    }
  }

  // Decodes on into `frame`; false at the end. A packet that does not
  // decode is passed over, as a frame lost on the way is.
  bool Decode() {
    for (;;) {
      const int rc = avcodec_receive_frame(codec, frame);
      if (rc == 0) return true;
      if (rc == AVERROR_EOF || flushing) return false;
      if (ReadPacket()) {
        avcodec_send_packet(codec, packet);
        av_packet_unref(packet);
      } else {
        flushing = true;
        avcodec_send_packet(codec, nullptr);
      }
    }
  }

  // To the key frame at or before `ts` (in the stream's time base).
  bool Seek(std::int64_t ts) {
    int rc = av_seek_frame(format, stream, ts, AVSEEK_FLAG_BACKWARD);
    if (rc < 0) rc = avformat_seek_file(format, stream, INT64_MIN, ts, INT64_MAX, 0);
    avcodec_flush_buffers(codec);
    flushing = false;
    return rc >= 0;
  }

  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  int stream = -1;
  bool flushing = false;

 private:
  static bool Fail(int code, std::string& error) {
    error = AvError(code);
    return false;
  }
};

bool ProbeFile(const std::string& path, TMediaInfo& info, std::string& error) {
  TMediaDemuxer demux;
  if (!demux.Open(path, AVMEDIA_TYPE_UNKNOWN, error)) return false;
  info = {};
  info.streams = static_cast<int>(demux.format->nb_streams);
  const int video = av_find_best_stream(demux.format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  info.video = video >= 0;
  info.sound = av_find_best_stream(demux.format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) >= 0;
  if (!info.video) return true;
  // The length is the first video stream's, which need not be the one played.
  const AVStream* st = nullptr;
  for (unsigned i = 0; !st && i < demux.format->nb_streams; ++i)
    if (demux.format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) st = demux.format->streams[i];
  if (st->duration != AV_NOPTS_VALUE)
    info.videoSeconds = static_cast<double>(st->duration) * st->time_base.num / st->time_base.den;
  else if (demux.format->duration != AV_NOPTS_VALUE)
    info.videoSeconds = static_cast<double>(demux.format->duration) / AV_TIME_BASE;
  return true;
}

// ---------------------------------------------------------------- pictures

class AvVideo : public TMediaVideo {
 public:
  ~AvVideo() override {
    sws_freeContext(scaler_);
    av_frame_free(&held_);
  }
  static std::unique_ptr<TMediaVideo> Open(const std::string& path, std::string& error);
  bool Next() override;
  bool Seek(TRefTime position) override;
  bool NextPacket(std::string& bytes, TRefTime& time) override;

 private:
  TRefTime FrameTime();
  void Convert();

  TMediaDemuxer demux_;
  std::vector<std::uint8_t> pixels_;
  // The picture a seek read past the one it found: the next to come.
  AVFrame* held_ = nullptr;
  bool holding_ = false;
  TRefTime heldTime_ = 0;
  SwsContext* scaler_ = nullptr;
};

std::unique_ptr<TMediaVideo> AvVideo::Open(const std::string& path, std::string& error) {
  auto video = std::make_unique<AvVideo>();
  TMediaDemuxer& demux = video->demux_;
  if (!demux.Open(path, AVMEDIA_TYPE_VIDEO, error)) return nullptr;
  const AVCodecContext* codec = demux.codec;
  const AVStream* st = demux.Stream();
  if (codec->width <= 0 || codec->height <= 0 || std::int64_t{codec->width} * codec->height > kMaxMediaPixels) {
    error = "no picture size that can be shown";
    return nullptr;
  }
  if (codec->pix_fmt != AV_PIX_FMT_NONE && !sws_isSupportedInput(codec->pix_fmt)) {
    error = "pictures of a layout that cannot be converted";
    return nullptr;
  }
  video->width_ = codec->width;
  video->height_ = codec->height;
  const AVRational rate = av_guess_frame_rate(demux.format, demux.Stream(), nullptr);
  video->interval_ = rate.num > 0 && rate.den > 0 ? av_rescale_q(1, av_inv_q(rate), kRefTimeBase) : kDefaultInterval;
  video->interval_ = std::max<TRefTime>(1, video->interval_);
  video->origin_ = st->start_time != AV_NOPTS_VALUE ? ToRefTime(st->start_time, st->time_base) : 0;
  if (st->duration != AV_NOPTS_VALUE) video->duration_ = ToRefTime(st->duration, st->time_base);
  else if (demux.format->duration != AV_NOPTS_VALUE)
    video->duration_ = ToRefTime(demux.format->duration, AV_TIME_BASE_Q);
  switch (codec->codec_id) {
    case AV_CODEC_ID_RAWVIDEO: video->codec_ = kRgb24; break;
    case AV_CODEC_ID_MJPEG: video->codec_ = kMjpg; break;
    case AV_CODEC_ID_DVVIDEO: video->codec_ = kDvsd; break;
    default: video->codec_ = st->codecpar->codec_tag != 0 ? st->codecpar->codec_tag : kRgb24;
  }
  video->aviMjpeg_ = codec->codec_id == AV_CODEC_ID_MJPEG && std::strcmp(demux.format->iformat->name, "avi") == 0;
  return video;
}

TRefTime AvVideo::FrameTime() {
  const std::int64_t ts = demux_.frame->best_effort_timestamp;
  if (ts == AV_NOPTS_VALUE) return picture_.data ? time_ + interval_ : 0;
  return ToRefTime(ts, demux_.Stream()->time_base) - origin_;
}

// Every picture leaves at the stream's own size: one that changes size on
// the way is scaled back to it, so that what follows never meets a new size.
void AvVideo::Convert() {
  const AVFrame* f = demux_.frame;
  scaler_ = sws_getCachedContext(scaler_, f->width, f->height, static_cast<AVPixelFormat>(f->format), width_,
                                 height_, AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
  const std::size_t stride = Rgb24Stride(width_);
  pixels_.resize(stride * static_cast<std::size_t>(height_));
  if (scaler_ && f->width > 0 && f->height > 0) {
    std::uint8_t* planes[4] = {pixels_.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {static_cast<int>(stride), 0, 0, 0};
    sws_scale(scaler_, f->data, f->linesize, 0, f->height, planes, strides);
  }
  picture_ = {static_cast<double>(time_) / kUnitsPerSecond, pixels_.data(), pixels_.size(), width_, height_, stride,
              true};
}

bool AvVideo::Next() {
  if (holding_) {
    holding_ = false;
    av_frame_unref(demux_.frame);
    av_frame_move_ref(demux_.frame, held_);
    time_ = heldTime_;
  } else {
    if (!demux_.Decode()) return false;
    time_ = FrameTime();
  }
  Convert();
  return true;
}

bool AvVideo::Seek(TRefTime position) {
  const AVRational base = demux_.Stream()->time_base;
  demux_.Seek(av_rescale_q_rnd(origin_ + position, kRefTimeBase, base, AV_ROUND_DOWN));
  holding_ = false;
  if (!held_ && !(held_ = av_frame_alloc())) return false;
  // Pictures are read until one comes later than half a picture past the
  // position: the one before it is on show there.
  AVFrame* chosen = av_frame_alloc();
  bool any = false, past = false;
  TRefTime chosenTime = 0;
  while (chosen && demux_.Decode()) {
    time_ = FrameTime();
    const bool later = time_ > position + interval_ / 2;
    if (later && any) {
      av_frame_unref(held_);
      av_frame_move_ref(held_, demux_.frame);
      heldTime_ = time_;
      holding_ = true;
      break;
    }
    av_frame_unref(chosen);
    av_frame_move_ref(chosen, demux_.frame);
    chosenTime = time_;
    any = true;
    if (later) break;
  }
  if (any) {
    av_frame_unref(demux_.frame);
    av_frame_move_ref(demux_.frame, chosen);
    time_ = chosenTime;
    Convert();
    past = !holding_ && position > chosenTime + interval_ / 2;
  }
  av_frame_free(&chosen);
  return any && !past;
}

bool AvVideo::NextPacket(std::string& bytes, TRefTime& time) {
  if (!demux_.ReadPacket()) return false;
  const AVPacket* p = demux_.packet;
  bytes.assign(reinterpret_cast<const char*>(p->data), static_cast<std::size_t>(p->size));
  const std::int64_t ts = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
  time = ts != AV_NOPTS_VALUE ? ToRefTime(ts, demux_.Stream()->time_base) - origin_ : time + interval_;
  return true;
}

// ---------------------------------------------------------------- sound

class AvSound : public TMediaSound {
 public:
  ~AvSound() override { swr_free(&resampler_); }
  static std::unique_ptr<TMediaSound> Open(const std::string& path, TRefTime origin, std::string& error);
  std::int64_t Read(std::int64_t from, std::int64_t to, std::string& pcm) override;
  bool Next(std::string& pcm) override;

 private:
  bool Decode();
  void SeekTo(std::int64_t sample);

  TMediaDemuxer demux_;
  TRefTime origin_ = 0;
  SwrContext* resampler_ = nullptr;
  std::vector<std::uint8_t> converted_;
  std::string held_;  // decoded, not yet handed on
  std::int64_t heldStart_ = 0;  // the sample frame held_ starts with
  std::int64_t readEnd_ = 0;  // where the last Read ended
  bool placed_ = false;  // whether heldStart_ is known (from a time stamp)
  bool ended_ = false;
};

std::unique_ptr<TMediaSound> AvSound::Open(const std::string& path, TRefTime origin, std::string& error) {
  auto sound = std::make_unique<AvSound>();
  TMediaDemuxer& demux = sound->demux_;
  if (!demux.Open(path, AVMEDIA_TYPE_AUDIO, error)) return nullptr;
  const AVCodecContext* codec = demux.codec;
  if (codec->sample_rate <= 0 || codec->ch_layout.nb_channels <= 0) {
    error = "sound without a rate or channels";
    return nullptr;
  }
  const auto stored = static_cast<AVSampleFormat>(demux.Stream()->codecpar->format);
  const bool bytes = stored == AV_SAMPLE_FMT_U8 || stored == AV_SAMPLE_FMT_U8P ||
                     codec->sample_fmt == AV_SAMPLE_FMT_U8 || codec->sample_fmt == AV_SAMPLE_FMT_U8P;
  sound->format_ = {static_cast<unsigned>(codec->sample_rate), bytes ? 8u : 16u,
                    codec->ch_layout.nb_channels >= 2 ? 2u : 1u};
  sound->origin_ = origin;
  const AVStream* st = demux.Stream();
  const TRefTime start = st->start_time != AV_NOPTS_VALUE ? ToRefTime(st->start_time, st->time_base) : 0;
  TRefTime end = 0;
  if (st->duration != AV_NOPTS_VALUE) end = start + ToRefTime(st->duration, st->time_base);
  else if (demux.format->duration != AV_NOPTS_VALUE) end = ToRefTime(demux.format->duration, AV_TIME_BASE_Q);
  sound->end_ = std::max<TRefTime>(0, end - origin);
  return sound;
}

bool AvSound::Decode() {
  if (ended_) return false;
  if (!demux_.Decode()) {
    ended_ = true;
    return false;
  }
  const AVFrame* f = demux_.frame;
  if (!placed_) {
    const std::int64_t ts = f->best_effort_timestamp;
    if (ts != AV_NOPTS_VALUE)
      heldStart_ = av_rescale(ToRefTime(ts, demux_.Stream()->time_base) - origin_, format_.rate, kUnitsPerSecond);
    placed_ = true;
  }
  if (!resampler_) {
    AVChannelLayout in{}, out{};
    if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || f->ch_layout.nb_channels <= 0)
      av_channel_layout_default(&in, std::max(1, f->ch_layout.nb_channels));
    else av_channel_layout_copy(&in, &f->ch_layout);
    av_channel_layout_default(&out, static_cast<int>(format_.channels));
    const AVSampleFormat sampleFormat = format_.bits == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
    const int rc = swr_alloc_set_opts2(&resampler_, &out, sampleFormat, static_cast<int>(format_.rate), &in,
                                       static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    if (rc < 0 || swr_init(resampler_) < 0) {
      // Sound that cannot be converted ends here; the pictures go on.
      swr_free(&resampler_);
      ended_ = true;
      return false;
    }
  }
  const unsigned align = format_.BlockAlign();
  const int room = swr_get_out_samples(resampler_, f->nb_samples);
  if (room <= 0) return true;
  converted_.resize(static_cast<std::size_t>(room) * align);
  std::uint8_t* out[1] = {converted_.data()};
  const int n = swr_convert(resampler_, out, room, const_cast<const std::uint8_t**>(f->extended_data), f->nb_samples);
  if (n > 0) held_.append(reinterpret_cast<const char*>(converted_.data()), static_cast<std::size_t>(n) * align);
  return true;
}

void AvSound::SeekTo(std::int64_t sample) {
  const TRefTime at = origin_ + av_rescale(sample, kUnitsPerSecond, format_.rate);
  demux_.Seek(av_rescale_q_rnd(at, kRefTimeBase, demux_.Stream()->time_base, AV_ROUND_DOWN));
  swr_free(&resampler_);
  held_.clear();
  heldStart_ = sample;
  placed_ = ended_ = false;
}

std::int64_t AvSound::Read(std::int64_t from, std::int64_t to, std::string& pcm) {
  const std::int64_t align = format_.BlockAlign();
  auto heldEnd = [&] { return heldStart_ + static_cast<std::int64_t>(held_.size()) / align; };
  // Sound far on, or behind what was read, is sought; a little way on is
  // decoded through.
  if (from < readEnd_ || from > (placed_ ? heldEnd() : readEnd_) + format_.rate) SeekTo(from);
  readEnd_ = std::max(from, to);
  while (!ended_ && (!placed_ || heldEnd() < to)) Decode();
  if (!placed_) return 0;
  if (from > heldStart_) {
    const std::int64_t drop = std::min(from - heldStart_, heldEnd() - heldStart_);
    held_.erase(0, static_cast<std::size_t>(drop * align));
    heldStart_ += drop;
  }
  std::int64_t appended = 0;
  if (from < heldStart_ && !(ended_ && held_.empty())) {
    appended = std::min(to, heldStart_) - from;
    pcm.append(static_cast<std::size_t>(appended * align), format_.bits == 8 ? '\x80' : '\0');
  }
  const std::int64_t take = std::max<std::int64_t>(0, std::min(to, heldEnd()) - std::max(from, heldStart_));
  pcm.append(held_, 0, static_cast<std::size_t>(take * align));
  held_.erase(0, static_cast<std::size_t>(take * align));
  heldStart_ += take;
  return appended + take;
}

bool AvSound::Next(std::string& pcm) {
  if (!Decode()) return false;
  pcm.swap(held_);
  held_.clear();
  return true;
}

class AvReaders final : public TMediaReaders {
 public:
  bool Probe(const std::string& path, TMediaInfo& info, std::string& error) const override {
    return ProbeFile(path, info, error);
  }
  std::unique_ptr<TMediaVideo> OpenVideo(const std::string& path, std::string& error) const override {
    return AvVideo::Open(path, error);
  }
  std::unique_ptr<TMediaSound> OpenSound(const std::string& path, TRefTime origin, std::string& error) const override {
    return AvSound::Open(path, origin, error);
  }
};

}  // namespace

}  // namespace videocapture::engine

extern "C" __attribute__((visibility("default"))) const videocapture::engine::TMediaReaders* ParloMediaReaders(
    int version) {
  static const videocapture::engine::AvReaders readers;
  return version == videocapture::engine::kMediaReadersVersion ? &readers : nullptr;
}
