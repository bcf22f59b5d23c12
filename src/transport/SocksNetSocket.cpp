#include "transport/SocksNetSocket.h"

#include <algorithm>

#include "platform/SocketApi.h"
#include "platform/Strings.h"

namespace net = platform::net;

namespace {

void AppendPort(std::string& out, std::uint16_t port) {
  out += static_cast<char>(port >> 8);
  out += static_cast<char>(port & 0xFF);
}

void AppendAddr(std::string& out, std::uint32_t addr_net_order) {
  const std::uint32_t a = net::NetToHost32(addr_net_order);
  out += static_cast<char>(a >> 24);
  out += static_cast<char>((a >> 16) & 0xFF);
  out += static_cast<char>((a >> 8) & 0xFF);
  out += static_cast<char>(a & 0xFF);
}

std::string Socks4ReplyText(int status) {
  switch (status) {
    case 91:
      return "request rejected or failed";
    case 92:
      return "connection refused";
    case 93:
      return "authentification failed";
    default:
      return "unassigned error #" + std::to_string(status);
  }
}

}  // namespace

std::string SocksReplyText(int status) {
  switch (status) {
    case 1:
      return "general SOCKS server failure";
    case 2:
      return "connection not allowed by ruleset";
    case 3:
      return "network unreachable";
    case 4:
      return "host unreachable";
    case 5:
      return "connection refused";
    case 6:
      return "time to live expired";
    case 7:
      return "command not supported";
    case 8:
      return "address type not supported";
    default:
      return "unassigned error #" + std::to_string(status);
  }
}

// ---------------------------------------------------------------------------
// TCustomSocksNetSocket

TCustomSocksNetSocket::TCustomSocksNetSocket(TComponent* owner) : Base(owner) {}

TCustomSocksNetSocket::~TCustomSocksNetSocket() = default;

void TCustomSocksNetSocket::DropHandlers() {
  Base::DropHandlers();
  OnSocksConnected = nullptr;
  OnSocksError = nullptr;
  OnSocksAuthState = nullptr;
}

void TCustomSocksNetSocket::AssignDefaultValue() {
  Base::AssignDefaultValue();
  negotiation_ = kNone;
  socks_level_ = "5";
  reply_count_ = 0;
}

void TCustomSocksNetSocket::SetSocksServer(const std::string& value) {
  if (State() != wsClosed) {
    RaiseException("Can't change socks server if not closed");
    return;
  }
  socks_server_ = platform::Trim(value);
}

void TCustomSocksNetSocket::SetSocksPort(const std::string& value) {
  if (State() != wsClosed) {
    RaiseException("Can't change socks port if not closed");
    return;
  }
  socks_port_ = platform::Trim(value);
}

void TCustomSocksNetSocket::SetSocksLevel(const std::string& value) {
  if (State() != wsClosed) {
    RaiseException("Can't change socks level if not closed");
    return;
  }
  if (value != "4" && value != "4A" && value != "5") {
    RaiseException("Invalid socks level. Must be 4, 4A or 5.");
    return;
  }
  socks_level_ = value;
}

void TCustomSocksNetSocket::Listen() {
  if (!socks_server_.empty()) {
    RaiseException("Listening is not supported thru socks server");
    return;
  }
  Base::Listen();
}

void TCustomSocksNetSocket::Connect() {
  if (socks_server_.empty()) {
    Base::Connect();
    return;
  }
  if ((HSocket() != INVALID_SOCKET && State() != wsClosed) || negotiation_ != kNone) {
    RaiseException("Connect: Socket already in use");
    return;
  }
  if (!PortAssigned()) {
    RaiseException("Connect: No Port Specified");
    return;
  }
  if (!AddrAssigned()) {
    RaiseException("Connect: No IP Address Specified");
    return;
  }
  if (platform::LowerCase(Proto()) != "tcp") {
    RaiseException("tcp is the only protocol supported thru socks server");
    return;
  }
  target_port_ = NetSocketResolvePort(Port(), "tcp");
  const std::uint16_t proxy_port = NetSocketResolvePort(socks_port_, "tcp");
  const std::uint32_t proxy_addr = NetSocketResolveHost(socks_server_);
  target_addr_ = Addr();
  reply_count_ = 0;
  SetAddr(net::InetNtoa(proxy_addr));
  SetRemotePort(std::to_string(proxy_port));
  negotiation_ = kConnecting;
  try {
    Base::Connect();
  } catch (...) {
    negotiation_ = kNone;
    throw;
  }
  if (State() != wsConnecting && State() != wsConnected) negotiation_ = kNone;
}

