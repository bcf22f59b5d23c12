#include "videocapture/engine/V4l2Io.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

namespace videocapture::engine {

void TV4l2Io::Pause(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

namespace {

// The nodes /dev/<stem><number>, in number order.
std::vector<std::string> NumberedNodes(const std::string& stem) {
  std::vector<std::pair<int, std::string>> found;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/dev", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(stem, 0) != 0 || name.size() == stem.size()) continue;
    const std::string digits = name.substr(stem.size());
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        digits.size() > 4)
      continue;
    found.emplace_back(std::stoi(digits), entry.path().string());
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> nodes;
  for (auto& f : found) nodes.push_back(f.second);
  return nodes;
}

class SystemIo : public TV4l2Io {
 public:
  std::vector<std::string> ListNodes() override { return NumberedNodes("video"); }
  std::vector<std::string> ListRadioNodes() override { return NumberedNodes("radio"); }

  int Open(const std::string& path) override { return ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC); }
  void Close(int fd) override { ::close(fd); }

  int Ioctl(int fd, unsigned long request, void* arg) override {
    int r;
    do r = ::ioctl(fd, request, arg);
    while (r == -1 && errno == EINTR);
    return r;
  }

  void* Map(int fd, std::size_t length, std::int64_t offset) override {
    void* p = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, static_cast<off_t>(offset));
    return p == MAP_FAILED ? nullptr : p;
  }

  void Unmap(void* address, std::size_t length) override { ::munmap(address, length); }

  int WaitFrame(int fd, int wakeFd, int timeoutMs) override {
    pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    const int n = ::poll(fds, 2, timeoutMs);
    if (n <= 0 || (fds[1].revents & POLLIN)) return 0;
    return (fds[0].revents & (POLLIN | POLLERR | POLLHUP | POLLNVAL)) ? 1 : 0;
  }
};

}  // namespace

std::unique_ptr<TV4l2Io> MakeSystemV4l2Io() { return std::make_unique<SystemIo>(); }

}  // namespace videocapture::engine
