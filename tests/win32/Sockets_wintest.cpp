// The Win32 backend's sockets over loopback.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "platform/FileStream.h"
#include "platform/Sockets.h"
#include "tests/win32/WinTestFiles.h"

namespace webtessl {
namespace {

using Clock = std::chrono::steady_clock;

TEST(Win32SocketsTest, ShutdownFromAnotherThreadEndsAWait) {
  ASSERT_TRUE(LoadSocketInterface());
  TSocket listener = kInvalidSocket, client = kInvalidSocket, accepted = kInvalidSocket;
  TSocketAddress address, peer;
  ASSERT_EQ(CreateSocket(TSocketFamily::IPv4, listener), 0);
  ASSERT_EQ(
      ResolveSocketAddress(std::string("127.0.0.1"), "0", TSocketFamily::IPv4, false, address), 0);
  ASSERT_EQ(BindSocket(listener, address), 0);
  ASSERT_EQ(ListenSocket(listener, 1), 0);
  ASSERT_EQ(GetLocalAddress(listener, address), 0);
  EXPECT_NE(AddressPort(address), 0);
  EXPECT_EQ(AddressText(address), "127.0.0.1");
  ASSERT_EQ(CreateSocket(TSocketFamily::IPv4, client), 0);
  ASSERT_EQ(ConnectSocket(client, address), 0);
  ASSERT_EQ(AcceptSocket(listener, accepted, peer), 0);

  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ShutdownSocket(accepted, TShutdownDirection::Both);
  });
  bool readable = false;
  const auto start = Clock::now();
  EXPECT_EQ(WaitSocketReadable(accepted, 10000, readable), 0);
  EXPECT_TRUE(readable);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  stopper.join();
  bool idle = true;
  EXPECT_EQ(WaitSocketReadable(client, 100, idle), 0);  // the peer's shutdown reached the client
  EXPECT_TRUE(idle);
  for (const TSocket socket : {accepted, client, listener}) CloseSocket(socket);
}

// A connected pair of sockets on loopback; closes both when it goes.
class TSocketPair {
 public:
  TSocketPair() {
    TSocket listener = kInvalidSocket;
    TSocketAddress address, peer;
    EXPECT_TRUE(LoadSocketInterface());
    EXPECT_EQ(CreateSocket(TSocketFamily::IPv4, listener), 0);
    EXPECT_EQ(
        ResolveSocketAddress(std::string("127.0.0.1"), "0", TSocketFamily::IPv4, false, address),
        0);
    EXPECT_EQ(BindSocket(listener, address), 0);
    EXPECT_EQ(ListenSocket(listener, 1), 0);
    EXPECT_EQ(GetLocalAddress(listener, address), 0);
    EXPECT_EQ(CreateSocket(TSocketFamily::IPv4, Client), 0);
    EXPECT_EQ(ConnectSocket(Client, address), 0);
    EXPECT_EQ(AcceptSocket(listener, Server, peer), 0);
    CloseSocket(listener);
  }
  ~TSocketPair() {
    CloseSocket(Server);
    if (Client != kInvalidSocket) CloseSocket(Client);
  }
  TSocketPair(const TSocketPair&) = delete;
  TSocketPair& operator=(const TSocketPair&) = delete;

  // Reads on another thread what the client receives until the server's side closes or the
  // count is reached, so that a large send never waits on full socket buffers.
  std::future<std::string> ReceiveOnClient(std::size_t count) const {
    return std::async(std::launch::async, [client = Client, count] {
      std::string bytes(count, '\0');
      std::size_t total = 0;
      while (total < count) {
        std::size_t got = 0;
        TReceiveTimeout timeout;
        if (ReceiveWithin(client, bytes.data() + total, count - total, -1, timeout, got) != 0 ||
            got == 0) {
          break;
        }
        total += got;
      }
      bytes.resize(total);
      return bytes;
    });
  }

  TSocket Server = kInvalidSocket;
  TSocket Client = kInvalidSocket;
};

TEST(Win32SocketsTest, SendFileSendsFromTheOffsetInBlocksWithoutMovingTheStream) {
  const TWinTestFolder folder;
  const std::string body = PatternBytes(700000);
  const auto file = TFileStream::Open(folder.Write("body.bin", body));
  ASSERT_TRUE(file);
  file->seekg(5);
  TSocketPair pair;
  auto received = pair.ReceiveOnClient(600000);
  uint64_t sent = 0;
  EXPECT_EQ(SendFileToSocket(pair.Server, file->Handle(), 1000, 600000, sent), 0);
  EXPECT_EQ(sent, 600000u);
  EXPECT_EQ(received.get(), body.substr(1000, 600000));
  EXPECT_EQ(file->Position(), 5);
  EXPECT_EQ(file->get(), body[5]);
  EXPECT_EQ(SendFileToSocket(pair.Server, file->Handle(), 0, 0, sent), 0);
  EXPECT_EQ(sent, 0u);
}

TEST(Win32SocketsTest, SendFileReachesBeyondFourGibibytesAndStopsAtTheEnd) {
  const TWinTestFolder folder;
  const int64_t offset = (int64_t{1} << 32) + 3;
  const auto file = TFileStream::Open(folder.Write("large.bin", PatternBytes(50000), offset));
  ASSERT_TRUE(file);
  TSocketPair pair;
  auto received = pair.ReceiveOnClient(40010);
  uint64_t sent = 0;
  EXPECT_EQ(SendFileToSocket(pair.Server, file->Handle(), offset - 10, 40010, sent), 0);
  EXPECT_EQ(received.get(), std::string(10, '\0') + PatternBytes(40000));

  // A file shorter than announced: what there is goes out, and no failure code.
  auto rest = pair.ReceiveOnClient(20000);
  EXPECT_EQ(SendFileToSocket(pair.Server, file->Handle(), offset + 40000, 100000, sent), 0);
  EXPECT_EQ(sent, 10000u);
  ShutdownSocket(pair.Server, TShutdownDirection::Send);
  EXPECT_EQ(rest.get(), PatternBytes(50000).substr(40000));
}

TEST(Win32SocketsTest, SendFileToAGonePeerFailsWithTheResetCode) {
  const TWinTestFolder folder;
  const std::string path = folder.Write("gone.bin", "");
  folder.Resize(path, int64_t{64} << 20);
  const auto file = TFileStream::Open(path);
  ASSERT_TRUE(file);
  TSocketPair pair;
  ASSERT_EQ(SetSocketLinger(pair.Client, true, 0), 0);
  CloseSocket(pair.Client);
  pair.Client = kInvalidSocket;
  uint64_t sent = 0;
  const int32_t error = SendFileToSocket(pair.Server, file->Handle(), 0, int64_t{64} << 20, sent);
  EXPECT_TRUE(error == 10054 || error == 10053) << error;
  EXPECT_LT(sent, uint64_t{64} << 20);
}

}  // namespace
}  // namespace webtessl
