#include "chatrooms/ChatInvite.h"

#include <algorithm>

#include "core/session/ErrorLog.h"
#include "core/session/Session.h"
#include "platform/Strings.h"
#include "platform/Timer.h"
#include "transport/CmdParser.h"
#include "transport/CommandCodes.h"
#include "transport/ParloSocket.h"

namespace {

constexpr unsigned kFree = platform::WM_USER + 1;

std::string CommasBack(const std::string& field) { return platform::StringReplace(field, "\r\n", ","); }

bool HasUser(const TContacts& list, const std::string& userName, std::vector<std::string>* ids) {
  bool found = false;
  for (const auto& [key, contact] : list.Entries()) {
    if (contact.UserName != userName) continue;
    found = true;
    if (ids != nullptr && !contact.UserID.empty()) ids->push_back(contact.UserID);
  }
  return found;
}

}  // namespace

std::string TChatInvite::Parameter() const {
  return HostUser + FieldSeparator + ChatIP + FieldSeparator + ChatPort + FieldSeparator + ChatName;
}

bool TChatInvite::Read(const std::string& parameters, TChatInvite& out) {
  const TFields fields = TFields::Record(parameters);
  if (fields.Count() < 4) return false;
  out = {CommasBack(fields[0]), fields[1], fields[2], CommasBack(fields[3])};
  return true;
}

bool InvitationWelcome(const TSession& session, const std::string& hostUser) {
  const TSettings& s = session.Settings;
  if (!s.ChatYes) return false;
  std::vector<std::string> ids;
  const bool friend_ = HasUser(session.Friends, hostUser, &ids);
  HasUser(session.Online, hostUser, &ids);
  HasUser(session.Incoming, hostUser, &ids);
  for (int i = 0; i < session.BlockedList.Count(); ++i) {
    const std::string& line = session.BlockedList[i];
    const std::size_t comma = line.find(',');
    const std::string id = line.substr(0, comma);
    const std::string name = comma == std::string::npos ? std::string() : line.substr(comma + 1);
    if (name == hostUser || std::find(ids.begin(), ids.end(), id) != ids.end()) return false;
  }
  return !s.ChatYesOnly || friend_;
}

// ----- sending ---------------------------------------------------------------------------

struct TChatInvitations::Invitation {
  unsigned Id = 0;
  std::unique_ptr<TParloSocket> Socket;
  std::unique_ptr<TTimer> Timer;
};

TChatInvitations::TChatInvitations()
    : target_([this](platform::TMessage& msg) {
        if (msg.Msg == kFree) Free(static_cast<unsigned>(msg.WParam));
      }) {}

TChatInvitations::~TChatInvitations() {
  for (auto& invitation : open_) Unbind(*invitation);
}

// Nothing of a socket that goes may call back into its invitation.
void TChatInvitations::Unbind(Invitation& inv) {
  inv.Timer->OnTimer = nullptr;
  inv.Socket->DropHandlers();
}

void TChatInvitations::CreateInviteSocket(const std::string& ip, const std::string& port, const TChatInvite& invite) {
  auto invitation = std::make_unique<Invitation>();
  Invitation& inv = *invitation;
  inv.Id = nextId_++;
  inv.Socket = std::make_unique<TParloSocket>();
  inv.Timer = std::make_unique<TTimer>();
  TParloSocket& s = *inv.Socket;
  // Held in the socket until the contact's listener greets it.
  s.user = invite.HostUser;
  s.group = invite.ChatIP;
  s.lport = invite.ChatPort;
  s.uid = invite.ChatName;
  s.ComponentOptions = TNetSocketOptions();
  s.OnDataAvailable = [this, &inv](TCustomNetSocket*, int error) { DataAvailable(inv, error); };
  s.OnChangeState = [this, &inv](TCustomNetSocket*, TSocketState, TSocketState state) {
    if (state == wsClosed) Closed(inv);
  };
  // A contact whose listener cannot be reached is told of as any other socket error.
  s.OnSessionConnected = [](TCustomNetSocket* socket, int error) {
    if (error != 0) ReportSocketError(*socket, error);
  };
  s.OnError = [](TCustomNetSocket* socket) { ReportSocketError(*socket, socket->LastError()); };
  s.OnBgException = [](TCustomNetSocket* socket, const std::exception& e, bool& handled) {
    LogError(socket->Addr(), socket->Port(), std::string("Winsock Exception ") + e.what());
    handled = true;
  };
  inv.Timer->SetInterval(timeoutMs_);
  inv.Timer->OnTimer = [this, &inv](TTimer*) {
    inv.Timer->SetEnabled(false);
    inv.Socket->Close();
    Closed(inv);
  };
  open_.push_back(std::move(invitation));
  try {
    s.ConnectTcp(ip, port);
  } catch (const std::exception&) {
    LogError("", "", "Creating chat request socket");
    Closed(inv);
  }
}

void TChatInvitations::DataAvailable(Invitation& inv, int error) {
  TParloSocket& s = *inv.Socket;
  if (error != 0) {
    ReportSocketError(s, error);
    return;
  }
  std::string line;
  try {
    const std::string received = s.ReceiveStr();
    if (received.empty() || s.State() != wsConnected) return;
    line = TCmdParser::CleanLine(received);
  } catch (const std::exception&) {
    LogError(s.PeerAddr(), s.PeerPort(), "Incoming Receiver Error");
    s.CloseDelayed();
    return;
  }
  try {
    if (s.State() != wsConnected) return;
    if (TCmdParser::ExtractCommand(line) == cmd::PeerHello) {
      const TChatInvite invite{s.user, s.group, s.lport, s.uid};
      s.SendCommand(cmd::RoomInvite, invite.Parameter(), "");
    } else {
      s.Close();
    }
  } catch (const std::exception&) {
    LogError(s.PeerAddr(), s.PeerPort(), "Incoming ProcessData");
  }
}

void TChatInvitations::Closed(Invitation& inv) {
  inv.Timer->SetEnabled(false);
  target_.Post(kFree, inv.Id);
}

void TChatInvitations::Free(unsigned id) {
  std::erase_if(open_, [this, id](const std::unique_ptr<Invitation>& inv) {
    if (inv->Id != id) return false;
    Unbind(*inv);
    return true;
  });
}
