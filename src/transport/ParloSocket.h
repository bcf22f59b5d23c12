#pragma once

#include <cstdint>
#include <string>

#include "transport/NetSocket.h"

// The socket of every command link: a TNetSocket that writes command frames and
// can hold a peer's identity (the program keeps a chat-room invitation in user,
// group, lport and uid until the peer's listener greets it). It starts in line
// mode with CR LF line ends, so each data event holds one whole frame.
class TParloSocket : public TNetSocket {
 public:
  TParloSocket();
  ~TParloSocket() override;

  std::string uid, user, group, lport, fname, lname, age, dob, sex, burl, hurl, bmail, hmail, hobby, desc, pass, msg;
  std::string PublicProfile;
  std::string FullProfile;
  int32_t cam = 0;
  int32_t mode = 0;

  // Writes one frame while connected; in any other state nothing is sent. A frame
  // that cannot be built or sent - including one whose parameters or text hold a
  // line break, which would split it into two frames at the receiver - goes out
  // as the error frame instead. Callers escape their fields beforehand.
  void SendCommand(int code, const std::string& parameters, const std::string& text);

  // Fills the fields from "name=value" pairs separated by ",". A missing key
  // gives the empty text (an empty user becomes "New User"); cam and mode must be
  // numbers, else platform::EConvertError.
  void SetProfile(const std::string& profile);
};
