#pragma once

#include <QProcess>
#include <QTemporaryDir>
#include <string>
#include <vector>

namespace testing_support {

// tests/support/room_members.py running a script of steps against a room
// host on 127.0.0.1.
class TRoomMembersScript {
 public:
  TRoomMembersScript(int port, const std::vector<std::string>& steps);
  ~TRoomMembersScript();
  // Runs the event loop until the script ends; true when every step passed.
  bool Passed(int ms = 20000);
  bool Running() const { return process_.state() != QProcess::NotRunning; }
  std::string Output();

 private:
  QTemporaryDir dir_;
  QProcess process_;
};

}  // namespace testing_support
