#pragma once

#include <functional>
#include <string>
#include <vector>

#include "transport/NetSocket.h"

class TCustomNetSocketServer;

// One accepted connection of a TCustomNetSocketServer. It remembers its peer's
// address and port from the moment it was accepted, greets with Banner, and
// is freed by its server once its connection has closed and the close events
// have run.
class TNetSocketClient : public TNetSocket {
 public:
  explicit TNetSocketClient(TComponent* owner = nullptr) : TNetSocket(owner) {}
  ~TNetSocketClient() override;

  std::string Banner;
  TCustomNetSocketServer* Server() const { return server_; }

  virtual void StartConnection();
  void Dup(TSocket handle) override;
  std::string GetPeerAddr() override { return peer_addr_; }
  std::string GetPeerPort() override { return peer_port_; }

 protected:
  void TriggerSessionClosed(int error) override;

 private:
  friend class TCustomNetSocketServer;
  // The server whose list holds this client, from its creation on; Server()
  // names it only from after OnClientCreate.
  TCustomNetSocketServer* list_ = nullptr;
  TCustomNetSocketServer* server_ = nullptr;
  unsigned long number_ = 0;
  std::string peer_addr_;
  std::string peer_port_;
  bool closed_ = false;
};

using TClientCreateEvent = std::function<void(TCustomNetSocketServer* Sender, TNetSocketClient* Client)>;
using TClientEvent = std::function<void(TCustomNetSocketServer* Sender, TNetSocketClient* Client, int Error)>;

// A listening socket that accepts every caller into a new client object of
// its client class, greets it, turns away callers beyond MaxClients with
// BannerToBusy, and frees each client after its connection has closed.
class TCustomNetSocketServer : public TNetSocket {
 public:
  explicit TCustomNetSocketServer(TComponent* owner = nullptr);
  ~TCustomNetSocketServer() override;

  std::string Banner = "Welcome to TcpSrv";
  std::string BannerToBusy = "Sorry, too many clients";
  int MaxClients = 0;  // 0: no limit
  TClientCreateEvent OnClientCreate;
  TClientEvent OnClientConnect;
  TClientEvent OnClientDisconnect;

  // The class of the client objects, set before Listen. Clients are made
  // with the server as their owner.
  template <class T>
  void SetClientClass() {
    client_factory_ = [](TComponent* owner) { return static_cast<TNetSocketClient*>(new T(owner)); };
  }
  void SetClientFactory(std::function<TNetSocketClient*(TComponent* owner)> factory) {
    client_factory_ = std::move(factory);
  }

  virtual int GetClientCount() const { return static_cast<int>(clients_.size()); }
  int ClientCount() const { return GetClientCount(); }
  virtual TNetSocketClient* GetClient(int index) const;
  TNetSocketClient* Client(int index) const { return GetClient(index); }
  bool IsClient(const TNetSocketClient* client) const;

 protected:
  void WndProc(platform::TMessage& msg) override;
  void TriggerSessionAvailable(int error) override;
  virtual void TriggerClientCreate(TNetSocketClient* client);
  virtual void TriggerClientConnect(TNetSocketClient* client, int error);
  virtual void TriggerClientDisconnect(TNetSocketClient* client, int error);

 private:
  friend class TNetSocketClient;
  void ClientClosed(TNetSocketClient* client);
  void RemoveClient(TNetSocketClient* client);
  TNetSocketClient* FindClient(unsigned long number) const;

  std::function<TNetSocketClient*(TComponent* owner)> client_factory_;
  std::vector<TNetSocketClient*> clients_;
  unsigned long client_number_ = 0;
  bool accept_failing_ = false;
};

class TNetSocketServer : public TCustomNetSocketServer {
 public:
  explicit TNetSocketServer(TComponent* owner = nullptr) : TCustomNetSocketServer(owner) {}
};
