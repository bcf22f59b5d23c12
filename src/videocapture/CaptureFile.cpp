// Capture to AVI files: the file's preparation (folders, names, the
// preallocated file), the writer behind the multiplexer, the stop with its
// post-processing, and recompression of a finished file.

#include <cmath>
#include <filesystem>

#include "platform/DosFiles.h"
#include "platform/EventLoop.h"
#include "platform/FileNames.h"
#include "platform/Stream.h"
#include "videocapture/CaptureImpl.h"
#include "videocapture/VideoFormats.h"
#include "videocapture/engine/AviReader.h"
#include "videocapture/engine/CaptureSystem.h"
#include "videocapture/engine/DvCodec.h"
#include "videocapture/engine/MediaFile.h"

namespace engine = videocapture::engine;

namespace {

// Below this much free space a capture would soon stall.
constexpr std::int64_t kDiskReserve = 25000000;
constexpr std::int64_t kBytesPerMB = 1048576;
// Recompression lets the GUI breathe every so many chunks.
constexpr std::size_t kChunksPerBreath = 16;
// A gap in a source's pictures is filled with lost frames up to this many at
// once: a damaged time stamp must not make the copy write hours of nothing.
constexpr std::int64_t kMaxLostFrames = 1000;
// The preallocated file's capture is copied out in pieces of this size.
constexpr std::int64_t kCopyChunk = 1 << 20;

std::string FolderOf(const std::string& fileName) {
  const std::string folder = platform::ExtractFilePath(fileName);
  return folder.empty() ? std::string(".") : folder;
}

// Only a fixed disk keeps up with a capture for sure: a drive over the
// network or one whose media are changed by hand (a stick, a card, a disc)
// may not.
bool SlowDrive(const std::string& folder) {
  return platform::IsNetworkDrive(folder) || platform::IsRemovableDrive(folder);
}

// A new file beside `destination`, to be renamed over it once written, so
// that a file of that name stays whole until the new one is. Empty when
// none can be made there.
std::string ScratchBeside(const std::string& destination) {
  platform::TOsFile file;
  std::string name;
  if (!file.CreateTemp(FolderOf(destination), "~" + platform::ExtractFileName(destination) + ".", name)) return {};
  file.Close();
  return name;
}

// Puts the written scratch file in the destination's place, or removes it.
bool PutInPlace(const std::string& scratch, const std::string& destination, bool written) {
  if (written && platform::RenameFile(scratch, destination)) return true;
  platform::DeleteFile(scratch);
  return false;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(platform::PathFromName(a), platform::PathFromName(b), ec);
}

}  // namespace

// ---------------------------------------------------------------- preparation

bool TImpl::PrepareCaptureFile() {
  const std::string folder = vc.StoragePath;
  if (!platform::ForceDirectories(folder))
    return vc.Report(false, rl_Error, "cannot create directory: " + folder, 9);
  captureFileName = vc.CaptureFileName;
  if (captureFileName.empty() && !AutomaticFileName(vc.CaptureFileExt, captureFileName))
    return vc.Report(false, rl_Error, "set output file name", 62);
  compressAfter = vc.compressionMode_ == cm_CompressAfterCapture;
  preallocated = vc.PreallocCapFileEnabled;
  const std::string scratch = platform::IncludeTrailingPathDelimiter(folder) + "prealloc.avi";
  writtenFileName = captureFileName;
  if (preallocated) writtenFileName = vc.PreallocCapFileName.empty() ? scratch : vc.PreallocCapFileName;
  else if (compressAfter) writtenFileName = scratch;
  const std::string slow = "\r\nNetwork drives or slow drives may produce high rate of dropped frames";
  vc.Report(!SlowDrive(folder), rl_Warning, "StoragePath= " + folder + slow, 64);
  if (preallocated) {
    vc.Report(!SlowDrive(FolderOf(writtenFileName)), rl_Warning, "StoragePath= " + FolderOf(writtenFileName) + slow,
              64);
    if (!PreparePreallocFile()) return false;
  }
  return true;
}

bool TImpl::PreparePreallocFile() {
  if (!vc.PreallocCapRecreate && platform::FileExists(writtenFileName)) return true;
  if (vc.OnCreatePreallocFileStarted) vc.OnCreatePreallocFileStarted(&vc);
  // Sized in 64 bits: a few thousand MB already overflow 32.
  const std::int64_t bytes = static_cast<std::int64_t>(vc.PreallocCapFileSizeInMB) * kBytesPerMB;
  platform::TOsFile file;
  platform::DeleteFile(writtenFileName);
  const bool ok = bytes > 0 && file.Open(writtenFileName, platform::fmCreate) && file.Allocate(bytes);
  file.Close();
  vc.Report(ok, rl_Log, "cannot allocate capture file", 8);
  if (!ok) platform::DeleteFile(writtenFileName);
  if (vc.OnCreatePreallocFileCompleted) vc.OnCreatePreallocFileCompleted(&vc, ok);
  return ok;
}

