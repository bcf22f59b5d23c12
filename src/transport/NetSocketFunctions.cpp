#include "transport/NetSocketFunctions.h"

#include <cstdio>
#include <limits>
#include <unordered_map>

#include "platform/Resolver.h"
#include "platform/SocketApi.h"
#include "transport/SocketException.h"

namespace net = platform::net;

namespace {

constexpr std::size_t kMaxHostText = 256;
constexpr std::size_t kMaxPortText = 31;

bool IsBlank(char c) { return c == ' '; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string TrimText(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

std::string Format(const char* fmt, const std::string& text, int code) {
  char buf[600];
  std::snprintf(buf, sizeof(buf), fmt, text.c_str(), code);
  return buf;
}

// Reads the leading decimal number of a port text (blanks before it skipped,
// digits up to the first other character) without letting it wrap.
long LeadingNumber(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  long value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 65535) return 65536;
  }
  return value;
}

std::uint16_t ResolvePortText(const std::string& port, const std::string& proto) {
  if (port.empty() || port.size() > kMaxPortText) throw ESocketException("NetSocketResolvePort: Invalid Port.");
  if (proto.empty() || proto.size() > kMaxPortText) throw ESocketException("NetSocketResolvePort: Invalid Proto.");
  // A number only when the text starts with a digit: " 80" is a service's
  // name. Port 0 stands: a Listen on it takes a free port.
  if (IsDigit(port[0])) {
    const long value = LeadingNumber(port);
    // Above 65535 is an error, never a number wrapped into range.
    if (value > 65535) throw ESocketException("NetSocketResolvePort: Invalid Port.");
    return static_cast<std::uint16_t>(value);
  }
  std::uint16_t number = 0;
  if (net::LookupService(TrimText(port), TrimText(proto), &number) != 0 || number == 0)
    throw ESocketException(Format("NetSocketResolvePort: Cannot convert port '%s', Error #%d", port, net::WSANO_DATA));
  return number;
}

}  // namespace

std::string NetSocketErrorDesc(int code) {
  static const std::unordered_map<int, const char*> texts = {
      {0, "No Error"},
      {10004, "Interrupted system call"},
      {10009, "Bad file number"},
      {10013, "Permission denied"},
      {10014, "Bad address"},
      {10022, "Invalid argument"},
      {10024, "Too many open files"},
      {10035, "Operation would block"},
      {10036, "Operation now in progress"},
      {10037, "Operation already in progress"},
      {10038, "Socket operation on non-socket"},
      {10039, "Destination address required"},
      {10040, "Message too long"},
      {10041, "Protocol wrong type for socket"},
      {10042, "Protocol not available"},
      {10043, "Protocol not supported"},
      {10044, "Socket type not supported"},
      {10045, "Operation not supported on socket"},
      {10046, "Protocol family not supported"},
      {10047, "Address family not supported by protocol family"},
      {10048, "Address already in use"},
      {10049, "Address not available"},
      {10050, "Network is down"},
      {10051, "Network is unreachable"},
      {10052, "Network dropped connection on reset"},
      {10053, "Connection aborted"},
      {10054, "Connection reset by peer"},
      {10055, "No buffer space available"},
      {10056, "Socket is already connected"},
      {10057, "Socket is not connected"},
      {10058, "Can't send after socket shutdown"},
      {10059, "Too many references: can't splice"},
      {10060, "Connection timed out"},
      {10061, "Connection refused"},
      {10062, "Too many levels of symbolic links"},
      {10063, "File name too long"},
      {10064, "Host is down"},
      {10065, "No route to host"},
      {10066, "Directory not empty"},
      {10067, "Too many processes"},
      {10068, "Too many users"},
      {10069, "Disc quota exceeded"},
      {10070, "Stale NFS file handle"},
      {10071, "Too many levels of remote in path"},
      {10091, "Network sub-system is unusable"},
      {10092, "WinSock DLL cannot support this application"},
      {10093, "WinSock not initialized"},
      {11001, "Host not found"},
      {11002, "Non-authoritative host not found"},
      {11003, "Non-recoverable error"},
      {11004, "No Data"},
  };
  auto it = texts.find(code);
  return it == texts.end() ? "Not a WinSock error" : it->second;
}

