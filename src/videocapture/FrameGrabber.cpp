// Grabbing frames: the request, the delivery on the GUI thread as a bitmap,
// a BMP file or a JPEG file, the progress events, and automatic file names.

#include <QDateTime>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>

#include "platform/Charset.h"
#include "platform/EventLoop.h"
#include "platform/FileNames.h"
#include "platform/Strings.h"
#include "videocapture/CaptureImpl.h"

namespace {

// Counters of the automatic names, one per extension, for the whole process.
int& NameCounter(const std::string& extension) {
  static std::map<std::string, int> counters;
  return counters[platform::LowerCase(extension)];
}

// Names that exist already are skipped, so bursts into a busy folder never
// overwrite a picture; the search gives up after this many.
constexpr int kMaxNameTries = 100000;

enum class Claim { Made, Taken, Failed };

// Creates the file only when it does not exist yet.
Claim ClaimFile(const std::string& name) {
  if (FILE* f = std::fopen(platform::PathFromName(name).c_str(), "wx")) {
    std::fclose(f);
    return Claim::Made;
  }
  return errno == EEXIST ? Claim::Taken : Claim::Failed;
}

int HighestNumber(const std::string& folder, const std::string& prefix, const std::string& extension) {
  int highest = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(platform::PathFromName(folder), ec)) {
    const std::string name = platform::NameFromPath(entry.path().filename());
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    // Every name the pattern prefix*.extension matches, numbered up to its first dot.
    const std::string ending = "." + extension;
    if (name.size() < prefix.size() + ending.size() ||
        !platform::SameText(name.substr(name.size() - ending.size()), ending))
      continue;
    const std::size_t dot = name.find('.', prefix.size());
    int number;
    if (platform::TryStrToInt(name.substr(prefix.size(), dot - prefix.size()), number) && number > highest)
      highest = number;
  }
  return highest;
}

// A name as the file has it on disk (separators as the system writes them),
// so that a name reported is the file's own.
std::string DiskName(const std::string& name) { return platform::NameFromPath(platform::PathFromName(name)); }

}  // namespace

bool TImpl::AutomaticFileName(const std::string& extension, std::string& name) {
  const std::string folder = DiskName(platform::IncludeTrailingPathDelimiter(vc.StoragePath));
  if (vc.AutoFileName == fn_DateTime) {
    const std::string stem =
        platform::FromQString(QDateTime::currentDateTime().toString("yyMMdd_hhmmss_zzz"));
    for (int i = 1; i <= kMaxNameTries; ++i) {
      name = folder + vc.AutoFilePrefix + stem + (i > 1 ? "_" + std::to_string(i) : "") + "." + extension;
      const Claim claim = ClaimFile(name);
      if (claim != Claim::Taken) return true;  // a failure shows when the picture is written
    }
    return false;
  }
  int& counter = NameCounter(extension);
  if (counter == 0) counter = HighestNumber(folder, vc.AutoFilePrefix, extension);
  for (int i = 0; i < kMaxNameTries; ++i) {
    char stem[16];
    std::snprintf(stem, sizeof stem, "%06d", ++counter);
    name = folder + vc.AutoFilePrefix + stem + "." + extension;
    if (ClaimFile(name) != Claim::Taken) return true;
  }
  return false;
}

void TImpl::CaptureFrameTo(TFrameCaptureDest dest, const std::string& fileName) {
  if (!frameGrabberReady) return;
  frameDest = dest;
  frameFileName = fileName;
  if (!RunPlayerForGrab()) grabberCB->Request(false);
}

void TImpl::Deliver() {
  // Null when the sample had no buffer: the request ends without a picture,
  // and no file is written.
  TBitmap* bitmap = grabberCB->PendingFrame();
  std::string name;
  bool success = bitmap != nullptr;
  const TFrameCaptureDest dest = frameDest;
  if (dest != fc_TBitmap) name = DiskName(frameFileName);
  if (dest != fc_TBitmap && bitmap) {
    const std::string extension = dest == fc_BmpFile ? "bmp" : "jpg";
    const bool automatic = name.empty();
    if (automatic && !AutomaticFileName(extension, name)) success = false;
    else try {
      if (dest == fc_BmpFile) {
        bitmap->SaveToFile(name);
      } else {
        platform::TJpegOptions options;
        options.quality = vc.JPEGQuality;
        options.fastDct = vc.JPEGPerformance == jpBestSpeed;
        options.progressive = vc.JPEGProgressiveDisplay;
        WriteWholeFile(name, bitmap->ToJpeg(options));
      }
    } catch (const std::exception&) {
      success = false;
      // The automatic name was taken by an empty file of ours: no picture, no file.
      if (automatic) platform::DeleteFile(name);
    }
  }
  // Released even when the handler raises, so that the next frame can be taken.
  struct Release {
    TSampleGrabberCB& cb;
    ~Release() { cb.ReleaseFrame(); }
  } release{*grabberCB};
  if (vc.OnFrameCaptureCompleted) vc.OnFrameCaptureCompleted(&vc, bitmap, dest, name, success);
}

void TImpl::FrameNotify(std::uintptr_t wparam, std::intptr_t lparam) {
  if (vc.inFrameNotify_ || controlMode == 0) return;
  vc.inFrameNotify_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{vc.inFrameNotify_};
  if (vc.currentState_ == cs_Player) {
    if (seeking) {
      if (!ffAtEnd) frameShown = true;
      if (vc.OnPlayerProgress) vc.OnPlayerProgress(&vc, static_cast<double>(seeking->Position()) / 1e7);
    }
  } else if (vc.OnCaptureProgress) {
    const double sampleTime = static_cast<double>(platform::TickCount() - startTime) / 1000.0;
    if (!haveDroppedCounters) {
      vc.OnCaptureProgress(&vc, sampleTime, ++deliveredFrames, 0);
    } else if (source && source->DroppedFrames()) {
      long dropped, notDropped;
      if (source->DroppedFrames()->GetNumDropped(dropped) && source->DroppedFrames()->GetNumNotDropped(notDropped))
        vc.OnCaptureProgress(&vc, sampleTime, static_cast<int>(notDropped - notDroppedBase),
                             static_cast<int>(dropped - droppedBase));
    }
  }
  if (wparam == 1) {
    if (lparam == 0 && vc.currentState_ == cs_Player) GraphControl(1);
    Deliver();
  }
}