int TCustomSocksNetSocket::GetRcvdCount() {
  // The proxy's replies are not the owner's data.
  if (negotiation_ != kNone) return 0;
  return Base::GetRcvdCount();
}

int TCustomSocksNetSocket::DoRecv(void* buffer, int size, int flags) {
  if (negotiation_ != kNone) {
    net::SetLastError(net::WSAEWOULDBLOCK);
    return -1;
  }
  return Base::DoRecv(buffer, size, flags);
}

void TCustomSocksNetSocket::TriggerSessionConnected(int error) {
  if (negotiation_ != kConnecting) {
    Base::TriggerSessionConnected(error);
    return;
  }
  StillAlive alive(*this);
  const TSocket h = HSocket();
  TriggerSocksConnected(error);
  if (alive.expired() || HSocket() != h) return;
  if (error != 0) {
    negotiation_ = kNone;
    Base::TriggerSessionConnected(error);
    return;
  }
  if (socks_level_ == "5") {
    SendGreeting();
  } else {
    SendConnectRequest();
  }
}

void TCustomSocksNetSocket::SendGreeting() {
  reply_count_ = 0;
  std::string greeting = {5, 1, SocksAuthentication == socksAuthenticateUsercode ? '\x02' : '\x00'};
  SendStr(greeting);
}

void TCustomSocksNetSocket::SendAuthentication() {
  // Each field travels behind a one-byte length.
  if (SocksUsercode.size() > 255 || SocksPassword.size() > 255) {
    Fail(socksInternalError, "internal error");
    return;
  }
  std::weak_ptr<bool> alive = AliveToken();
  negotiation_ = kAuthenticating;
  reply_count_ = 0;
  TriggerSocksAuthState(socksAuthStart);
  if (alive.expired() || negotiation_ != kAuthenticating) return;
  std::string request;
  request += '\x01';
  request += static_cast<char>(SocksUsercode.size());
  request += SocksUsercode;
  request += static_cast<char>(SocksPassword.size());
  request += SocksPassword;
  SendStr(request);
}

void TCustomSocksNetSocket::SendConnectRequest() {
  negotiation_ = kRequestSent;
  reply_count_ = 0;
  if (socks_level_ == "5") {
    // The name travels behind a one-byte length.
    if (target_addr_.empty() || target_addr_.size() > 255) {
      Fail(socksInternalError, "internal error");
      return;
    }
    std::string request = {5, 1, 0, 3};
    request += static_cast<char>(target_addr_.size());
    request += target_addr_;
    AppendPort(request, target_port_);
    SendStr(request);
    return;
  }
  // SOCKS 4 fields end at a zero byte: one inside them would cut the request.
  if (SocksUsercode.find('\0') != std::string::npos || target_addr_.find('\0') != std::string::npos) {
    Fail(socksInternalError, "internal error");
    return;
  }
  if (socks_level_ == "4A") {
    std::string request = {4, 1};
    AppendPort(request, target_port_);
    request += std::string("\x00\x00\x00\x01", 4);
    request += SocksUsercode;
    request += '\0';
    request += target_addr_;
    request += '\0';
    SendStr(request);
    return;
  }
  std::string request = {4, 1};
  AppendPort(request, target_port_);
  AppendAddr(request, NetSocketResolveHost(target_addr_));
  request += SocksUsercode;
  request += '\0';
  SendStr(request);
}

std::size_t TCustomSocksNetSocket::ReplyLength() const {
  switch (negotiation_) {
    case kConnecting:
    case kAuthenticating:
      return 2;
    case kRequestSent:
      if (socks_level_ != "5") return 8;
      if (reply_count_ < 5 || reply_[0] != 5) return 5;
      if (reply_[3] == 1) return 10;
      if (reply_[3] == 3) return 7 + static_cast<std::size_t>(reply_[4]);
      return 5;
    default:
      return 0;
  }
}

