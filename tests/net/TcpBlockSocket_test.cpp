#include "net/TcpBlockSocket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <streambuf>
#include <thread>
#include <vector>

#include "tests/net/LoopbackSockets.h"
#include "tests/net/ServerTesting.h"

namespace webtessl {
namespace {

using testing::PatternBytes;
using testing::PortOf;
using testing::TLoopbackPair;
using namespace std::chrono_literals;

// A stream that records the size of every write it is given.
class TWriteRecorder : public std::streambuf {
 public:
  std::vector<std::streamsize> Writes;
  std::string Bytes;

 protected:
  std::streamsize xsputn(const char* data, std::streamsize count) override {
    Writes.push_back(count);
    Bytes.append(data, static_cast<std::size_t>(count));
    return count;
  }
};

TEST(TcpBlockSocketTest, TwoLinesInOnePacketAreHandedOutOneByOne) {
  TLoopbackPair pair;
  pair.Client.SendText("GET / HTTP/1.1\r\nHost: here\r\n");
  ASSERT_TRUE(pair.Server.WaitReadable(5000));
  EXPECT_EQ(pair.Server.ReceiveLine(5000), "GET / HTTP/1.1");
  // The second line is already in the read-ahead buffer: no waiting even with timeout 0.
  EXPECT_EQ(pair.Server.ReceiveLine(0), "Host: here");
  EXPECT_EQ(pair.Server.LastErrorCode(), 0);
}

TEST(TcpBlockSocketTest, BareLineFeedDoesNotEndALine) {
  TLoopbackPair pair;
  pair.Client.SendText("one\ntwo\n");
  EXPECT_EQ(pair.Server.ReceiveLine(200), "");
  EXPECT_EQ(pair.Server.LastErrorCode(), 10060);
  EXPECT_EQ(pair.Server.LastErrorText(), "Connection timed out");
  // What arrived stays in the read-ahead buffer and becomes part of the line once CR LF comes.
  pair.Client.SendText("\r\n");
  EXPECT_EQ(pair.Server.ReceiveLine(5000), "one\ntwo\n");
  EXPECT_EQ(pair.Server.LastErrorCode(), 0);
}

TEST(TcpBlockSocketTest, EmptyLineIsReceivedWithoutError) {
  TLoopbackPair pair;
  pair.Client.SendText("\r\n");
  EXPECT_EQ(pair.Server.ReceiveLine(5000), "");
  EXPECT_EQ(pair.Server.LastErrorCode(), 0);
}

TEST(TcpBlockSocketTest, PeerCloseAndResetGive10054) {
  TLoopbackPair closing;
  closing.Client.SendText("no line end");
  closing.Client.Close();
  EXPECT_EQ(closing.Server.ReceiveLine(5000), "");
  EXPECT_EQ(closing.Server.LastErrorCode(), 10054);

  TLoopbackPair resetting;
  resetting.Client.SetLingerOption(true, 0);  // closing with linger 0 resets the connection
  resetting.Client.Close();
  EXPECT_EQ(resetting.Server.ReceiveLine(5000), "");
  EXPECT_EQ(resetting.Server.LastErrorCode(), 10054);
  EXPECT_EQ(resetting.Server.LastErrorText(), "Connection reset by peer");
}

TEST(TcpBlockSocketTest, TooLongLineEndsWith10055) {
  TLoopbackPair pair;
  pair.Server.SetMaxLineLength(10);
  pair.Client.SendText("0123456789\r\nshort\r\n0123456789A");
  EXPECT_EQ(pair.Server.ReceiveLine(5000), "0123456789");  // exactly the limit is accepted
  EXPECT_EQ(pair.Server.ReceiveLine(5000), "short");
  EXPECT_EQ(pair.Server.ReceiveLine(5000), "");
  EXPECT_EQ(pair.Server.LastErrorCode(), 10055);
}

TEST(TcpBlockSocketTest, EndlessLineIsRefusedAfterBufferingAboutTheLimit) {
  TLoopbackPair pair;
  pair.Server.SetMaxLineLength(1000);
  pair.Client.SendText(std::string(5000, 'a'));
  int waiting = 0;
  ASSERT_TRUE(testing::WaitFor([&] {
    return GetSocketBytesWaiting(pair.Server.Handle(), waiting) == 0 && waiting == 5000;
  }));
  EXPECT_EQ(pair.Server.ReceiveLine(5000), "");
  EXPECT_EQ(pair.Server.LastErrorCode(), 10055);
  ASSERT_EQ(GetSocketBytesWaiting(pair.Server.Handle(), waiting), 0);
  EXPECT_GE(waiting, 5000 - 1002);  // the rest was never taken from the system
}

TEST(TcpBlockSocketTest, ShortLineFollowedByManyBytesIsNotTooLong) {
  TLoopbackPair pair;
  pair.Server.SetMaxLineLength(16);
  pair.Client.SendText("POST / HTTP/1.1\r\n" + PatternBytes(1000));
  EXPECT_EQ(pair.Server.ReceiveLine(5000), "POST / HTTP/1.1");
  EXPECT_EQ(pair.Server.LastErrorCode(), 0);
}

TEST(TcpBlockSocketTest, ReceiveToStreamAppendsWholeBlocksAndKeepsTheRest) {
  TLoopbackPair pair;
  const std::string body = PatternBytes(100000);
  pair.Client.SendText(body + "tail\r\n");
  TWriteRecorder recorder;
  std::ostream stream(&recorder);
  pair.Server.ReceiveToStream(stream, 5000, 100000);
  EXPECT_EQ(pair.Server.LastErrorCode(), 0);
  EXPECT_EQ(recorder.Writes, (std::vector<std::streamsize>{65536, 34464}));
  EXPECT_EQ(recorder.Bytes, body);
  EXPECT_EQ(pair.Server.ReceiveLine(5000), "tail");
}

TEST(TcpBlockSocketTest, ReceiveToStreamDoesNotAppendAFailedBlock) {
  TLoopbackPair pair;
  pair.Client.SendText(PatternBytes(70000));
  pair.Client.Close();
  TWriteRecorder recorder;
  std::ostream stream(&recorder);
  pair.Server.ReceiveToStream(stream, 5000, 100000);
  EXPECT_EQ(pair.Server.LastErrorCode(), 10054);
  EXPECT_EQ(recorder.Writes, (std::vector<std::streamsize>{65536}));
}

TEST(TcpBlockSocketTest, LingerQueuedBeforeTheHandleExistsIsAppliedInWholeSeconds) {
  TTCPBlockSocket listener;
  listener.SetLingerOption(true, 10);
  EXPECT_EQ(listener.Handle(), kInvalidSocket);
  EXPECT_EQ(listener.LastErrorCode(), 0);
  listener.Bind("127.0.0.1", "0");
  listener.Listen();
  ASSERT_NE(listener.Handle(), kInvalidSocket);
  bool enabled = false;
  int seconds = -1;
  ASSERT_EQ(GetSocketLinger(listener.Handle(), enabled, seconds), 0);
  EXPECT_TRUE(enabled);
  EXPECT_EQ(seconds, 0);

  // An accepted connection does not inherit it: its close must stay graceful.
  TTCPBlockSocket client;
  client.Connect("127.0.0.1", PortOf(listener));
  ASSERT_TRUE(listener.WaitReadable(5000));
  TTCPBlockSocket server;
  server.AdoptHandle(listener.Accept());
  ASSERT_EQ(GetSocketLinger(server.Handle(), enabled, seconds), 0);
  EXPECT_FALSE(enabled);
}

TEST(TcpBlockSocketTest, NoDelayQueuedBeforeAdoptionIsApplied) {
  TLoopbackPair pair;
  TTCPBlockSocket adopted;
  adopted.SetNoDelay(true);
  pair.Client.Close();
  TTCPBlockSocket client;
  client.Connect("127.0.0.1", PortOf(pair.Listener));
  ASSERT_TRUE(pair.Listener.WaitReadable(5000));
  adopted.AdoptHandle(pair.Listener.Accept());
  bool noDelay = false;
  ASSERT_EQ(GetSocketNoDelay(adopted.Handle(), noDelay), 0);
  EXPECT_TRUE(noDelay);
  EXPECT_EQ(AddressText(adopted.PeerAddress()), "127.0.0.1");
  EXPECT_EQ(AddressPort(adopted.PeerAddress()), AddressPort(client.LocalAddress()));
}

TEST(TcpBlockSocketTest, ErrorTextCoversTableAndUnknownCodes) {
  EXPECT_EQ(TTCPBlockSocket::ErrorText(0), "");
  EXPECT_EQ(TTCPBlockSocket::ErrorText(10004), "Interrupted system call");
  EXPECT_EQ(TTCPBlockSocket::ErrorText(10059), "Too many references:can't splice");
  EXPECT_EQ(TTCPBlockSocket::ErrorText(10101), "Disconnect");
  EXPECT_EQ(TTCPBlockSocket::ErrorText(11004), "Valid name, no data record of requested type");
  EXPECT_EQ(TTCPBlockSocket::ErrorText(12345), "Other Winsock error (12345)");
  EXPECT_EQ(TTCPBlockSocket::ErrorText(10067), "Too many processes");
  EXPECT_EQ(TTCPBlockSocket::ErrorText(10072), "Other Winsock error (10072)");
  EXPECT_EQ(TTCPBlockSocket::ErrorText(-1), "Other Winsock error (-1)");
}

TEST(TcpBlockSocketTest, FailuresRaiseOnlyWhenAsked) {
  std::string closedPort;
  {
    TTCPBlockSocket probe;
    probe.Bind("127.0.0.1", "0");
    closedPort = PortOf(probe);
  }
  TTCPBlockSocket quiet;
  quiet.Connect("127.0.0.1", closedPort);
  EXPECT_EQ(quiet.LastErrorCode(), 10061);
  EXPECT_EQ(quiet.LastErrorText(), "Connection refused");

  TTCPBlockSocket raising;
  raising.SetRaiseOnError(true);
  try {
    raising.Connect("127.0.0.1", closedPort);
    FAIL() << "no error raised";
  } catch (const ESynapseError& error) {
    EXPECT_EQ(error.ClassName(), "ESynapseError");
    EXPECT_STREQ(error.what(), "Synapse TCP/IP Socket error 10061: Connection refused");
    EXPECT_EQ(error.ErrorCode(), 10061);
    EXPECT_EQ(error.ErrorMessage(), "Connection refused");
  }
}

TEST(TcpBlockSocketTest, SecondListenerOnATakenPortGets10048) {
  TTCPBlockSocket first;
  first.Bind("127.0.0.1", "0");
  first.Listen();
  TTCPBlockSocket second;
  second.Bind("127.0.0.1", PortOf(first));
  EXPECT_EQ(second.LastErrorCode(), 10048);
  EXPECT_FALSE(second.Bound());
}

TEST(TcpBlockSocketTest, PortOfClosedConnectionsCanBeBoundAgainAtOnce) {
  std::string port;
  {
    TLoopbackPair pair;
    port = PortOf(pair.Listener);
    pair.Server.SendText("bye\r\n");
    pair.Server.Close();  // the server side closes first and keeps the port in TIME_WAIT
    EXPECT_EQ(pair.Client.ReceiveLine(5000), "bye");
  }
  TTCPBlockSocket again;
  again.Bind("127.0.0.1", port);
  again.Listen();
  EXPECT_EQ(again.LastErrorCode(), 0);
}

TEST(TcpBlockSocketTest, WildcardBindWithoutHandleDoesNothing) {
  TTCPBlockSocket socket;
  socket.Bind("0.0.0.0", "0");
  EXPECT_EQ(socket.LastErrorCode(), 0);
  EXPECT_EQ(socket.Handle(), kInvalidSocket);
  EXPECT_FALSE(socket.Bound());
}

TEST(TcpBlockSocketTest, SendingToAVanishedPeerFailsWithoutEndingTheProcess) {
  TLoopbackPair pair;
  pair.Server.SetLingerOption(true, 0);
  pair.Server.Close();
  const std::string block = PatternBytes(1 << 20);
  std::size_t sent = block.size();
  for (int attempt = 0; attempt < 50 && sent == block.size(); ++attempt) {
    sent = pair.Client.SendBytes(block.data(), block.size());
  }
  EXPECT_LT(sent, block.size());
  EXPECT_EQ(pair.Client.LastErrorCode(), 10054);
}

// Tests below run a peer on a second thread, so they also run under ThreadSanitizer.

TEST(TcpBlockSocketConcurrencyTest, LineSplitOverThreePacketsIsReturnedOnceComplete) {
  TLoopbackPair pair;
  std::thread sender([&pair] {
    for (const char* piece : {"GET /ind", "ex.html HTTP/1.1\r", "\nHost"}) {
      pair.Client.SendText(piece);
      std::this_thread::sleep_for(30ms);
    }
  });
  EXPECT_EQ(pair.Server.ReceiveLine(5000), "GET /index.html HTTP/1.1");
  EXPECT_EQ(pair.Server.LastErrorCode(), 0);
  sender.join();
  pair.Client.SendText(": x\r\n");
  EXPECT_EQ(pair.Server.ReceiveLine(5000), "Host: x");
}

TEST(TcpBlockSocketConcurrencyTest, SendBytesDeliversEverythingInChunks) {
  TLoopbackPair pair;
  const std::string payload = PatternBytes(200000);
  std::size_t sent = 0;
  std::thread sender([&] { sent = pair.Client.SendBytes(payload.data(), payload.size()); });
  std::ostringstream received;
  pair.Server.ReceiveToStream(received, 5000, static_cast<int64_t>(payload.size()));
  sender.join();
  EXPECT_EQ(sent, payload.size());
  EXPECT_EQ(pair.Client.LastErrorCode(), 0);
  EXPECT_EQ(received.str(), payload);
}

TEST(TcpBlockSocketConcurrencyTest, SmallSendChunkStillDeliversEverything) {
  TLoopbackPair pair;
  pair.Client.SetMaxSendChunk(1000);
  const std::string payload = PatternBytes(54321);
  std::thread sender([&] { pair.Client.SendBytes(payload.data(), payload.size()); });
  std::ostringstream received;
  pair.Server.ReceiveToStream(received, 5000, static_cast<int64_t>(payload.size()));
  sender.join();
  EXPECT_EQ(received.str(), payload);
}

TEST(TcpBlockSocketConcurrencyTest, GracefulCloseDeliversAllDataBeforeTheEnd) {
  TLoopbackPair pair;
  const std::string payload = PatternBytes(3 << 20);
  std::thread sender([&] {
    pair.Server.SendBytes(payload.data(), payload.size());
    pair.Server.Close();
  });
  std::ostringstream received;
  pair.Client.ReceiveToStream(received, 5000, static_cast<int64_t>(payload.size()));
  EXPECT_EQ(pair.Client.LastErrorCode(), 0);
  EXPECT_EQ(pair.Client.ReceiveLine(5000), "");
  EXPECT_EQ(pair.Client.LastErrorCode(), 10054);
  sender.join();
  EXPECT_EQ(received.str(), payload);
}

TEST(TcpBlockSocketConcurrencyTest, AbortFromAnotherThreadEndsABlockedReceive) {
  TLoopbackPair pair;
  std::thread aborter([&pair] {
    std::this_thread::sleep_for(100ms);
    pair.Server.Abort();
  });
  EXPECT_EQ(pair.Server.ReceiveLine(60000), "");
  EXPECT_EQ(pair.Server.LastErrorCode(), 10054);
  aborter.join();
}

// Every read waits as long as it asks, whatever the read before it on the same socket asked.
TEST(TcpBlockSocketConcurrencyTest, EachReadWaitsAsLongAsItAsks) {
  TLoopbackPair pair;
  pair.Client.SendText("first\r\n");
  EXPECT_EQ(pair.Server.ReceiveLine(60000), "first");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(pair.Server.ReceiveLine(100), "");
  EXPECT_EQ(pair.Server.LastErrorCode(), 10060);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  std::thread sender([&pair] {
    std::this_thread::sleep_for(400ms);
    pair.Client.SendText("late\r\n");
  });
  EXPECT_EQ(pair.Server.ReceiveLine(-1), "late");  // no limit: outlasts the 100 ms before
  sender.join();
  EXPECT_EQ(pair.Server.ReceiveLine(0), "");  // nothing waiting: at once
  EXPECT_EQ(pair.Server.LastErrorCode(), 10060);
  pair.Client.SendText("last\r\n");
  EXPECT_EQ(pair.Server.ReceiveLine(5000), "last");
}

TEST(TcpBlockSocketConcurrencyTest, InterPacketTimeoutDecidesWhetherASlowLineSurvives) {
  for (const bool interPacket : {true, false}) {
    TLoopbackPair pair;
    pair.Server.SetInterPacketTimeout(interPacket);
    std::thread trickler([&pair] {
      for (int i = 0; i < 8; ++i) {
        pair.Client.SendText("x");
        std::this_thread::sleep_for(60ms);
      }
      pair.Client.SendText("\r\n");
    });
    // Every byte comes well within 300 ms, the whole line takes about 500 ms.
    const std::string line = pair.Server.ReceiveLine(300);
    trickler.join();
    if (interPacket) {
      EXPECT_EQ(line, "xxxxxxxx");
      EXPECT_EQ(pair.Server.LastErrorCode(), 0);
    } else {
      EXPECT_EQ(line, "");
      EXPECT_EQ(pair.Server.LastErrorCode(), 10060);
    }
  }
}

}  // namespace
}  // namespace webtessl