bool TImpl::OpenCaptureWriter() {
  engine::TVideoFormat format;
  if (!CaptureSideFormat(format) || format.width <= 0 || format.height <= 0) return false;
  engine::TAviVideoSpec video;
  video.width = format.width;
  video.height = format.height;
  video.interval = format.avgTimePerFrame > 0 ? format.avgTimePerFrame : FrameInterval(vc.frameRate_);
  std::unique_ptr<engine::TVideoEncoder> encoder =
      vc.compressionMode_ == cm_CompressOnTheFly && videoEncoder ? std::move(videoEncoder) : engine::MakeDibEncoder();
  // The interleaved stream of a camcorder goes into the file as it came.
  if (sourceIsDV && vc.dvCaptureMode_ == dv_CaptureType1) encoder = engine::MakeDvPassThrough();
  video.codec = encoder->Codec();
  std::optional<engine::TAviAudioSpec> audio;
  engine::TPcmFormat pcm;
  std::unique_ptr<engine::TAudioEncoder> soundEncoder;
  // A camcorder's whole stream (type 1) carries its sound inside.
  if (vc.CaptureAudio && graph->AudioStream() && !(sourceIsDV && vc.dvCaptureMode_ == dv_CaptureType1)) {
    pcm = graph->AudioStream()->Format();
    audio = engine::TAviAudioSpec{pcm.rate, pcm.bits, pcm.channels, std::nullopt};
    if (vc.compressionMode_ == cm_CompressOnTheFly && audioEncoder) {
      if (!audioEncoder->Start(pcm)) return false;
      audio->coding = audioEncoder->Coding();
      soundEncoder = std::move(audioEncoder);
    }
  }
  // A file of the final name stays whole until the capture really starts.
  if (writtenFileName == captureFileName && (writtenFileName = ScratchBeside(captureFileName)).empty()) return false;
  writer = std::make_shared<engine::TAviWriter>();
  if (!writer->Open(writtenFileName, video, audio, vc.AVI1IndexCompatibility, preallocated)) {
    writer.reset();
    return false;
  }
  writeFailed = false;
  mux = std::make_shared<engine::TAviMux>(writer, std::move(encoder), video, audio.has_value(), std::move(soundEncoder),
                                          pcm);
  std::weak_ptr<platform::MessageTarget> target = vc.window_;
  mux->SetFailureNotify([this, target] {
    writeFailed = true;
    platform::PostToMainThread([target] {
      if (auto t = target.lock()) t->Send(TVideoCapture::kGraphNotify);
    });
  });
  graph->SetConsumer(muxNode, mux);
  return true;
}

bool TImpl::CommitCaptureFile() {
  if (preallocated || compressAfter || writtenFileName == captureFileName) return true;
  // The writer goes on writing into the file under its new name.
  if (!vc.Report(platform::RenameFile(writtenFileName, captureFileName), rl_Error, "set output file name", 62))
    return false;
  writtenFileName = captureFileName;
  return true;
}

void TImpl::ConfigureMux() {
  const bool dvInterleaved = sourceIsDV && vc.dvCaptureMode_ == dv_CaptureType1;
  ReportMuxSettings(audioCompressorNode >= 0 && !dvInterleaved);
  if (mux) mux->SetAudioMaster(masterStream == ms_AudioMaster);
}

void TImpl::ReportMuxSettings(bool audioMaster) {
  // Chunks go to the file as they come; the writer never waits to interleave.
  vc.Report(true, rl_Error, "query config interleaving", 50);
  vc.Report(true, rl_Error, "set interleaving mode", 59);
  if (vc.AVI1IndexCompatibility) {
    vc.Report(true, rl_Error, "query config avi mux", 49);
    vc.Report(true, rl_Error, "set output Compatibility Index", 61);
  }
  masterStream = audioMaster ? ms_AudioMaster : ms_NoMaster;
  vc.Report(true, rl_Error, "set master stream", 60);
}

void TImpl::CloseCaptureWriter() {
  if (!writer) return;
  if (mux) mux->Finish();
  captureWritten = writer->Close() && !writer->Failed();
  writer.reset();
  mux.reset();
}

void TImpl::AbandonCaptureFile() {
  CloseCaptureWriter();
  // Nothing was captured: the file made for it goes, a preallocated one stays.
  if (!preallocated && !writtenFileName.empty()) platform::DeleteFile(writtenFileName);
  captureWritten = false;
}

