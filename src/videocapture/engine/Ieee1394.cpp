// The machine's IEEE 1394 buses through libraw1394: units with a tape
// subunit found by their configuration ROM and AV/C, commands through
// libavc1394, the DV stream through libiec61883.

#include "videocapture/engine/Ieee1394.h"

#include <libavc1394/avc1394.h>
#include <libavc1394/rom1394.h>
#include <libiec61883/iec61883.h>
#include <libraw1394/raw1394.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

namespace videocapture::engine {

namespace {

// Nodes of the local bus are addressed as 0xFFC0 | physical id.
constexpr nodeid_t kLocalBus = 0xFFC0;
// The broadcast channel that camcorders without plug registers send on.
constexpr int kBroadcastChannel = 63;
constexpr int kAvcRetries = 2;

struct Handle {
  raw1394handle_t h = nullptr;
  explicit Handle(int port) : h(raw1394_new_handle_on_port(port)) {}
  ~Handle() {
    if (h) raw1394_destroy_handle(h);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
};

int PortCount() {
  raw1394handle_t h = raw1394_new_handle();
  if (!h) return 0;
  const int ports = raw1394_get_port_info(h, nullptr, 0);
  raw1394_destroy_handle(h);
  return ports > 0 ? ports : 0;
}

std::string GuidText(octlet_t guid) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(guid));
  return text;
}

// Calls `each(handle, node, guid, name)` for every tape unit; stops when it answers true.
template <typename F>
void ForEachTapeUnit(F each) {
  for (int port = 0, ports = PortCount(); port < ports; ++port) {
    Handle handle(port);
    if (!handle.h) continue;
    const nodeid_t local = raw1394_get_local_id(handle.h);
    for (int i = 0, n = raw1394_get_nodecount(handle.h); i < n; ++i) {
      const nodeid_t node = static_cast<nodeid_t>(kLocalBus | i);
      if (node == local) continue;
      rom1394_directory dir{};
      if (rom1394_get_directory(handle.h, node, &dir) < 0) continue;
      const bool tape = rom1394_get_node_type(&dir) == ROM1394_NODE_TYPE_AVC &&
                        avc1394_check_subunit_type(handle.h, node, AVC1394_SUBUNIT_TYPE_VCR) == 1;
      const std::string name = dir.label && *dir.label ? dir.label : "DV Camcorder";
      rom1394_free_directory(&dir);
      if (tape && each(port, node, GuidText(rom1394_get_guid(handle.h, node)), name)) return;
    }
  }
}

bool Locate(const TDvUnit& unit, int& port, nodeid_t& node) {
  bool found = false;
  ForEachTapeUnit([&](int p, nodeid_t n, const std::string& guid, const std::string&) {
    if (guid != unit.guid) return false;
    port = p;
    node = n;
    return found = true;
  });
  return found;
}

class SystemAvcUnit : public TAvcUnit {
 public:
  SystemAvcUnit(int port, nodeid_t node) : handle_(port), node_(node) {}
  bool Valid() const { return handle_.h != nullptr; }

  bool Transact(const std::vector<std::uint8_t>& command, std::vector<std::uint8_t>& response) override {
    // Frames travel as quadlets, the first byte of the frame in the top byte.
    std::vector<quadlet_t> request((command.size() + 3) / 4, 0);
    for (std::size_t i = 0; i < command.size(); ++i) request[i / 4] |= quadlet_t(command[i]) << (24 - 8 * (i % 4));
    unsigned int length = 0;
    quadlet_t* answer = avc1394_transaction_block2(handle_.h, node_, request.data(), static_cast<int>(request.size()),
                                                   &length, kAvcRetries);
    if (!answer) return false;
    // No AV/C frame is longer than 512 bytes.
    length = std::min(length, 128u);
    response.clear();
    for (unsigned int i = 0; i < length * 4; ++i) response.push_back(std::uint8_t(answer[i / 4] >> (24 - 8 * (i % 4))));
    avc1394_transaction_block_close(handle_.h);
    return !response.empty();
  }

