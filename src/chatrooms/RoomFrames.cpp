#include "chatrooms/RoomFrames.h"

#include <stdexcept>

#include "platform/Strings.h"
#include "transport/CmdParser.h"

namespace {

constexpr const char* kField = FieldSeparator;

}  // namespace

TRoomLine ReadRoomLine(const std::string& received) {
  const std::string line = TCmdParser::CleanLine(received);
  TRoomLine out;
  int code = 0;
  if (line.size() >= 4 && line[0] != '+' && line[0] != '-' && platform::TryStrToInt(line.substr(0, 4), code))
    out.Code = code;
  const std::size_t lt = line.find('<');
  const std::size_t gt = line.rfind('>');
  if (lt != std::string::npos && gt != std::string::npos && gt > lt) out.Parameter = line.substr(lt + 1, gt - lt - 1);
  return out;
}

std::string RoomFrame(int code, const std::string& parameter) {
  // Names and lists seldom hold a line break, and a member list can run to
  // megabytes: those go without a pass over every byte.
  if (parameter.find('\r') == std::string::npos && parameter.find('\n') == std::string::npos)
    return CommandFrame(code, parameter, "");
  std::string safe;
  safe.reserve(parameter.size());
  for (const char c : parameter) {
    if (c == '\r') safe += "$r";
    else if (c == '\n') safe += "$n";
    else safe += c;
  }
  return CommandFrame(code, safe, "");
}

std::string LogonRecord(const std::string& userId, const std::string& userName, const std::string& listenPort,
                        int statusMode) {
  return userId + kField + userName + kField + listenPort + kField + std::to_string(statusMode);
}

std::string RoomUserRecord(const std::string& userId, const std::string& userName, int statusMode,
                           const std::string& ip, const std::string& listenPort) {
  return userId + kField + userName + kField + "1" + kField + std::to_string(statusMode) + kField + ip + kField +
         listenPort;
}

std::string RoomUserList(const std::vector<std::string>& records) {
  std::string list;
  for (const std::string& record : records) {
    if (!list.empty()) list += RecordSeparator;
    list += record;
  }
  return list;
}

std::string TextRecord(const std::string& userName, const std::string& text) {
  return userName + kField + TCmdParser::EscapeText(text);
}

std::string SoundRecord(const std::string& userName, int index) { return userName + kField + std::to_string(index); }

std::string GreetingRecord(const std::string& chatName, const std::string& greeting) {
  return TextRecord(chatName, greeting);
}

TRoomText ReadTextRecord(const std::string& parameter) {
  const std::size_t at = parameter.find(kField);
  if (at == std::string::npos) throw std::invalid_argument("a text record without its text");
  return {parameter.substr(0, at), TCmdParser::UnescapeText(parameter.substr(at + 3))};
}

bool ReadSoundRecord(const std::string& parameter, std::string& name, int& index) {
  const TFields fields = TFields::Record(parameter);
  name = fields[0];
  return fields.Count() > 1 && platform::TryStrToInt(platform::Trim(fields[1]), index);
}

std::string RenamedRecord(const std::string& parameter, const std::string& name) {
  const std::size_t at = parameter.find(kField);
  return at == std::string::npos ? name : name + parameter.substr(at);
}
