#pragma once

#include <gtest/gtest.h>

#include <string>

#include "net/blcksock.h"
#include "tests/support/PatternBytes.h"

namespace webtessl::testing {

// The port text of a bound socket.
inline std::string PortOf(const TTCPBlockSocket& socket) {
  return std::to_string(AddressPort(socket.LocalAddress()));
}

// A listening socket on 127.0.0.1 (an ephemeral port), one client connected to it and the
// server's end of that connection, adopted as the TCP server does.
struct TLoopbackPair {
  TTCPBlockSocket Listener;
  TTCPBlockSocket Server;
  TTCPBlockSocket Client;

  TLoopbackPair() {
    Listener.Bind("127.0.0.1", "0");
    Listener.Listen();
    EXPECT_EQ(Listener.LastErrorCode(), 0);
    Client.Connect("127.0.0.1", PortOf(Listener));
    EXPECT_EQ(Client.LastErrorCode(), 0);
    EXPECT_TRUE(Listener.WaitReadable(5000));
    Server.AdoptHandle(Listener.Accept());
    EXPECT_EQ(Server.LastErrorCode(), 0);
  }
};

using testing_support::PatternBytes;

}  // namespace webtessl::testing
