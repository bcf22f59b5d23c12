#pragma once

// DV camcorders on IEEE 1394 buses as the capture layer sees them: the units
// a bus lists, AV/C commands to a unit, and the DV stream it sends. Behind
// interfaces so that tests can put a scripted camcorder in place of the bus;
// the system's comes from libraw1394, libavc1394 and libiec61883.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace videocapture::engine {

struct TDvUnit {
  std::string guid;  // 16 hex digits: stays the same across bus resets and ports
  std::string name;  // from the unit's configuration ROM
};

// One AV/C unit: a command frame out (ctype, subunit, opcode, operands),
// the response frame back (response code, subunit, opcode, operands).
class TAvcUnit {
 public:
  virtual ~TAvcUnit() = default;
  // False when no response came.
  virtual bool Transact(const std::vector<std::uint8_t>& command, std::vector<std::uint8_t>& response) = 0;
};

// Whole DV frames as they arrive; `complete` is false for a frame that lost
// packets on the way.
using TDvFrameSink = std::function<void(const std::uint8_t* data, std::size_t length, bool complete)>;

// Receives a unit's DV stream on a thread of its own.
class TDvReceiver {
 public:
  virtual ~TDvReceiver() = default;
  // `lost` is called (on that thread) when the unit has gone; nothing follows it.
  virtual bool Start(TDvFrameSink frames, std::function<void()> lost) = 0;
  // Joins the thread; no call into the sinks follows.
  virtual void Stop() = 0;
};

class TIeee1394Bus {
 public:
  virtual ~TIeee1394Bus() = default;
  // The units with a tape subunit on every bus of the machine.
  virtual std::vector<TDvUnit> Units() = 0;
  // Null when the unit is not there (any more).
  virtual std::unique_ptr<TAvcUnit> OpenAvc(const TDvUnit& unit) = 0;
  virtual std::unique_ptr<TDvReceiver> OpenReceiver(const TDvUnit& unit) = 0;
};

std::shared_ptr<TIeee1394Bus> MakeSystemIeee1394Bus();

}  // namespace videocapture::engine
