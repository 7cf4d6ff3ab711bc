#include "net/synsock.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace webtessl {
namespace {

TEST(SynsockTest, AddressTextsChooseWildcardLoopbackOrLookup) {
  TSocketAddress address;
  ASSERT_EQ(ResolveAddressPair("0.0.0.0", "20800", TSocketFamily::Any, address), 0);
  EXPECT_EQ(AddressFamily(address), TSocketFamily::IPv4);
  EXPECT_EQ(AddressText(address), "0.0.0.0");
  EXPECT_EQ(AddressPort(address), 20800);

  // With family Any, IPv4 is asked first: both loopback texts give the IPv4 loopback.
  for (const char* loopback : {"127.0.0.1", "::1"}) {
    ASSERT_EQ(ResolveAddressPair(loopback, "8080", TSocketFamily::Any, address), 0);
    EXPECT_EQ(AddressText(address), "127.0.0.1") << loopback;
  }
  ASSERT_EQ(ResolveAddressPair("::0", "1", TSocketFamily::IPv6, address), 0);
  EXPECT_EQ(AddressFamily(address), TSocketFamily::IPv6);
  EXPECT_EQ(AddressText(address), "::");

  ASSERT_EQ(ResolveAddressPair("localhost", "0", TSocketFamily::IPv4, address), 0);
  EXPECT_EQ(AddressText(address), "127.0.0.1");
}

TEST(SynsockTest, PortMayBeAServiceName) {
  TSocketAddress address;
  ASSERT_EQ(ResolveAddressPair("127.0.0.1", "http", TSocketFamily::Any, address), 0);
  EXPECT_EQ(AddressPort(address), 80);
  EXPECT_NE(ResolveAddressPair("127.0.0.1", "no-such-service-here", TSocketFamily::Any, address),
            0);
}

TEST(SynsockTest, StartupCountsUses) {
  // The process took the interface into use before main; more uses come and go in pairs.
  EXPECT_NO_THROW(SocketInterfaceStartup());
  SocketInterfaceCleanup();
}

TEST(SynsockTest, FailedStartupReportsOnStandardErrorAndExitsWithOne) {
  const std::string message(kSocketInterfaceLoadError);
  EXPECT_EXIT(ExitOnSocketInterfaceFailure(ESynapseError(message, 0, message)),
              ::testing::ExitedWithCode(1),
              "ESynapseError: Error loading Socket interface \\(ws2_32\\.dll\\)!");
}

TEST(SynsockTest, SystemErrorsMapToWinsockNumbers) {
  EXPECT_EQ(SocketErrorFromSystem(0), 0);
  EXPECT_EQ(SocketErrorFromSystem(ECONNRESET), 10054);
  EXPECT_EQ(SocketErrorFromSystem(EPIPE), 10054);
  EXPECT_EQ(SocketErrorFromSystem(ETIMEDOUT), 10060);
  EXPECT_EQ(SocketErrorFromSystem(EADDRINUSE), 10048);
  EXPECT_EQ(SocketErrorFromSystem(EAGAIN), 10035);
  EXPECT_EQ(SocketErrorFromSystem(EINPROGRESS), 10036);
  EXPECT_EQ(SocketErrorFromSystem(ECONNREFUSED), 10061);
  EXPECT_EQ(SocketErrorFromSystem(EMFILE), 10024);
  EXPECT_EQ(SocketErrorFromSystem(ENOTSOCK), 10038);
  // An error without a Winsock counterpart still reads as a failure, never as success.
  EXPECT_NE(SocketErrorFromSystem(EXDEV), 0);
}

}  // namespace
}  // namespace webtessl
