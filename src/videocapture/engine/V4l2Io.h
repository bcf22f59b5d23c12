#pragma once

// The calls the V4L2 backing makes on device nodes, behind an interface so
// that tests can put a scripted camera in place of the kernel.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace videocapture::engine {

class TV4l2Io {
 public:
  virtual ~TV4l2Io() = default;
  // The device nodes that may be cameras ("/dev/video0", ...), in number order.
  virtual std::vector<std::string> ListNodes() = 0;
  // The radio nodes ("/dev/radio0", ...) in number order; a TV card's radio
  // tuner is reached through one of them.
  virtual std::vector<std::string> ListRadioNodes() { return {}; }
  // -1 with errno set on failure, as the system calls do.
  virtual int Open(const std::string& path) = 0;
  virtual void Close(int fd) = 0;
  virtual int Ioctl(int fd, unsigned long request, void* arg) = 0;
  virtual void* Map(int fd, std::size_t length, std::int64_t offset) = 0;  // null on failure
  virtual void Unmap(void* address, std::size_t length) = 0;
  // Waits up to timeoutMs for a filled buffer on fd or a wake-up on wakeFd:
  // 1 when fd is ready (or in error, which the next dequeue reports), 0 otherwise.
  virtual int WaitFrame(int fd, int wakeFd, int timeoutMs) = 0;
  // Waits: a tuner's signal reading means something only once it has
  // settled on a new frequency. Fakes of the kernel need not wait.
  virtual void Pause(int milliseconds);
};

std::unique_ptr<TV4l2Io> MakeSystemV4l2Io();

}  // namespace videocapture::engine
