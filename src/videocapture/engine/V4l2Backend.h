#pragma once

// Real cameras through V4L2: every capture node that streams YUYV, MJPEG or
// BGR24 is listed, identified by its card name and bus so that it keeps its
// identity when it comes back on another node number.

#include <memory>
#include <string>

#include "videocapture/engine/CaptureSystem.h"
#include "videocapture/engine/V4l2Io.h"

namespace videocapture::engine {

class TDevWatch;

class TV4l2Backend : public TCaptureBackend {
 public:
  // With watchDev the backend follows /dev for nodes coming and going.
  TV4l2Backend(std::shared_ptr<TV4l2Io> io, bool watchDev);
  ~TV4l2Backend() override;

  std::vector<TDeviceInfo> Enumerate(TCategory category) override;
  std::unique_ptr<TCaptureSource> Open(const std::string& moniker) override;
  bool CanBind(TCategory, const std::string&) override { return false; }
  void Watch(std::function<void()> notice) override;

 private:
  std::shared_ptr<TV4l2Io> io_;
  bool watchDev_;
  std::unique_ptr<TDevWatch> watch_;
};

std::unique_ptr<TCaptureBackend> MakeV4l2Backend();

// Opens one node as a source; null when it is no streaming capture device.
std::unique_ptr<TCaptureSource> OpenV4l2Source(std::shared_ptr<TV4l2Io> io, const std::string& path,
                                               const TDeviceInfo& info);
// The entry a node would be listed under; false when it is no camera.
bool ProbeV4l2Node(TV4l2Io& io, const std::string& path, TDeviceInfo& info);

}  // namespace videocapture::engine