bool NetSocketIsDottedIP(const std::string& text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && IsBlank(text[i])) ++i;
  if (i < n && text[i] == '.') return false;
  int dots = 0;
  int group = 0;  // held at 256 once past the bound, so long digit runs cannot wrap
  bool digits = false;
  for (; i < n; ++i) {
    const char c = text[i];
    if (IsDigit(c)) {
      group = group * 10 + (c - '0');
      if (group > 255) group = 256;
      digits = true;
    } else if (c == '.') {
      if (!digits || group > 255 || ++dots > 3) return false;
      if (i + 1 >= n || !IsDigit(text[i + 1])) return false;
      group = 0;
      digits = false;
    } else {
      break;
    }
  }
  for (; i < n; ++i)
    if (!IsBlank(text[i])) return false;
  return dots == 3 && digits && group < 256;
}

std::uint32_t NetSocketResolveHost(const std::string& text) {
  if (text.empty() || text.size() > kMaxHostText)
    throw ESocketException("NetSocketResolveHost: '" + text + "' Invalid Hostname.");
  const std::string host = TrimText(text);
  if (NetSocketIsDottedIP(host)) {
    const std::uint32_t addr = net::InetAddr(host);
    if (addr == net::INADDR_NONE_VALUE && host != "255.255.255.255")
      throw ESocketException("NetSocketResolveHost: '" + text + "' Invalid IP address.");
    return addr;
  }
  std::vector<std::uint32_t> addrs;
  const int error = host.empty() ? net::WSAHOST_NOT_FOUND : net::LookupHost(host, &addrs);
  if (error != 0)
    throw ESocketException(Format("NetSocketResolveHost: Cannot convert host address '%s', Error #%d", text, error));
  return addrs.front();
}

std::uint16_t NetSocketResolvePort(const std::string& port, const std::string& proto) {
  return ResolvePortText(port, proto);
}

std::uint16_t NetSocketResolveLocalPort(const std::string& port, const std::string& proto) {
  return ResolvePortText(port, proto);
}

int NetSocketResolveProto(const std::string& text) {
  if (text.empty() || text.size() > kMaxPortText) throw ESocketException("NetSocketResolveProto: Invalid Protocol.");
  if (IsDigit(text[0])) {
    // The number as given (the socket refuses one it does not know); only
    // one no int can hold is refused.
    long long value = 0;
    for (std::size_t i = 0; i < text.size() && IsDigit(text[i]); ++i) {
      value = value * 10 + (text[i] - '0');
      if (value > std::numeric_limits<int>::max()) throw ESocketException("NetSocketResolveProto: Invalid Protocol.");
    }
    return static_cast<int>(value);
  }
  int number = 0;
  if (net::LookupProtocol(TrimText(text), &number) != 0)
    throw ESocketException(Format("NetSocketResolveProto: Cannot convert protocol '%s', Error #%d", text, net::WSANO_DATA));
  return number;
}

std::optional<THostEntry> NetSocketGetHostByName(const std::string& name) {
  if (name.empty() || name.size() > kMaxHostText) throw ESocketException("NetSocketGetHostByName: Invalid Hostname.");
  THostEntry entry;
  entry.Name = TrimText(name);
  if (net::LookupHost(entry.Name, &entry.Addresses) != 0) return std::nullopt;
  return entry;
}

std::optional<THostEntry> NetSocketGetHostByAddr(const std::string& dotted) {
  if (dotted.empty() || dotted.size() > kMaxHostText) throw ESocketException("NetSocketGetHostByAddr: Invalid address.");
  const std::uint32_t addr = net::InetAddr(dotted);
  if (addr == net::INADDR_NONE_VALUE) return std::nullopt;
  THostEntry entry;
  if (net::LookupAddress(addr, &entry.Name) != 0) return std::nullopt;
  entry.Addresses.push_back(addr);
  return entry;
}

std::string NetSocketResolveIp(const std::string& dotted) {
  auto entry = NetSocketGetHostByAddr(dotted);
  return entry ? entry->Name : std::string();
}

std::string LocalHostName() {
  std::string name = net::HostName();
  if (name.empty()) throw ESocketException("Winsock.GetHostName failed");
  return name;
}

TStrings& LocalIPList() {
  static TStringList list;
  list.Clear();
  for (const auto& a : net::LocalIPv4Addresses()) list.Add(a);
  return list;
}
