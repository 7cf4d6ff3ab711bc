// The Win32 backend's sockets over loopback.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/Sockets.h"

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

}  // namespace
}  // namespace webtessl
