#pragma once

// Test harness for the socket classes: the event loop, and a peer written
// straight against blocking POSIX sockets (not our layer), so that the bytes
// on the wire and their boundaries are chosen by the test.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QProcess;

namespace test {

// Runs the event loop until pred holds; false after timeout_ms.
bool PumpUntil(const std::function<bool()>& pred, int timeout_ms = 5000);
// Runs the event loop for every event that is ready now and those that
// follow within ms milliseconds.
void PumpFor(int ms);

// A loopback port nobody listens on right now.
int FreePort();

// A plain blocking TCP endpoint on 127.0.0.1.
class RawPeer {
 public:
  RawPeer() = default;
  ~RawPeer();
  RawPeer(const RawPeer&) = delete;
  RawPeer& operator=(const RawPeer&) = delete;

  // Listening side: Listen() then, once our socket connected, AcceptOne().
  int Listen();  // returns the port
  bool AcceptOne(int timeout_ms = 5000);
  bool Connect(int port);

  void Write(const std::string& bytes);
  // Reads until count bytes arrived, the peer ended, or timeout.
  std::string Read(std::size_t count, int timeout_ms = 5000);
  // Reads everything until the peer ends; reset tells whether it ended by a
  // reset instead of a normal end.
  std::string ReadToEnd(bool* reset = nullptr, int timeout_ms = 5000);
  // True when the peer has ended its side (a read returns 0) within timeout.
  bool SeesEnd(int timeout_ms = 5000);
  void Close();
  void Reset();  // close with a reset
  int fd() const { return fd_; }

 private:
  int listen_fd_ = -1;
  int fd_ = -1;
};

// One run of tests/support/hostile_peer.py (arguments after the script's
// name) while our event loop keeps serving; ended with the object.
class HostilePeer {
 public:
  explicit HostilePeer(const std::vector<std::string>& args);
  ~HostilePeer();
  // The next line it prints, without its end; empty after timeout_ms.
  std::string ReadLine(int timeout_ms = 20000);
  // Closes its standard input: the modes that hold links let them go.
  void EndInput();
  bool Finished() const;

 private:
  std::unique_ptr<QProcess> proc_;
};

// Descriptors the test program has open now.
int OpenDescriptors();

}  // namespace test