bool TImpl::CaptureDiskLow() const {
  const std::int64_t free = platform::DiskFree(writtenFileName.empty() ? vc.StoragePath : FolderOf(writtenFileName));
  return free >= 0 && free < kDiskReserve;
}

// ---------------------------------------------------------------- stop

void TImpl::StopCapture() {
  bool success;
  {
    TVideoCapture::BusyScope busy(vc);
    success = FinishCapture();
  }
  if (vc.OnCaptureCompleted) vc.OnCaptureCompleted(&vc, captureFileName, success);
}

bool TImpl::FinishCapture() {
  platform::ProcessMessages();
  vc.captureDuration_ = static_cast<double>(platform::TickCount() - startTime) / 1000.0;
  captureWritten = false;
  DestroyGraph();
  bool success = captureWritten;
  // A capture that failed is kept as it is: nothing more is made of it, and
  // nothing of it is deleted.
  if (success && preallocated && !compressAfter) {
    if (vc.OnCopyPreallocDataStarted) vc.OnCopyPreallocDataStarted(&vc);
    const bool copied = CopyPreallocData();
    if (vc.OnCopyPreallocDataCompleted) vc.OnCopyPreallocDataCompleted(&vc, copied);
    if (copied && vc.PreallocCapRecreate) platform::DeleteFile(writtenFileName);
    success = copied;
  } else if (success && compressAfter) {
    if (vc.OnRecompressStarted) vc.OnRecompressStarted(&vc);
    const TCompressionMode mode = vc.compressionMode_;
    vc.currentState_ = cs_Compress;
    const bool recompressed = RecompressFile(writtenFileName, captureFileName);
    vc.compressionMode_ = mode;
    if (vc.OnRecompressCompleted) vc.OnRecompressCompleted(&vc, recompressed);
    if (recompressed && (!preallocated || vc.PreallocCapRecreate)) platform::DeleteFile(writtenFileName);
    success = recompressed;
  }
  vc.currentState_ = vc.wantedState_;
  StartGraph(false);
  return success;
}

bool TImpl::CopyPreallocData() {
  engine::TAviReader reader;
  if (!reader.Open(writtenFileName)) return false;
  const std::string scratch = ScratchBeside(captureFileName);
  if (scratch.empty()) return false;
  platform::TOsFile from, to;
  bool copied = from.Open(writtenFileName, platform::fmOpenRead) && to.Open(scratch, platform::fmOpenWrite);
  std::string bytes;
  for (std::int64_t left = reader.AviLength(); copied && left > 0;) {
    bytes.resize(static_cast<std::size_t>(std::min<std::int64_t>(left, kCopyChunk)));
    const auto n = static_cast<std::int64_t>(bytes.size());
    copied = from.Read(bytes.data(), n) == n && to.Write(bytes.data(), n) == n;
    left -= n;
  }
  copied = copied && to.FlushToDisk();
  to.Close();
  return PutInPlace(scratch, captureFileName, copied);
}

// ---------------------------------------------------------------- recompression

bool TImpl::Recompress(const std::string& source, const std::string& destination) {
  TVideoCapture::BusyScope busy(vc);
  DestroyGraph();
  const TCompressionMode mode = vc.compressionMode_;
  vc.compressionMode_ = cm_CompressAfterCapture;
  vc.currentState_ = cs_Compress;
  const bool ok = RecompressFile(source, destination);
  vc.compressionMode_ = mode;
  vc.currentState_ = vc.wantedState_;
  StartGraph(false);
  return ok;
}

