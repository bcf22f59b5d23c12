#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/EventLoop.h"

// IPv4 sockets for the transport layer: the calls it makes, their errors as
// the error numbers the rest of the program prints, and readiness notices
// delivered as messages to a MessageTarget.
//
// Notice rules the socket classes depend on:
// - FD_CONNECT once per connect attempt, carrying its error (also when the
//   connect completed at once); after a successful one, one FD_WRITE.
// - FD_READ when bytes wait; after a notice none follows until the owner
//   calls Recv again (whatever Recv returns). The notice may have taken the
//   first bytes from the system already: Recv hands them out first and
//   BytesAvailable counts them.
// - FD_WRITE once when a connected socket is first selected, afterwards only
//   after a Send that would block, when sending can go on.
// - FD_ACCEPT when a connection waits; the next one only after Accept.
// - FD_CLOSE once, when the peer's end is reached or a receive fails. It
//   carries the failure, also one that a Recv of the owner met first.
// Handles carry a generation, so a handle of a closed socket never reaches the
// socket that later got the same descriptor: calls with it fail with
// WSAENOTSOCK and notices meant for it are never delivered.
namespace platform::net {

using TSocket = std::uint64_t;
constexpr TSocket INVALID_SOCKET = ~TSocket{0};
constexpr int SOCKET_ERROR = -1;

// Error numbers, as the texts of the transport layer know them.
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEPFNOSUPPORT = 10046;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAELOOP = 10062;
constexpr int WSAENAMETOOLONG = 10063;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSAENOTEMPTY = 10066;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

// Notice bits.
constexpr int FD_READ = 1;
constexpr int FD_WRITE = 2;
constexpr int FD_OOB = 4;
constexpr int FD_ACCEPT = 8;
constexpr int FD_CONNECT = 16;
constexpr int FD_CLOSE = 32;

// A notice message: WParam is the socket handle, LParam the event bit in the
// low 16 bits and the error in the high 16 bits.
constexpr std::intptr_t MakeSelectReply(int event, int error) {
  return static_cast<std::intptr_t>((static_cast<unsigned>(error) & 0xFFFFu) << 16 |
                                    (static_cast<unsigned>(event) & 0xFFFFu));
}
constexpr int SelectEvent(std::intptr_t lparam) { return static_cast<int>(lparam & 0xFFFF); }
constexpr int SelectError(std::intptr_t lparam) { return static_cast<int>((lparam >> 16) & 0xFFFF); }

// Socket types and protocol numbers.
constexpr int SOCK_STREAM_TYPE = 1;
constexpr int SOCK_DGRAM_TYPE = 2;
constexpr int IPPROTO_TCP_NUMBER = 6;
constexpr int IPPROTO_UDP_NUMBER = 17;

// Send flags.
constexpr int MSG_OOB_FLAG = 1;
// Recv flags.
constexpr int MSG_PEEK_FLAG = 2;

// Shutdown directions.
constexpr int SD_RECEIVE = 0;
constexpr int SD_SEND = 1;
constexpr int SD_BOTH = 2;

// Addresses are IPv4 in network byte order (as the dotted text reads);
// ports are in host byte order.
struct SockAddr {
  std::uint32_t addr = 0;
  std::uint16_t port = 0;
};

constexpr std::uint32_t INADDR_NONE_VALUE = 0xFFFFFFFFu;

// The error of the last failed call on this thread.
int LastError();
void SetLastError(int error);
// The error number for an errno value.
int ErrorFromErrno(int err);

// Each call below returns SOCKET_ERROR (or INVALID_SOCKET) on failure and
// leaves the reason in LastError().
TSocket Socket(int type, int protocol);
int Bind(TSocket s, const SockAddr& local);
int Listen(TSocket s, int backlog);
// Failure to start is an error; a connect that goes on in the background
// answers WSAEWOULDBLOCK and ends in FD_CONNECT.
int Connect(TSocket s, const SockAddr& remote);
// Turns the caller away instead while descriptors are scarce (see below).
TSocket Accept(TSocket listener, SockAddr* peer);
int Recv(TSocket s, void* buffer, int length, int flags);
int RecvFrom(TSocket s, void* buffer, int length, int flags, SockAddr* from);
int Send(TSocket s, const void* data, int length, int flags);
int SendTo(TSocket s, const void* data, int length, int flags, const SockAddr& to);

// Several blocks in one send call, in order.
struct ConstBuffer {
  const void* data;
  std::size_t length;
};
int SendBuffers(TSocket s, const ConstBuffer* buffers, int count, int flags);

int Shutdown(TSocket s, int how);
// Closes gracefully: the handle is invalid at once, while the layer still
// sends `unsent`, shuts the sending side, drains what the peer still sends and
// then releases the descriptor (forcing it after a while).
int CloseSocket(TSocket s, std::string unsent = {});
// Closes at once with a reset; whatever was not yet delivered is lost.
int AbortSocket(TSocket s);

enum class Option { ReuseAddr, TcpNoDelay, KeepAlive, Broadcast, MulticastTtl, SendBuffer };
int SetOption(TSocket s, Option option, int value);
int SetLinger(TSocket s, bool on, int seconds);
int JoinMulticastGroup(TSocket s, std::uint32_t group);

int GetSockName(TSocket s, SockAddr* local);
int GetPeerName(TSocket s, SockAddr* peer);
// Bytes that a Recv would return now.
int BytesAvailable(TSocket s, unsigned long* count);

// Asks for the notices in mask to be sent to target as message msg; a mask of
// 0 stops them. The target must outlive the selection or cancel it.
int AsyncSelect(TSocket s, MessageTarget* target, unsigned msg, int mask);

// Dotted text <-> address (network order). InetAddr gives INADDR_NONE_VALUE
// for a text that is no dotted address.
std::uint32_t InetAddr(const std::string& dotted);
std::string InetNtoa(std::uint32_t addr);
std::uint32_t HostToNet32(std::uint32_t v);
std::uint32_t NetToHost32(std::uint32_t v);
std::uint16_t HostToNet16(std::uint16_t v);
std::uint16_t NetToHost16(std::uint16_t v);

// Number of sockets the layer has open for the program (lingering closes not
// counted); tests use it to find leaks.
int OpenSocketCount();
// Sockets closed gracefully that still wait for their peer's end (20 s at
// most). Their number is capped: beyond the cap the oldest is reset.
int LingeringCloseCount();
// Descriptors the layer holds: open sockets and lingering closes.
int SocketDescriptorCount();
// Whether the program is down to the descriptors it keeps in reserve for its
// own files and links (the directory link, the error log). Accept turns every
// caller away meanwhile: the connection is reset and Accept fails with
// WSAEMFILE.
bool DescriptorsScarce();

}  // namespace platform::net
