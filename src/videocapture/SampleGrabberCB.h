#pragma once

// The grabber's callback: called on the streaming thread for every sample, it
// copies a requested frame into a new bitmap and tells the component's window
// (message 0x8001: WParam 1 when this sample was taken, LParam 0 when the
// player must pause again before delivery). The GUI thread delivers the frame
// and releases it, which lets the next one be taken.
//
// Every field shared by the two threads is read and written under one lock;
// the bitmap itself belongs to the streaming thread until it is published and
// to the GUI thread from then until it is released.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "videocapture/Bitmap.h"
#include "videocapture/engine/CaptureGraph.h"

class TSampleGrabberCB : public videocapture::engine::TFrameConsumer {
 public:
  using Notifier = std::function<void(std::uintptr_t wparam, std::intptr_t lparam)>;

  // Set while no stream runs.
  void SetNotifier(Notifier notifier);
  void SetConnectedType(const videocapture::engine::TVideoFormat& format);
  // 0 no usable format, 1 VIDEOINFOHEADER, 2 VIDEOINFOHEADER2.
  int FormatKind() const;

  bool BurstMode() const;
  void SetBurstMode(bool on);
  int BurstCount() const;
  void SetBurstCount(int count);  // negative values ignored
  int BurstInterval() const;
  void SetBurstInterval(int interval);  // values below 1 ignored

  // A frame is wanted (a burst of them in burst mode); renews a pending request.
  void Request(bool restorePause);
  bool CaptureRequested() const;
  // The graph goes: no request survives it, and a frame not yet delivered is dropped.
  void Reset();

  // The published frame, or null. It stays published (and no other is taken)
  // until ReleaseFrame.
  TBitmap* PendingFrame();
  void ReleaseFrame();
  double SampleTime() const;

  // The buffer callback, on the streaming thread.
  void Receive(const videocapture::engine::TFrame& frame) override;

 private:
  mutable std::mutex mutex_;
  double sampleTime_ = 0;
  std::unique_ptr<TBitmap> frameBitmap_;
  Notifier notifier_;
  std::atomic<bool> inCallback_{false};
  bool burstMode_ = false;
  int burstCountdown_ = 0;
  int framesRemaining_ = 0;
  int burstCount_ = 1;
  int burstInterval_ = 1;
  int formatKind_ = 0;
  videocapture::engine::TVideoFormat connectedType_;
  bool restorePause_ = false;
  bool captureRequested_ = false;
};

// Copies a frame into a bitmap row by row, honouring the frame's stride and
// orientation and never reading past its length; what does not fit is left
// as it was.
void CopyFrameToBitmap(const videocapture::engine::TFrame& frame, TBitmap& bitmap);
