#include "net/TcpServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/net/LoopbackSockets.h"
#include "tests/net/ServerTesting.h"

namespace webtessl {
namespace {

using testing::PatternBytes;
using testing::PortOf;
using testing::WaitFor;
using namespace std::chrono_literals;

// A line-echo server on 127.0.0.1: "quit" disconnects, "boom" raises, "id" answers with a number
// naming the worker thread, anything else is echoed.
class TcpServerConcurrencyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = std::make_unique<TSynTcpServer>();
    server_->SetLocalAddress("127.0.0.1");
    server_->SetPort("0");
    server_->SetOnCommand([](TSynTcpSrvConnection& connection, const std::string& line) {
      if (line == "quit") {
        connection.Server().Disconnect(connection);
      } else if (line == "boom") {
        throw std::runtime_error("handler failed");
      } else if (line == "id") {
        connection.Socket().SendText(
            std::to_string(std::hash<std::thread::id>()(std::this_thread::get_id())) + "\r\n");
      } else {
        connection.Socket().SendText("echo:" + line + "\r\n");
      }
    });
  }

  // Activates the server on a port of the system's choice and notes that port.
  void Activate() {
    server_->SetActive(true);
    port_ = std::to_string(server_->ListeningPort());
  }

  std::unique_ptr<TTCPBlockSocket> Connect() {
    auto client = std::make_unique<TTCPBlockSocket>();
    client->Connect("127.0.0.1", port_);
    EXPECT_EQ(client->LastErrorCode(), 0);
    return client;
  }

  // Sends a line and returns the answer line.
  static std::string Ask(TTCPBlockSocket& client, const std::string& line) {
    client.SendText(line + "\r\n");
    return client.ReceiveLine(5000);
  }

  // True when the server closed the client's connection.
  static bool ClosedByServer(TTCPBlockSocket& client) {
    client.ReceiveLine(5000);
    return client.LastErrorCode() == 10054;
  }

  std::string port_;
  std::unique_ptr<TSynTcpServer> server_;
};

TEST_F(TcpServerConcurrencyTest, LinesReachOnCommandAndBlankLinesToo) {
  Activate();
  EXPECT_TRUE(server_->Active());
  auto client = Connect();
  client->SendText("hello\r\n\r\n");
  EXPECT_EQ(client->ReceiveLine(5000), "echo:hello");
  EXPECT_EQ(client->ReceiveLine(5000), "echo:");
  EXPECT_EQ(Ask(*client, "quit"), "");
  EXPECT_EQ(client->LastErrorCode(), 10054);
  EXPECT_TRUE(WaitFor([&] { return server_->ConnectionCount() == 0; }));
}

TEST_F(TcpServerConcurrencyTest, ActivationWithoutPortRaisesAndStaysInactive) {
  TSynTcpServer server;
  EXPECT_EQ(server.LineTimeout(), 120000);
  EXPECT_EQ(server.SpareThreads(), 3);
  EXPECT_TRUE(server.NoDelay());
  EXPECT_EQ(server.Port(), "");
  try {
    server.SetActive(true);
    FAIL() << "no error raised";
  } catch (const ESynapseError& error) {
    EXPECT_STREQ(error.what(), "Missing server Port");
  }
  EXPECT_FALSE(server.Active());
}

TEST_F(TcpServerConcurrencyTest, FourConnectionsEndingTogetherLeaveThreeParkedWorkers) {
  Activate();
  std::vector<std::unique_ptr<TTCPBlockSocket>> clients;
  for (int i = 0; i < 4; ++i) {
    clients.push_back(Connect());
    EXPECT_EQ(Ask(*clients.back(), "x"), "echo:x");
  }
  EXPECT_EQ(server_->WorkerCount(), 4u);
  for (auto& client : clients) {
    client->SendText("quit\r\n");
  }
  EXPECT_TRUE(
      WaitFor([&] { return server_->ConnectionCount() == 0 && server_->WorkerCount() == 3; }));
  EXPECT_EQ(server_->ParkedWorkerCount(), 3u);
}

