#include "Rooms_helpers.h"

#include <gtest/gtest.h>

#include <QFile>
#include <cstdlib>

#include "platform/EventLoop.h"

namespace testing_support {

TRoomMembersScript::TRoomMembersScript(int port, const std::vector<std::string>& steps) {
  std::string json;
  for (const std::string& step : steps) json += (json.empty() ? "[" : ",\n") + step;
  json += "]";
  QFile script(dir_.filePath("script.json"));
  if (!script.open(QIODevice::WriteOnly) || script.write(json.data(), static_cast<qint64>(json.size())) < 0)
    ADD_FAILURE() << "cannot write the members' script";
  script.close();
  const char* source = std::getenv("PARLO_SOURCE_DIR");
  process_.setProcessChannelMode(QProcess::MergedChannels);
  process_.start("python3", {QString::fromStdString(std::string(source ? source : ".") + "/tests/support/room_members.py"),
                             "127.0.0.1", QString::number(port), script.fileName()});
}

TRoomMembersScript::~TRoomMembersScript() {
  process_.kill();
  process_.waitForFinished(5000);
}

bool TRoomMembersScript::Passed(int ms) {
  platform::ProcessMessagesUntil([&] { return process_.state() == QProcess::NotRunning; }, ms);
  return process_.state() == QProcess::NotRunning && process_.exitStatus() == QProcess::NormalExit &&
         process_.exitCode() == 0;
}

std::string TRoomMembersScript::Output() {
  const std::string out = process_.readAll().toStdString();
  return out.size() <= 3000 ? out : "..." + out.substr(out.size() - 3000);
}

}  // namespace testing_support
