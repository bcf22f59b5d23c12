#include "platform/Resolver.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <system_error>
#include <thread>
#include <unordered_map>

#include "platform/EventLoop.h"
#include "platform/SocketApi.h"

namespace platform::net {

namespace {

int ErrorFromGai(int rc) {
  switch (rc) {
    case 0: return 0;
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
    case EAI_FAMILY: return WSAHOST_NOT_FOUND;
    case EAI_AGAIN: return WSATRY_AGAIN;
    case EAI_FAIL: return WSANO_RECOVERY;
    default: return WSANO_DATA;
  }
}

// Pending asynchronous requests; touched on the GUI thread only.
struct Pending {
  HostLookupDone host_done;
  AddressLookupDone address_done;
};

std::unordered_map<RequestId, Pending>& PendingTable() {
  static std::unordered_map<RequestId, Pending> table;
  return table;
}

RequestId next_request = 1;

void FinishHost(RequestId id, int error, const std::vector<std::uint32_t>& addrs) {
  auto& table = PendingTable();
  auto it = table.find(id);
  if (it == table.end()) return;  // cancelled
  HostLookupDone done = std::move(it->second.host_done);
  table.erase(it);
  if (done) done(error, addrs);
}

void FinishAddress(RequestId id, int error, const std::string& name) {
  auto& table = PendingTable();
  auto it = table.find(id);
  if (it == table.end()) return;
  AddressLookupDone done = std::move(it->second.address_done);
  table.erase(it);
  if (done) done(error, name);
}

}  // namespace

int LookupHost(const std::string& name, std::vector<std::uint32_t>* addrs) {
  addrs->clear();
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  const int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &res);
  if (rc != 0) return ErrorFromGai(rc);
  for (addrinfo* p = res; p != nullptr; p = p->ai_next) {
    if (p->ai_family != AF_INET) continue;
    const auto* sa = reinterpret_cast<const sockaddr_in*>(p->ai_addr);
    addrs->push_back(sa->sin_addr.s_addr);
  }
  ::freeaddrinfo(res);
  return addrs->empty() ? WSANO_DATA : 0;
}

int LookupAddress(std::uint32_t addr, std::string* name) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = addr;
  char host[NI_MAXHOST];
  const int rc = ::getnameinfo(reinterpret_cast<const sockaddr*>(&sa), sizeof(sa), host, sizeof(host), nullptr, 0,
                               NI_NAMEREQD);
  if (rc != 0) return ErrorFromGai(rc);
  *name = host;
  return 0;
}

int LookupService(const std::string& service, const std::string& proto, std::uint16_t* port) {
  servent entry{};
  servent* result = nullptr;
  char buf[1024];
  ::getservbyname_r(service.c_str(), proto.c_str(), &entry, buf, sizeof(buf), &result);
  if (result == nullptr) return WSANO_DATA;
  *port = ntohs(static_cast<std::uint16_t>(result->s_port));
  return 0;
}

int LookupProtocol(const std::string& name, int* number) {
  protoent entry{};
  protoent* result = nullptr;
  char buf[1024];
  ::getprotobyname_r(name.c_str(), &entry, buf, sizeof(buf), &result);
  if (result == nullptr) {
    // Without /etc/protocols (minimal containers) the two names the program
    // uses still resolve.
    if (name == "tcp") return *number = 6, 0;
    if (name == "udp") return *number = 17, 0;
    return WSANO_DATA;
  }
  *number = result->p_proto;
  return 0;
}

std::string HostName() {
  char buf[256] = {};
  if (::gethostname(buf, sizeof(buf) - 1) != 0) return {};
  return buf;
}

std::vector<std::string> LocalIPv4Addresses() {
  std::vector<std::string> outer;
  std::vector<std::string> loopback;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return outer;
  for (ifaddrs* p = list; p != nullptr; p = p->ifa_next) {
    if (p->ifa_addr == nullptr || p->ifa_addr->sa_family != AF_INET) continue;
    if ((p->ifa_flags & IFF_UP) == 0) continue;
    const auto* sa = reinterpret_cast<const sockaddr_in*>(p->ifa_addr);
    std::string dotted = InetNtoa(sa->sin_addr.s_addr);
    ((p->ifa_flags & IFF_LOOPBACK) ? loopback : outer).push_back(std::move(dotted));
  }
  ::freeifaddrs(list);
  outer.insert(outer.end(), loopback.begin(), loopback.end());
  return outer;
}

namespace {

// The look-up's thread; 0 (the request forgotten, LastError set) when the
// system has no thread to give.
RequestId StartWorker(RequestId id, std::function<void()> work) {
  try {
    std::thread(std::move(work)).detach();
    return id;
  } catch (const std::system_error& e) {
    PendingTable().erase(id);
    SetLastError(ErrorFromErrno(e.code().value()));
    return 0;
  }
}

}  // namespace

RequestId AsyncLookupHost(const std::string& name, HostLookupDone done) {
  const RequestId id = next_request++;
  PendingTable()[id].host_done = std::move(done);
  const std::uint32_t direct = InetAddr(name);
  if (direct != INADDR_NONE_VALUE || name == "255.255.255.255") {
    std::vector<std::uint32_t> addrs{direct};
    PostToMainThread([id, addrs] { FinishHost(id, 0, addrs); });
    return id;
  }
  PrepareMainThreadPosting();
  return StartWorker(id, [id, name] {
    std::vector<std::uint32_t> addrs;
    const int error = LookupHost(name, &addrs);
    PostToMainThread([id, error, addrs] { FinishHost(id, error, addrs); });
  });
}

RequestId AsyncLookupAddress(std::uint32_t addr, AddressLookupDone done) {
  const RequestId id = next_request++;
  PendingTable()[id].address_done = std::move(done);
  PrepareMainThreadPosting();
  return StartWorker(id, [id, addr] {
    std::string name;
    const int error = LookupAddress(addr, &name);
    PostToMainThread([id, error, name] { FinishAddress(id, error, name); });
  });
}

bool CancelLookup(RequestId id) { return PendingTable().erase(id) > 0; }

}  // namespace platform::net