TEST_F(TcpServerConcurrencyTest, NegativeSpareThreadsIsZeroAndNothingIsPooled) {
  server_->SetSpareThreads(-5);
  EXPECT_EQ(server_->SpareThreads(), 0);
  Activate();
  for (int i = 0; i < 3; ++i) {
    auto client = Connect();
    EXPECT_EQ(Ask(*client, "x"), "echo:x");
    EXPECT_EQ(server_->WorkerCount(), 1u);
    client->SendText("quit\r\n");
    EXPECT_TRUE(WaitFor([&] { return server_->WorkerCount() == 0; }));
    EXPECT_EQ(server_->ParkedWorkerCount(), 0u);
  }
}

TEST_F(TcpServerConcurrencyTest, LoweringSpareThreadsEndsTheParkedWorkersBeyondIt) {
  Activate();
  std::vector<std::unique_ptr<TTCPBlockSocket>> clients;
  for (int i = 0; i < 3; ++i) {
    clients.push_back(Connect());
    EXPECT_EQ(Ask(*clients.back(), "x"), "echo:x");
  }
  clients.clear();
  ASSERT_TRUE(WaitFor([&] { return server_->ParkedWorkerCount() == 3; }));
  server_->SetSpareThreads(1);
  EXPECT_EQ(server_->ParkedWorkerCount(), 1u);
  EXPECT_TRUE(WaitFor([&] { return server_->WorkerCount() == 1; }));
}

TEST_F(TcpServerConcurrencyTest, TheWorkerParkedLastIsReusedFirst) {
  Activate();
  auto first = Connect();
  auto second = Connect();
  const std::string firstWorker = Ask(*first, "id");
  const std::string secondWorker = Ask(*second, "id");
  ASSERT_NE(firstWorker, secondWorker);
  first.reset();
  ASSERT_TRUE(WaitFor([&] { return server_->ParkedWorkerCount() == 1; }));
  second.reset();
  ASSERT_TRUE(WaitFor([&] { return server_->ParkedWorkerCount() == 2; }));
  auto next = Connect();
  EXPECT_EQ(Ask(*next, "id"), secondWorker);
  auto another = Connect();
  EXPECT_EQ(Ask(*another, "id"), firstWorker);
}

TEST_F(TcpServerConcurrencyTest, AssigningPortStopsTheServer) {
  Activate();
  EXPECT_EQ(Ask(*Connect(), "x"), "echo:x");
  server_->SetPort(port_);
  EXPECT_FALSE(server_->Active());
  EXPECT_EQ(server_->ListeningPort(), 0);
  TTCPBlockSocket refused;
  refused.Connect("127.0.0.1", port_);
  EXPECT_EQ(refused.LastErrorCode(), 10061);
  Activate();
  EXPECT_EQ(std::to_string(server_->ListeningPort()), port_);
  EXPECT_EQ(Ask(*Connect(), "again"), "echo:again");
}

// A port that another program listens on is a failure of the activation, not a server that
// silently accepts nothing.
TEST_F(TcpServerConcurrencyTest, PortTakenByAnotherProgramFailsTheActivation) {
  TTCPBlockSocket other;
  other.Bind("127.0.0.1", "0");
  other.Listen();
  ASSERT_EQ(other.LastErrorCode(), 0);
  port_ = PortOf(other);
  server_->SetPort(port_);
  try {
    server_->SetActive(true);
    ADD_FAILURE() << "activation succeeded on a taken port";
  } catch (const ESynapseError& error) {
    EXPECT_EQ(error.ErrorCode(), 10048);
    EXPECT_STREQ(error.what(), "Synapse TCP/IP Socket error 10048: Address already in use");
  }
  EXPECT_FALSE(server_->Active());
  other.Close();
  server_->SetActive(true);  // the same server starts once the port is free
  EXPECT_TRUE(server_->Active());
  EXPECT_EQ(std::to_string(server_->ListeningPort()), port_);
}

TEST_F(TcpServerConcurrencyTest, DeactivatingKeepsConnectionsButDestroyingClosesThemAndWaits) {
  std::atomic<bool> slowCommandDone{false};
  server_->SetOnCommand([&](TSynTcpSrvConnection& connection, const std::string& line) {
    if (line == "slow") {
      std::this_thread::sleep_for(300ms);
      slowCommandDone = true;
      return;
    }
    connection.Socket().SendText("echo:" + line + "\r\n");
  });
  Activate();
  auto kept = Connect();
  auto busy = Connect();
  EXPECT_EQ(Ask(*kept, "a"), "echo:a");
  EXPECT_EQ(Ask(*busy, "b"), "echo:b");
  server_->SetActive(false);
  EXPECT_EQ(Ask(*kept, "still"), "echo:still");
  EXPECT_EQ(server_->ConnectionCount(), 2u);

  busy->SendText("slow\r\n");
  std::this_thread::sleep_for(50ms);  // let the worker enter the slow command
  server_.reset();
  EXPECT_TRUE(slowCommandDone);  // destruction waited for the worker
  EXPECT_TRUE(ClosedByServer(*kept));
  EXPECT_TRUE(ClosedByServer(*busy));
}