 private:
  Handle handle_;
  nodeid_t node_;
};

class SystemReceiver : public TDvReceiver {
 public:
  SystemReceiver(int port, nodeid_t node)
      : handle_(port), node_(node), wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~SystemReceiver() override {
    Stop();
    if (wake_ >= 0) ::close(wake_);
  }
  bool Valid() const { return handle_.h != nullptr && wake_ >= 0; }

  bool Start(TDvFrameSink frames, std::function<void()> lost) override {
    if (running_) return false;
    int oplug = -1, iplug = -1;
    bandwidth_ = 1;  // ask for bandwidth to be allocated
    channel_ = iec61883_cmp_connect(handle_.h, node_, &oplug, raw1394_get_local_id(handle_.h), &iplug, &bandwidth_);
    connected_ = channel_ >= 0;
    if (!connected_) {
      channel_ = kBroadcastChannel;
      bandwidth_ = 0;
    }
    frames_ = std::move(frames);
    receiver_ = iec61883_dv_fb_init(handle_.h, &SystemReceiver::OnFrame, this);
    if (!receiver_ || iec61883_dv_fb_start(receiver_, channel_) < 0) {
      Release();
      return false;
    }
    std::uint64_t drain;
    while (::read(wake_, &drain, sizeof drain) > 0) {
    }
    stop_ = false;
    running_ = true;
    thread_ = std::thread([this, lost = std::move(lost)] { Loop(lost); });
    return true;
  }

  void Stop() override {
    if (!running_) return;
    stop_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(wake_, &one, sizeof one);
    thread_.join();
    running_ = false;
    Release();
  }

 private:
  static int OnFrame(unsigned char* data, int length, int complete, void* self) {
    static_cast<SystemReceiver*>(self)->frames_(data, static_cast<std::size_t>(length), complete != 0);
    return 0;
  }

  void Loop(const std::function<void()>& lost) {
    pollfd fds[2] = {{raw1394_get_fd(handle_.h), POLLIN, 0}, {wake_, POLLIN, 0}};
    while (!stop_) {
      if (::poll(fds, 2, 500) <= 0 || (fds[1].revents & POLLIN)) continue;
      if (raw1394_loop_iterate(handle_.h) < 0) {
        lost();
        return;
      }
    }
  }

  void Release() {
    if (receiver_) iec61883_dv_fb_close(receiver_);
    receiver_ = nullptr;
    if (connected_)
      iec61883_cmp_disconnect(handle_.h, node_, -1, raw1394_get_local_id(handle_.h), -1,
                              static_cast<unsigned>(channel_), static_cast<unsigned>(bandwidth_));
    connected_ = false;
  }

  Handle handle_;
  nodeid_t node_;
  int wake_;
  iec61883_dv_fb_t receiver_ = nullptr;
  TDvFrameSink frames_;
  int channel_ = -1, bandwidth_ = 0;
  bool connected_ = false;
  bool running_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class SystemBus : public TIeee1394Bus {
 public:
  std::vector<TDvUnit> Units() override {
    std::vector<TDvUnit> units;
    ForEachTapeUnit([&](int, nodeid_t, const std::string& guid, const std::string& name) {
      units.push_back({guid, name});
      return false;
    });
    return units;
  }

  std::unique_ptr<TAvcUnit> OpenAvc(const TDvUnit& unit) override {
    int port;
    nodeid_t node;
    if (!Locate(unit, port, node)) return nullptr;
    auto avc = std::make_unique<SystemAvcUnit>(port, node);
    return avc->Valid() ? std::move(avc) : nullptr;
  }

  std::unique_ptr<TDvReceiver> OpenReceiver(const TDvUnit& unit) override {
    int port;
    nodeid_t node;
    if (!Locate(unit, port, node)) return nullptr;
    auto receiver = std::make_unique<SystemReceiver>(port, node);
    return receiver->Valid() ? std::move(receiver) : nullptr;
  }
};

}  // namespace

std::shared_ptr<TIeee1394Bus> MakeSystemIeee1394Bus() { return std::make_shared<SystemBus>(); }

}  // namespace videocapture::engine
