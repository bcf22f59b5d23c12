#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/StringList.h"

// Host, port and protocol resolution for the socket classes, the local host's
// name and addresses, and the texts of socket error numbers. Failures raise
// ESocketException with the texts the program shows.

// "Connection refused" for 10061; "Not a WinSock error" for numbers it does
// not know.
std::string NetSocketErrorDesc(int code);

// Dotted IPv4 text (four decimal groups of at most 255), blanks around it
// allowed.
bool NetSocketIsDottedIP(const std::string& text);

// The IPv4 address of a host name or dotted text, in network byte order.
// A host name is looked up, which may block.
std::uint32_t NetSocketResolveHost(const std::string& text);
// A port number (0 to 65535) from its decimal text (one that starts with a
// digit) or a service name.
std::uint16_t NetSocketResolvePort(const std::string& port, const std::string& proto);
// A protocol number from its decimal text or its name ("tcp" 6, "udp" 17).
int NetSocketResolveProto(const std::string& text);

struct THostEntry {
  std::string Name;
  std::vector<std::uint32_t> Addresses;  // network byte order
};
// Blocking look-ups; none when the name or address does not resolve.
std::optional<THostEntry> NetSocketGetHostByName(const std::string& name);
std::optional<THostEntry> NetSocketGetHostByAddr(const std::string& dotted);
// The host name of a dotted address, or the empty text. Blocking.
std::string NetSocketResolveIp(const std::string& dotted);

std::string LocalHostName();
// The local IPv4 addresses in dotted form, one per item. The list is shared
// and refilled by every call; callers must not keep references across calls
// that they expect to stay unchanged.
TStrings& LocalIPList();

// The same for local binding, where 0 asks the system to choose.
std::uint16_t NetSocketResolveLocalPort(const std::string& port, const std::string& proto);
