#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "transport/CustomNetSocket.h"

enum TSocksAuthentication { socksNoAuthentication = 0, socksAuthenticateUsercode = 1 };

enum TSocksAuthState { socksAuthStart = 0, socksAuthSuccess = 1, socksAuthFailure = 2, socksAuthNotRequired = 3 };

using TSocksErrorEvent = std::function<void(TCustomNetSocket* Sender, int Error, const std::string& Msg)>;
using TSocksAuthStateEvent = std::function<void(TCustomNetSocket* Sender, TSocksAuthState AuthState)>;

// Error numbers of a failed proxy negotiation (OnSocksError, then the close).
constexpr int socksProtocolError = 20001;
constexpr int socksVersionError = 20002;
constexpr int socksAuthMethodError = 20003;
constexpr int socksAddressTypeError = 20011;
constexpr int socksInternalError = 20013;
constexpr int socksAuthenticationFailed = 20015;
// A refused connect request: SOCKS 4 gives 20020 + (status - 90) for the
// statuses 91 to 93 and 20020 for others; SOCKS 5 gives 20030 + its status.
constexpr int socks4Refused = 20020;
constexpr int socks5Refused = 20030;

// Routes an outgoing TCP connection through a SOCKS 4, 4A or 5 proxy while
// SocksServer is set; an ordinary socket while it is empty.
//
// The owner sets Addr and Port to the final destination as usual. Connect
// reaches the proxy instead (Addr and Port then read as the proxy's until the
// close), negotiates, and only then raises OnSessionConnected (0). The proxy's
// name, like a SOCKS 4 destination's, is looked up as Connect looks up any
// host. SocksLevel goes back to "5" at every close, like Addr and Port go back
// to unset: an owner sets it before each Connect. Every socket of the program
// carries this layer (see TNetSocket and TSocksNetSocket in NetSocket.h).
class TCustomSocksNetSocket : public TCustomNetSocket {
  using Base = TCustomNetSocket;

 public:
  explicit TCustomSocksNetSocket(TComponent* owner = nullptr);
  ~TCustomSocksNetSocket() override;

  const std::string& SocksServer() const { return socks_server_; }
  virtual void SetSocksServer(const std::string& value);
  const std::string& SocksPort() const { return socks_port_; }
  virtual void SetSocksPort(const std::string& value);
  const std::string& SocksLevel() const { return socks_level_; }
  // "4", "4A" or "5".
  void SetSocksLevel(const std::string& value);
  std::string SocksUsercode;
  std::string SocksPassword;
  TSocksAuthentication SocksAuthentication = socksNoAuthentication;

  TSessionEvent OnSocksConnected;
  TSocksErrorEvent OnSocksError;
  TSocksAuthStateEvent OnSocksAuthState;

  void Connect() override;
  void Listen() override;
  int GetRcvdCount() override;
  void DropHandlers() override;

 protected:
  void AssignDefaultValue() override;
  void TriggerSessionConnected(int error) override;
  void TriggerSessionClosed(int error) override;
  bool TriggerDataAvailable(int error) override;
  int DoRecv(void* buffer, int size, int flags) override;
  bool Negotiating() const override { return negotiation_ != kNone; }

  virtual void TriggerSocksConnected(int error);
  virtual void TriggerSocksError(int error, const std::string& msg);
  virtual void TriggerSocksAuthState(TSocksAuthState state);

 private:
  enum Negotiation { kNone = 0, kConnecting = 1, kAuthenticating = 2, kRequestSent = 3 };

  void SendGreeting();
  void SendAuthentication();
  void SendConnectRequest();
  // Bytes of the reply expected in the current step, from what has come so far.
  std::size_t ReplyLength() const;
  void HandleReply();
  void Granted();
  void Fail(int error, const std::string& msg);

  std::string socks_server_;
  std::string socks_port_;
  std::string socks_level_ = "5";
  Negotiation negotiation_ = kNone;
  std::string target_addr_;
  std::uint16_t target_port_ = 0;

  // Longest reply: SOCKS 5 with a 255-byte domain name (4 + 1 + 255 + 2).
  static constexpr std::size_t kReplyRoom = 262;
  std::array<std::uint8_t, kReplyRoom> reply_{};
  std::size_t reply_count_ = 0;
};

// The text of a SOCKS 5 connect-reply status (also "unassigned error #" + n).
std::string SocksReplyText(int status);
