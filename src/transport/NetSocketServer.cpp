#include "transport/NetSocketServer.h"

#include <algorithm>

namespace net = platform::net;

// ---------------------------------------------------------------------------
// TNetSocketClient

TNetSocketClient::~TNetSocketClient() {
  if (list_ != nullptr) list_->RemoveClient(this);
}

void TNetSocketClient::StartConnection() {
  if (!Banner.empty()) SendStr(Banner + LineEnd());
}

void TNetSocketClient::Dup(TSocket handle) {
  TNetSocket::Dup(handle);
  peer_addr_ = TNetSocket::GetPeerAddr();
  peer_port_ = TNetSocket::GetPeerPort();
}

void TNetSocketClient::TriggerSessionClosed(int error) {
  if (!closed_) {
    closed_ = true;
    if (list_ != nullptr) list_->ClientClosed(this);
  }
  TNetSocket::TriggerSessionClosed(error);
}

// ---------------------------------------------------------------------------
// TCustomNetSocketServer

TCustomNetSocketServer::TCustomNetSocketServer(TComponent* owner) : TNetSocket(owner) {
  SetClientClass<TNetSocketClient>();
}

TCustomNetSocketServer::~TCustomNetSocketServer() {
  while (!clients_.empty()) delete clients_.back();  // each removes itself
}

TNetSocketClient* TCustomNetSocketServer::GetClient(int index) const {
  if (index < 0 || index >= static_cast<int>(clients_.size())) return nullptr;
  return clients_[static_cast<std::size_t>(index)];
}

bool TCustomNetSocketServer::IsClient(const TNetSocketClient* client) const {
  return std::find(clients_.begin(), clients_.end(), client) != clients_.end();
}

TNetSocketClient* TCustomNetSocketServer::FindClient(unsigned long number) const {
  for (TNetSocketClient* c : clients_)
    if (c->number_ == number) return c;
  return nullptr;
}

void TCustomNetSocketServer::RemoveClient(TNetSocketClient* client) {
  clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
  client->list_ = nullptr;
  client->server_ = nullptr;
}

void TCustomNetSocketServer::ClientClosed(TNetSocketClient* client) {
  // Freed from the event loop, after the client's own close events have run;
  // by number, so a later client at the same address is never mistaken for it.
  PostMessage(WM_CLIENT_CLOSED, client->number_);
}

void TCustomNetSocketServer::WndProc(platform::TMessage& msg) {
  if (msg.Msg != WM_CLIENT_CLOSED) {
    TNetSocket::WndProc(msg);
    return;
  }
  TNetSocketClient* client = FindClient(static_cast<unsigned long>(msg.WParam));
  if (client == nullptr) return;
  std::weak_ptr<bool> alive = AliveToken();
  try {
    TriggerClientDisconnect(client, 0);
  } catch (const std::exception& e) {
    if (!alive.expired()) HandleBackGroundException(e);
  }
  if (!alive.expired() && IsClient(client)) delete client;
}

void TCustomNetSocketServer::TriggerSessionAvailable(int error) {
  std::weak_ptr<bool> alive = AliveToken();
  TNetSocket::TriggerSessionAvailable(error);
  if (alive.expired() || error != 0 || State() != wsListening) return;

  ++client_number_;
  TNetSocketClient* client = client_factory_(this);
  client->list_ = this;
  client->number_ = client_number_;
  clients_.push_back(client);
  TriggerClientCreate(client);
  if (alive.expired() || !IsClient(client)) return;
  client->SetName(Name() + "Client" + std::to_string(client_number_));
  client->Banner = Banner;
  client->server_ = this;

  net::SockAddr peer;
  const TSocket h = net::Accept(HSocket(), &peer);
  if (h == INVALID_SOCKET) {
    // The caller gave up before being taken, or the process ran out of
    // descriptors: drop the client, keep listening, and let the limit count
    // only the clients that exist.
    const int err = net::LastError();
    // One line for a run of failures: callers turned away one after the
    // other would otherwise fill the log.
    if (err != net::WSAEWOULDBLOCK && !accept_failing_)
      platform::LogLine("Accept failed on " + Name() + ": error " + std::to_string(err) + " " + NetSocketErrorDesc(err));
    accept_failing_ = accept_failing_ || err != net::WSAEWOULDBLOCK;
    delete client;
    return;
  }
  accept_failing_ = false;
  client->Dup(h);
  TriggerClientConnect(client, error);
  if (alive.expired() || !IsClient(client) || client->State() != wsConnected) return;
  if (MaxClients > 0 && GetClientCount() > MaxClients) {
    client->Banner = BannerToBusy;
    client->StartConnection();
    if (IsClient(client)) client->Close();
  } else {
    client->StartConnection();
  }
}

void TCustomNetSocketServer::TriggerClientCreate(TNetSocketClient* client) {
  if (!OnClientCreate) return;
  auto handler = OnClientCreate;
  handler(this, client);
}

void TCustomNetSocketServer::TriggerClientConnect(TNetSocketClient* client, int error) {
  if (!OnClientConnect) return;
  auto handler = OnClientConnect;
  handler(this, client, error);
}

void TCustomNetSocketServer::TriggerClientDisconnect(TNetSocketClient* client, int error) {
  if (!OnClientDisconnect) return;
  auto handler = OnClientDisconnect;
  handler(this, client, error);
}