TEST_F(TcpServerConcurrencyTest, DisconnectFromAnotherThreadEndsABlockedRead) {
  std::atomic<TSynTcpSrvConnection*> greeted{nullptr};
  server_->SetLineTimeout(60000);
  server_->SetOnSendInvite([&](TSynTcpSrvConnection& connection) { greeted = &connection; });
  Activate();
  auto client = Connect();
  ASSERT_TRUE(WaitFor([&] { return greeted.load() != nullptr; }));
  std::this_thread::sleep_for(50ms);  // the worker now waits for a line
  server_->Disconnect(*greeted.load());
  EXPECT_TRUE(ClosedByServer(*client));
  EXPECT_TRUE(WaitFor([&] { return server_->ConnectionCount() == 0; }));
}

TEST_F(TcpServerConcurrencyTest, SilentClientIsDroppedAfterTheLineTimeoutAndServerGoesOn) {
  server_->SetLineTimeout(200);
  Activate();
  auto silent = Connect();
  EXPECT_TRUE(ClosedByServer(*silent));
  EXPECT_EQ(Ask(*Connect(), "next"), "echo:next");
}

TEST_F(TcpServerConcurrencyTest, RaisingHandlerClosesItsConnectionAndItsWorkerIsNotPooled) {
  Activate();
  auto client = Connect();
  EXPECT_EQ(Ask(*client, "boom"), "");
  EXPECT_EQ(client->LastErrorCode(), 10054);
  EXPECT_TRUE(WaitFor([&] { return server_->WorkerCount() == 0; }));
  EXPECT_EQ(server_->ParkedWorkerCount(), 0u);
  EXPECT_EQ(Ask(*Connect(), "fine"), "echo:fine");
}

TEST_F(TcpServerConcurrencyTest, PeerThatResetsOrHalfClosesEndsOnlyItsOwnConnection) {
  Activate();
  auto steady = Connect();
  EXPECT_EQ(Ask(*steady, "1"), "echo:1");

  auto resetting = Connect();
  EXPECT_EQ(Ask(*resetting, "2"), "echo:2");
  resetting->SetLingerOption(true, 0);
  resetting.reset();

  auto halfClosing = Connect();
  halfClosing->SendText("last\r\n");
  ShutdownSocket(halfClosing->Handle(), TShutdownDirection::Send);
  EXPECT_EQ(halfClosing->ReceiveLine(5000), "echo:last");  // answered before the server closes
  EXPECT_TRUE(ClosedByServer(*halfClosing));

  EXPECT_TRUE(WaitFor([&] { return server_->ConnectionCount() == 1; }));
  EXPECT_EQ(Ask(*steady, "3"), "echo:3");
}

TEST_F(TcpServerConcurrencyTest, OverlongLineEndsTheConnection) {
  server_->SetMaxLineLength(65536);
  Activate();
  auto client = Connect();
  EXPECT_EQ(Ask(*client, std::string(65536, 'a')), "echo:" + std::string(65536, 'a'));
  const std::string flood = PatternBytes(1 << 20);
  std::thread sender([&] { client->SendBytes(flood.data(), flood.size()); });
  sender.join();
  EXPECT_TRUE(WaitFor([&] { return server_->ConnectionCount() == 0; }));
}

TEST_F(TcpServerConcurrencyTest, AcceptedConnectionsSendWithoutDelayAndInvitationComesFirst) {
  std::atomic<bool> noDelay{false};
  server_->SetOnSendInvite([&](TSynTcpSrvConnection& connection) {
    bool enabled = false;
    GetSocketNoDelay(connection.Socket().Handle(), enabled);
    noDelay = enabled;
    connection.Socket().SendText("220 ready\r\n");
  });
  Activate();
  auto client = Connect();
  EXPECT_EQ(client->ReceiveLine(5000), "220 ready");
  EXPECT_EQ(Ask(*client, "x"), "echo:x");
  EXPECT_TRUE(noDelay);
}