bool TImpl::RecompressFile(const std::string& sourceName, const std::string& destination) {
  // The output comes first, as a file beside the destination that takes its
  // place once written. Writing a file over itself would destroy it before
  // it is read.
  struct Scratch {
    std::string name;
    ~Scratch() {
      if (!name.empty()) platform::DeleteFile(name);
    }
  } scratch;
  if (!destination.empty() && !SameFile(sourceName, destination)) scratch.name = ScratchBeside(destination);
  if (!vc.Report(!scratch.name.empty(), rl_Error, "set outputfilename (mux/sink", 62)) return false;
  engine::TMediaInfo info;
  std::string why;
  if (!vc.Report(engine::ProbeMedia(sourceName, info, why), rl_Error, "adding source filter " + sourceName, 2))
    return false;
  std::unique_ptr<engine::TMediaVideo> video = info.video ? engine::TMediaVideo::Open(sourceName, why) : nullptr;
  if (!vc.Report(video != nullptr, rl_Error, "render Video stream", 53)) return false;

  graph = std::make_unique<engine::TCaptureGraph>();
  const bool bound = BindCompressors();
  graph.reset();
  videoCompressorNode = audioCompressorNode = -1;
  if (!bound) return false;

  engine::TAviVideoSpec spec;
  spec.width = video->Width();
  spec.height = video->Height();
  spec.interval = video->Interval();
  std::unique_ptr<engine::TVideoEncoder> encoder = std::move(videoEncoder);
  std::unique_ptr<engine::TAudioEncoder> soundEncoder = std::move(audioEncoder);
  // Without a compressor MJPEG goes over as it is; other pictures as the
  // DIB rows of an uncompressed capture.
  const bool copy = !encoder && video->AviMjpeg();
  if (!encoder && !copy) encoder = engine::MakeDibEncoder();
  spec.codec = copy ? engine::kMjpg : encoder->Codec();

  std::unique_ptr<engine::TMediaSound> sound;
  std::optional<engine::TAviAudioSpec> audio;
  engine::TPcmFormat pcm;
  if (vc.CaptureAudio && info.sound) {
    sound = engine::TMediaSound::Open(sourceName, video->Origin(), why);
    if (!vc.Report(sound != nullptr, rl_Error, "render Audio stream", 52)) return false;
    pcm = sound->Format();
    audio = engine::TAviAudioSpec{pcm.rate, pcm.bits, pcm.channels, std::nullopt};
    if (soundEncoder) {
      if (!vc.Report(soundEncoder->Start(pcm), rl_Error, "render Audio stream", 52)) return false;
      audio->coding = soundEncoder->Coding();
    }
  } else {
    soundEncoder.reset();
  }

  engine::TAviWriter out;
  if (!vc.Report(out.Open(scratch.name, spec, audio, vc.AVI1IndexCompatibility, false), rl_Error,
                 "set outputfilename (mux/sink", 62))
    return false;
  ReportMuxSettings(soundEncoder != nullptr);
  vc.Report(true, rl_Error, "get Event ex interface", 25);
  vc.Report(true, rl_Error, "get control interface", 68);
  vc.Report(true, rl_Error, "Media seeking", 27);

  // Pictures and sound go out in the order of their times, as a capture
  // interleaves them. A picture after a gap keeps its time: empty chunks
  // stand for the frames lost before it.
  bool videoLeft = true, soundLeft = sound != nullptr, ok = true;
  engine::TRefTime videoTime = 0;
  std::int64_t written = 0, soundFrames = 0, pcmBytes = 0;
  std::string bytes, block;
  for (std::size_t n = 0; ok && (videoLeft || soundLeft); ++n) {
    const engine::TRefTime soundTime = soundLeft ? soundFrames * engine::kUnitsPerSecond / pcm.rate : 0;
    if (videoLeft && (!soundLeft || videoTime <= soundTime)) {
      if (copy) {
        videoLeft = video->NextPacket(bytes, videoTime);
      } else if ((videoLeft = video->Next())) {
        videoTime = video->Time();
        try {
          bytes = encoder->Encode(video->Picture(), spec.width, spec.height);
        } catch (const std::exception&) {
          bytes.clear();  // kept as a lost frame
        }
      }
      if (!videoLeft) continue;
      const std::int64_t index =
          std::min<std::int64_t>(written + kMaxLostFrames, std::llround(static_cast<double>(videoTime) / spec.interval));
      for (; ok && written < index; ++written) ok = out.WriteVideo(nullptr, 0);
      ok = ok && out.WriteVideo(bytes.data(), bytes.size());
      ++written;
    } else {
      if (!(soundLeft = sound->Next(block)) || block.empty()) continue;
      soundFrames += static_cast<std::int64_t>(block.size() / pcm.BlockAlign());
      if (soundEncoder) {
        pcmBytes += static_cast<std::int64_t>(block.size());
        block = soundEncoder->Encode(reinterpret_cast<const std::uint8_t*>(block.data()), block.size());
      }
      ok = block.empty() || out.WriteAudio(block.data(), block.size());
    }
    if (n % kChunksPerBreath == 0 && !vc.destroying_) platform::ProcessMessages();
  }
  // The compressed sound is the master stream: the video lasts as long as
  // the sound it was recorded with.
  if (ok && soundEncoder) {
    block = soundEncoder->Finish();
    ok = block.empty() || out.WriteAudio(block.data(), block.size());
    const double bytesPerSecond = static_cast<double>(pcm.rate) * pcm.BlockAlign();
    if (pcmBytes > 0) out.StretchVideoTo(static_cast<double>(pcmBytes) / bytesPerSecond);
  }
  ok = out.Close() && ok;
  if (!ok || !platform::RenameFile(scratch.name, destination)) return false;
  scratch.name.clear();
  return true;
}
