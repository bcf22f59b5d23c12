#include "videocapture/SampleGrabberCB.h"

#include <algorithm>
#include <cstring>

namespace engine = videocapture::engine;

void CopyFrameToBitmap(const engine::TFrame& frame, TBitmap& bitmap) {
  if (frame.data == nullptr || bitmap.Empty() || frame.width <= 0 || frame.height <= 0) return;
  const std::size_t rowBytes = static_cast<std::size_t>(std::min(frame.width, bitmap.Width())) * 3;
  const int rows = std::min(frame.height, bitmap.Height());
  for (int y = 0; y < rows; ++y) {
    const std::size_t sourceRow = static_cast<std::size_t>(frame.topDown ? y : frame.height - 1 - y);
    const std::size_t offset = sourceRow * frame.stride;
    if (offset > frame.length || frame.length - offset < rowBytes) continue;
    std::memcpy(bitmap.ScanLine(y), frame.data + offset, rowBytes);
  }
}

void TSampleGrabberCB::SetNotifier(Notifier notifier) {
  std::lock_guard lock(mutex_);
  notifier_ = std::move(notifier);
}

void TSampleGrabberCB::SetConnectedType(const engine::TVideoFormat& format) {
  std::lock_guard lock(mutex_);
  connectedType_ = format;
  formatKind_ = format.subtype == 0 ? 0
                : format.kind == engine::TFormatKind::VideoInfo  ? 1
                : format.kind == engine::TFormatKind::VideoInfo2 ? 2
                                                                 : 0;
}

int TSampleGrabberCB::FormatKind() const {
  std::lock_guard lock(mutex_);
  return formatKind_;
}

bool TSampleGrabberCB::BurstMode() const {
  std::lock_guard lock(mutex_);
  return burstMode_;
}

void TSampleGrabberCB::SetBurstMode(bool on) {
  std::lock_guard lock(mutex_);
  burstMode_ = on;
}

int TSampleGrabberCB::BurstCount() const {
  std::lock_guard lock(mutex_);
  return burstCount_;
}

void TSampleGrabberCB::SetBurstCount(int count) {
  std::lock_guard lock(mutex_);
  if (count >= 0) burstCount_ = count;
}

int TSampleGrabberCB::BurstInterval() const {
  std::lock_guard lock(mutex_);
  return burstInterval_;
}

void TSampleGrabberCB::SetBurstInterval(int interval) {
  std::lock_guard lock(mutex_);
  if (interval >= 1) burstInterval_ = interval;
}

void TSampleGrabberCB::Request(bool restorePause) {
  std::lock_guard lock(mutex_);
  if (restorePause) restorePause_ = true;
  if (burstMode_) {
    framesRemaining_ = burstCount_;
    burstCountdown_ = 1;
  }
  captureRequested_ = true;
}

bool TSampleGrabberCB::CaptureRequested() const {
  std::lock_guard lock(mutex_);
  return captureRequested_;
}

void TSampleGrabberCB::Reset() {
  std::lock_guard lock(mutex_);
  captureRequested_ = false;
  framesRemaining_ = 0;
  restorePause_ = false;
  frameBitmap_.reset();
}

TBitmap* TSampleGrabberCB::PendingFrame() {
  std::lock_guard lock(mutex_);
  return frameBitmap_.get();
}

void TSampleGrabberCB::ReleaseFrame() {
  std::unique_ptr<TBitmap> done;
  std::lock_guard lock(mutex_);
  done = std::move(frameBitmap_);
  inCallback_ = false;
}

double TSampleGrabberCB::SampleTime() const {
  std::lock_guard lock(mutex_);
  return sampleTime_;
}

void TSampleGrabberCB::Receive(const engine::TFrame& frame) {
  std::uintptr_t wparam = 0;
  std::intptr_t lparam = 1;
  Notifier notifier;
  inCallback_ = true;
  {
    std::lock_guard lock(mutex_);
    notifier = notifier_;
    const bool take = !frameBitmap_ && formatKind_ != 0 && captureRequested_;
    bool skip = !take;
    if (take) {
      if (burstMode_) {
        if (--burstCountdown_ > 0) {
          skip = true;
        } else {
          --framesRemaining_;
          burstCountdown_ = burstInterval_;
        }
      } else {
        captureRequested_ = false;
      }
    }
    if (!skip) {
      if ((!burstMode_ || burstCount_ > 0) && framesRemaining_ <= 0) {
        captureRequested_ = false;
        if (restorePause_) {
          restorePause_ = false;
          lparam = 0;
        }
      }
      // A sample without a buffer takes its turn but leaves no picture.
      if (frame.data != nullptr) {
        const int width = connectedType_.width > 0 ? connectedType_.width : frame.width;
        const int height = connectedType_.height > 0 ? connectedType_.height : frame.height;
        auto bitmap = std::make_unique<TBitmap>(width, height);
        CopyFrameToBitmap(frame, *bitmap);
        frameBitmap_ = std::move(bitmap);
      }
      wparam = 1;
    }
    sampleTime_ = frame.sampleTime;
  }
  if (notifier) notifier(wparam, lparam);
  inCallback_ = false;
}
