#include "transport/NetSocketFunctions.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/SocketApi.h"
#include "transport/SocketException.h"

namespace {

TEST(NetSocketFunctions, DottedAddressTest) {
  const std::pair<const char*, bool> cases[] = {
      {"10.0.0.1", true},
      {"  10.0.0.1  ", true},
      {"010.000.000.001", true},
      {"255.255.255.255", true},
      {"10.0.0", false},
      {"10.0.0.256", false},
      {"256.0.0.1", false},
      {".10.0.0.1", false},
      {"1.2.3.4x", false},
      {"1.2.3.4 x", false},
      {"1..2.3", false},
      {"1.2.3.", false},
      {"1.2.3.4.5", false},
      {"", false},
      // Long digit runs must not wrap back into range.
      {"1.2.3.4294967297", false},
      {"4294967297.1.2.3", false},
      {"1.2.3.00000000000000000000000000000000000001", true},
  };
  for (auto [text, expected] : cases) EXPECT_EQ(NetSocketIsDottedIP(text), expected) << '"' << text << '"';
}

TEST(NetSocketFunctions, PortsAreNumbersInRangeOrServiceNames) {
  EXPECT_EQ(NetSocketResolvePort("2960", "tcp"), 2960);
  EXPECT_EQ(NetSocketResolvePort("65535", "tcp"), 65535);
  EXPECT_EQ(NetSocketResolvePort("80abc", "tcp"), 80);
  EXPECT_EQ(NetSocketResolvePort("0", "tcp"), 0);  // a Listen on it takes a free port
  for (const char* bad : {"70000", "65536", "", "123456789012345678901234567890123"}) {
    try {
      NetSocketResolvePort(bad, "tcp");
      ADD_FAILURE() << '"' << bad << '"';
    } catch (const ESocketException& e) {
      EXPECT_EQ(std::string(e.what()), "NetSocketResolvePort: Invalid Port.");
    }
  }
  EXPECT_THROW(NetSocketResolvePort("80", ""), ESocketException);
  EXPECT_THROW(NetSocketResolvePort("no-such-service-here", "tcp"), ESocketException);
  // Only a text that starts with a digit is a number: " 80" names a service.
  try {
    NetSocketResolvePort(" 80", "tcp");
    ADD_FAILURE() << "\" 80\"";
  } catch (const ESocketException& e) {
    EXPECT_EQ(std::string(e.what()), "NetSocketResolvePort: Cannot convert port ' 80', Error #11004");
  }
  EXPECT_EQ(NetSocketResolveLocalPort("0", "tcp"), 0);
  EXPECT_EQ(NetSocketResolveProto("tcp"), 6);
  EXPECT_EQ(NetSocketResolveProto("17"), 17);
  EXPECT_EQ(NetSocketResolveProto("300"), 300);  // the socket, not the name, refuses it
  EXPECT_THROW(NetSocketResolveProto("99999999999"), ESocketException);
}

TEST(NetSocketFunctions, HostsResolveOrFailWithTheirTexts) {
  EXPECT_EQ(platform::net::InetNtoa(NetSocketResolveHost(" 127.0.0.1 ")), "127.0.0.1");
  EXPECT_EQ(platform::net::InetNtoa(NetSocketResolveHost("localhost")), "127.0.0.1");
  EXPECT_EQ(NetSocketResolveHost("255.255.255.255"), 0xFFFFFFFFu);
  try {
    NetSocketResolveHost("");
    FAIL();
  } catch (const ESocketException& e) {
    EXPECT_EQ(std::string(e.what()), "NetSocketResolveHost: '' Invalid Hostname.");
  }
  EXPECT_THROW(NetSocketResolveHost(std::string(257, 'a')), ESocketException);
}

TEST(NetSocketFunctions, ErrorTexts) {
  EXPECT_EQ(NetSocketErrorDesc(0), "No Error");
  EXPECT_EQ(NetSocketErrorDesc(10061), "Connection refused");
  EXPECT_EQ(NetSocketErrorDesc(10054), "Connection reset by peer");
  EXPECT_EQ(NetSocketErrorDesc(11001), "Host not found");
  EXPECT_EQ(NetSocketErrorDesc(12345), "Not a WinSock error");
}

TEST(NetSocketFunctions, LocalAddressListIsSharedAndRefilled) {
  const auto& first = LocalIPList();
  const int count = first.Count();
  const auto& second = LocalIPList();
  EXPECT_EQ(&first, &second);
  EXPECT_EQ(second.Count(), count);
  EXPECT_GE(second.IndexOf("127.0.0.1"), 0);
  EXPECT_FALSE(LocalHostName().empty());
}

}  // namespace
