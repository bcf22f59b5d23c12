#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Name look-ups for the transport layer. Addresses are IPv4 in network byte
// order; errors are the socket layer's numbers (WSAHOST_NOT_FOUND ...).
namespace platform::net {

// Blocking look-ups; each returns 0 or the error.
int LookupHost(const std::string& name, std::vector<std::uint32_t>* addrs);
int LookupAddress(std::uint32_t addr, std::string* name);
int LookupService(const std::string& service, const std::string& proto, std::uint16_t* port);
int LookupProtocol(const std::string& name, int* number);

// The local host's name (empty when it cannot be read).
std::string HostName();
// The IPv4 addresses of the local interfaces that are up, in dotted form;
// loopback addresses come last.
std::vector<std::string> LocalIPv4Addresses();

// Asynchronous look-ups: the work runs on another thread and `done` runs later
// on the GUI thread, inside the event loop's guard, unless the request was
// cancelled first. A dotted address needs no look-up and completes without a
// thread (still after the call has returned). Returns the request id, or 0
// when the look-up cannot start (LastError tells why; `done` never runs).
using RequestId = std::uint64_t;
using HostLookupDone = std::function<void(int error, const std::vector<std::uint32_t>& addrs)>;
using AddressLookupDone = std::function<void(int error, const std::string& name)>;
RequestId AsyncLookupHost(const std::string& name, HostLookupDone done);
RequestId AsyncLookupAddress(std::uint32_t addr, AddressLookupDone done);
// True when the request was still pending; its `done` will not run.
bool CancelLookup(RequestId id);

}  // namespace platform::net