TEST_F(TcpServerConcurrencyTest, ConnectionExecuteServesTheWholeConnection) {
  server_->SetOnConnectionExecute([](TSynTcpSrvConnection& connection) {
    const std::string name = connection.Socket().ReceiveLine(5000);
    connection.Socket().SendText("bye " + name + "\r\n");
  });
  Activate();
  auto client = Connect();
  EXPECT_EQ(Ask(*client, "ann"), "bye ann");
  EXPECT_TRUE(ClosedByServer(*client));
}

TEST_F(TcpServerConcurrencyTest, WithoutConnectionClassEveryConnectionIsClosedAtOnce) {
  server_->SetConnectionClass(nullptr);
  Activate();
  auto client = Connect();
  EXPECT_TRUE(ClosedByServer(*client));
  EXPECT_EQ(server_->ConnectionCount(), 0u);
}

TEST_F(TcpServerConcurrencyTest, ManyClientsAtOnceAreAllServed) {
  Activate();
  std::vector<std::thread> clients;
  std::atomic<int> answered{0};
  for (int i = 0; i < 16; ++i) {
    clients.emplace_back([&, i] {
      TTCPBlockSocket client;
      client.Connect("127.0.0.1", port_);
      for (int round = 0; round < 20; ++round) {
        const std::string text = std::to_string(i) + "/" + std::to_string(round);
        client.SendText(text + "\r\n");
        if (client.ReceiveLine(5000) == "echo:" + text) {
          ++answered;
        }
      }
    });
  }
  for (std::thread& client : clients) {
    client.join();
  }
  EXPECT_EQ(answered, 16 * 20);
  EXPECT_TRUE(WaitFor([&] { return server_->ConnectionCount() == 0; }));
  EXPECT_LE(server_->ParkedWorkerCount(), 3u);
}

// Connections beyond the limit in all, or beyond the limit of one remote address, are closed as
// they come; those served go on, and a freed place is taken again.
TEST_F(TcpServerConcurrencyTest, ConnectionLimitsInAllAndPerAddress) {
  server_->SetMaxConnections(3);
  server_->SetMaxConnectionsPerAddress(2);
  Activate();
  auto first = Connect();
  auto second = Connect();
  EXPECT_EQ(Ask(*first, "a"), "echo:a");
  EXPECT_EQ(Ask(*second, "b"), "echo:b");
  auto third = Connect();  // a third from 127.0.0.1
  EXPECT_TRUE(ClosedByServer(*third));
  TTCPBlockSocket other;  // another loopback address has places of its own
  other.Bind("127.0.0.2", "0");
  other.Connect("127.0.0.1", port_);
  ASSERT_EQ(other.LastErrorCode(), 0);
  EXPECT_EQ(Ask(other, "c"), "echo:c");
  TTCPBlockSocket beyond;  // the fourth in all
  beyond.Bind("127.0.0.3", "0");
  beyond.Connect("127.0.0.1", port_);
  EXPECT_TRUE(ClosedByServer(beyond));
  EXPECT_EQ(server_->RefusedConnections(), 2u);
  EXPECT_EQ(Ask(*first, "still"), "echo:still");
  first->SendText("quit\r\n");
  ASSERT_TRUE(WaitFor([this] { return server_->ConnectionCount() == 2; }));
  auto again = Connect();
  EXPECT_EQ(Ask(*again, "d"), "echo:d");
}

// One byte at a time keeps each wait short, but a line must be complete within the head time
// from its first byte; the wait for a line's first byte is not bounded by it.
TEST_F(TcpServerConcurrencyTest, ALineTrickledByteByByteEndsAtTheHeadTimeout) {
  server_->SetHeadTimeout(400);
  Activate();
  auto idle = Connect();
  std::this_thread::sleep_for(600ms);
  EXPECT_EQ(Ask(*idle, "late"), "echo:late");  // idle longer than the head time: still served

  auto slow = Connect();  // each byte well within the line timeout of 120 s
  bool closed = false;
  for (int i = 0; i < 40 && !closed; ++i) {
    slow->SendText("x");
    std::this_thread::sleep_for(50ms);
    closed = slow->WaitReadable(0) && ClosedByServer(*slow);
  }
  EXPECT_TRUE(closed);
  EXPECT_EQ(Ask(*idle, "on"), "echo:on");
}

}  // namespace
}  // namespace webtessl
