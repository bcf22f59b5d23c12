#include "transport/ParloSocket.h"

#include <gtest/gtest.h>

#include "platform/Exception.h"
#include "transport/CmdParser.h"
#include "transport/Transport_helpers.h"

namespace {

using test::PumpUntil;
using test::RawPeer;

TEST(ParloSocket, FramesReachThePeerByteForByteOnlyWhileConnected) {
  RawPeer peer;
  const int port = peer.Listen();
  TParloSocket sock;
  sock.SendCommand(1001, "", "too early");  // closed: dropped
  sock.SetAddr("127.0.0.1");
  sock.SetPort(std::to_string(port));
  sock.Connect();
  sock.SendCommand(1001, "", "still too early");  // connecting: dropped
  ASSERT_TRUE(peer.AcceptOne());
  ASSERT_TRUE(PumpUntil([&] { return sock.State() == wsConnected; }));

  sock.SendCommand(1006, "", "Hi");
  sock.SendCommand(9013, "", "");
  sock.SendCommand(9003, "100234,secret", "");
  sock.SendCommand(1006, "", "two\r\nframes");  // would split at the receiver
  sock.SendCommand(2004, "a\nb", "x");
  const std::string expected =
      "  1006<>Hi\r\n"
      "  9013<>\r\n"
      "  9003<100234,secret>\r\n"
      "  9999<>\r\n"
      "  9999<>\r\n";
  EXPECT_EQ(peer.Read(expected.size()), expected);
  sock.Close();
  EXPECT_EQ(peer.ReadToEnd(), "");
  sock.SendCommand(1006, "", "after close");  // dropped again, no error
}

TEST(ParloSocket, StartsInLineModeSoEachEventIsOneWholeFrame) {
  RawPeer peer;
  const int port = peer.Listen();
  TParloSocket sock;
  EXPECT_TRUE(sock.LineMode());
  EXPECT_EQ(sock.LineEnd(), "\r\n");
  std::vector<std::string> frames;
  sock.OnDataAvailable = [&](TCustomNetSocket* s, int) {
    char buf[8192];
    const int n = s->Receive(buf, 8191);
    if (n <= 0) return;
    const std::string line = TCmdParser::CleanLine(std::string(buf, static_cast<size_t>(n)));
    frames.push_back(std::to_string(TCmdParser::ExtractCommand(line)) + "|" +
                     TCmdParser::ExtractParameters(line) + "|" +
                     TCmdParser::UnescapeText(TCmdParser::ExtractCommandText(line)));
  };
  sock.SetAddr("127.0.0.1");
  sock.SetPort(std::to_string(port));
  sock.Connect();
  ASSERT_TRUE(peer.AcceptOne());
  ASSERT_TRUE(PumpUntil([&] { return sock.State() == wsConnected; }));
  peer.Write("  1006<>Hel");
  test::PumpFor(20);
  peer.Write("lo$c you$r$n\r\n  2020<bob{$}10.0.0.2{$}2959{$}room>\r\n");
  ASSERT_TRUE(PumpUntil([&] { return frames.size() == 2; }));
  EXPECT_EQ(frames[0], "1006||Hello, you\r\n");
  EXPECT_EQ(frames[1], "2020|bob{$}10.0.0.2{$}2959{$}room|");
}

TEST(ParloSocket, SetProfileReadsNamedFields) {
  TParloSocket sock;
  EXPECT_EQ(sock.uid, "");
  EXPECT_EQ(sock.cam, 0);
  sock.SetProfile("uid=100234,group=General,lport=2960,desc=hi there,cam=1,mode=3,extra=x");
  EXPECT_EQ(sock.uid, "100234");
  EXPECT_EQ(sock.user, "New User");
  EXPECT_EQ(sock.lport, "2960");
  EXPECT_EQ(sock.cam, 1);
  EXPECT_EQ(sock.mode, 3);
  EXPECT_EQ(sock.PublicProfile,
            "uid=100234,user=New User,group=General,fname=,lname=,age=,dob=,sex=,hobby=,desc=hi there");
  EXPECT_EQ(sock.FullProfile, "uid=100234,group=General,lport=2960,desc=hi there,cam=1,mode=3,extra=x");
  EXPECT_THROW(sock.SetProfile("user=ann,cam=yes,mode=0"), platform::EConvertError);
}

}  // namespace