bool TCustomSocksNetSocket::TriggerDataAvailable(int error) {
  if (negotiation_ == kNone) return Base::TriggerDataAvailable(error);
  if (negotiation_ == kConnecting && socks_level_ != "5") {
    Fail(socksProtocolError, "TNetSocket logic error");
    return true;
  }
  // Only the bytes of the reply are taken; what the destination sends behind
  // it stays waiting for the owner. Nothing may follow the answer to the
  // credentials, though: the proxy waits for our request then.
  const std::size_t need = negotiation_ == kAuthenticating ? kReplyRoom : std::min(ReplyLength(), kReplyRoom);
  if (reply_count_ >= need) return true;
  const int n = TCustomNetSocket::DoRecv(reply_.data() + reply_count_, static_cast<int>(need - reply_count_), 0);
  if (n < 0) {
    const int e = net::LastError();
    if (e != net::WSAEWOULDBLOCK) Fail(e, "data receive error");
    return true;
  }
  if (n == 0) return true;  // the close notice follows
  reply_count_ += static_cast<std::size_t>(n);
  if (negotiation_ == kAuthenticating && reply_count_ > ReplyLength()) {
    Fail(socksProtocolError, "too much data availaible");
    return true;
  }
  if (reply_count_ >= ReplyLength()) HandleReply();
  return true;
}

void TCustomSocksNetSocket::HandleReply() {
  const std::uint8_t version = reply_[0];
  const int status = reply_[1];
  switch (negotiation_) {
    case kConnecting:
      if (version != 5) return Fail(socksVersionError, "socks version error");
      if (status == 0) return SendConnectRequest();
      if (status == 2) return SendAuthentication();
      return Fail(socksAuthMethodError, "authentification method not acceptable");
    case kAuthenticating: {
      if (version != 1) return Fail(socksVersionError, "socks version error");
      if (status != 0) return Fail(socksAuthenticationFailed, "socks authentication failed");
      std::weak_ptr<bool> alive = AliveToken();
      TriggerSocksAuthState(socksAuthSuccess);
      if (alive.expired() || negotiation_ != kAuthenticating) return;
      return SendConnectRequest();
    }
    case kRequestSent:
      if (socks_level_ != "5") {
        if (version != 0) return Fail(socksVersionError, "socks version error");
        if (status == 90) return Granted();
        return Fail(status >= 91 && status <= 93 ? socks4Refused + status - 90 : socks4Refused,
                    Socks4ReplyText(status));
      }
      if (version != 5) return Fail(socksVersionError, "socks version error");
      if (reply_[3] != 1 && reply_[3] != 3) return Fail(socksAddressTypeError, "address type not supported");
      if (status == 0) return Granted();
      return Fail(socks5Refused + status, SocksReplyText(status));
    default:
      return;
  }
}

void TCustomSocksNetSocket::Granted() {
  negotiation_ = kNone;
  reply_count_ = 0;
  std::weak_ptr<bool> alive = AliveToken();
  const TSocket h = HSocket();
  Base::TriggerSessionConnected(0);
  if (alive.expired() || HSocket() != h || h == INVALID_SOCKET) return;
  TriggerDataAvailable(0);
}

void TCustomSocksNetSocket::Fail(int error, const std::string& msg) {
  negotiation_ = kNone;
  reply_count_ = 0;
  std::weak_ptr<bool> alive = AliveToken();
  last_error_ = error;
  TriggerSocksError(error, msg);
  if (alive.expired() || HSocket() == INVALID_SOCKET) return;
  InternalClose(true, error);
}

void TCustomSocksNetSocket::TriggerSessionClosed(int error) {
  if (negotiation_ == kAuthenticating) {
    negotiation_ = kNone;
    std::weak_ptr<bool> alive = AliveToken();
    TriggerSocksAuthState(socksAuthFailure);
    if (alive.expired()) return;
  }
  negotiation_ = kNone;
  Base::TriggerSessionClosed(error);
}

void TCustomSocksNetSocket::TriggerSocksConnected(int error) {
  if (OnSocksConnected) OnSocksConnected(this, error);
}

void TCustomSocksNetSocket::TriggerSocksError(int error, const std::string& msg) {
  if (OnSocksError) OnSocksError(this, error, msg);
}

void TCustomSocksNetSocket::TriggerSocksAuthState(TSocksAuthState state) {
  if (OnSocksAuthState) OnSocksAuthState(this, state);
}
