#include "transport/ParloSocket.h"

#include "platform/Strings.h"
#include "platform/StringList.h"
#include "transport/CmdParser.h"

TParloSocket::TParloSocket() {
  // Every link carries CR LF terminated frames, and a reader must be handed whole
  // lines: a frame cut at a read's end or two frames in one read would be parsed
  // as garbage. Owners switch line mode off only for raw payloads.
  SetLineEnd("\r\n");
  SetLineMode(true);
}

TParloSocket::~TParloSocket() = default;

void TParloSocket::SendCommand(int code, const std::string& parameters, const std::string& text) {
  if (State() != wsConnected) return;
  try {
    // Each break looked for on its own: a set of two is searched anew at every letter.
    const auto breaks = [](const std::string& s) {
      return s.find('\r') != std::string::npos || s.find('\n') != std::string::npos;
    };
    if (breaks(parameters) || breaks(text))
      throw platform::Exception("Command " + std::to_string(code) + " holds a line break");
    SendStr(CommandFrame(code, parameters, text));
  } catch (const std::exception&) {
    SendStr(ErrorCommand);
  }
}

void TParloSocket::SetProfile(const std::string& profile) {
  TStringList values;
  values.SetText(platform::StringReplace(profile, ",", "\r\n"));
  uid = values.Values("uid");
  user = values.Values("user");
  if (user.empty()) user = "New User";
  group = values.Values("group");
  lport = values.Values("lport");
  fname = values.Values("fname");
  lname = values.Values("lname");
  age = values.Values("age");
  dob = values.Values("dob");
  sex = values.Values("sex");
  burl = values.Values("burl");
  hurl = values.Values("hurl");
  bmail = values.Values("bmail");
  hmail = values.Values("hmail");
  hobby = values.Values("hobby");
  desc = values.Values("desc");
  pass = values.Values("pass");
  msg = values.Values("msg");
  cam = platform::StrToInt(values.Values("cam"));
  mode = platform::StrToInt(values.Values("mode"));
  PublicProfile = "uid=" + uid + ",user=" + user + ",group=" + group + ",fname=" + fname + ",lname=" + lname +
                  ",age=" + age + ",dob=" + dob + ",sex=" + sex + ",hobby=" + hobby + ",desc=" + desc;
  FullProfile = profile;
}
