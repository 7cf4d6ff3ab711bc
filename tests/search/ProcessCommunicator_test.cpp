#include "search/ProcessCommunicator.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/platform/TestDesktop.h"
#include "tests/search/CommunicatorTestSupport.h"
#include "tests/search/PeerProcess.h"

namespace webtessl {
namespace {

using testing_desktop::ElapsedMs;
using testing_desktop::TTestDesktop;
using testing_peer::kPeerTitle;
using testing_peer::Prepare;
using testing_peer::PumpUntil;
using testing_peer::Text;
using testing_peer::TPeerProcess;
using testing_peer::TReceived;
using Clock = std::chrono::steady_clock;

std::string ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(ProcessCommunicatorTest, NamesFollowTheIdentifierRuleAndTitleTheWindow) {
  TTestDesktop desktop;
  TCommunicator endpoint;
  ASSERT_NE(endpoint.Handle(), 0u);
  EXPECT_EQ(endpoint.PeerClassName(), "TPUtilWindow");
  EXPECT_EQ(GetWindowText(endpoint.Handle()), "");

  endpoint.SetName("T42_" + std::to_string(endpoint.Handle()));
  EXPECT_EQ(GetWindowText(endpoint.Handle()), endpoint.Name());
  TCommunicator other;
  EXPECT_TRUE(other.PeerExists(endpoint.Name()));
  EXPECT_FALSE(other.PeerExists("t42_" + std::to_string(endpoint.Handle())));

  for (const std::string bad : {"1abc", "a-b", "a b", "\xC3\xA9t\xC3\xA9"}) {
    EXPECT_THROW(endpoint.SetName(bad), EComponentError) << bad;
  }
  EXPECT_EQ(GetWindowText(endpoint.Handle()), endpoint.Name());
  endpoint.SetName("_x9");
  EXPECT_EQ(GetWindowText(endpoint.Handle()), "_x9");
}

TEST(ProcessCommunicatorTest, QueryIsAcknowledgedAndTheAnswerArrivesWithTheSendersTitle) {
  TTestDesktop desktop;
  const std::string record = desktop.Folder() + "-queries.txt";
  TPeerProcess peer({"--answer", "{\"results\":[],\"count\":3}", "--record", record});
  ASSERT_TRUE(peer.AwaitReady());
  TCommunicator endpoint;
  TReceived received;
  Prepare(endpoint, received, "T1" + std::to_string(endpoint.Handle()));

  EXPECT_TRUE(endpoint.PeerExists(kPeerTitle));
  ASSERT_TRUE(endpoint.SendText(kPeerTitle, "{\"cmd\":69633}"));
  PumpUntil(endpoint, [&] { return received.calls > 0; }, 5000);
  EXPECT_EQ(received.calls, 1);
  EXPECT_EQ(received.from, kPeerTitle);
  EXPECT_EQ(Text(received.buf), "{\"results\":[],\"count\":3}");
  EXPECT_EQ(peer.NextLine(), "query 13 from " + std::to_string(endpoint.Handle()) +
                                  " titled " + endpoint.Name());
  EXPECT_EQ(ReadAll(record), "{\"cmd\":69633}\n");
  std::remove(record.c_str());
}

TEST(ProcessCommunicatorTest, EmptyPayloadsTravelBothWaysAndGiveNoArray) {
  TTestDesktop desktop;
  TPeerProcess peer({"--answer", ""});
  ASSERT_TRUE(peer.AwaitReady());
  TCommunicator endpoint;
  TReceived received;
  Prepare(endpoint, received, "Empty");
  ASSERT_TRUE(endpoint.SendText(kPeerTitle, ""));
  PumpUntil(endpoint, [&] { return received.calls > 0; }, 5000);
  EXPECT_EQ(peer.NextLine(), "query 0 from " + std::to_string(endpoint.Handle()) +
                                  " titled " + endpoint.Name());
  EXPECT_EQ(received.calls, 1);
  EXPECT_TRUE(received.buf.empty());
  EXPECT_EQ(received.from, kPeerTitle);
}

TEST(ProcessCommunicatorTest, SixteenMebibyteAnswerArrivesWhole) {
  TTestDesktop desktop;
  const std::string answerFile = desktop.Folder() + "-answer.bin";
  std::string answer(16 * 1024 * 1024, '\0');
  for (size_t i = 0; i < answer.size(); ++i) answer[i] = static_cast<char>(i * 7 + i / 4096);
  std::ofstream(answerFile, std::ios::binary) << answer;
  TPeerProcess peer({"--answer-file", answerFile});
  ASSERT_TRUE(peer.AwaitReady());
  TCommunicator endpoint;
  TReceived received;
  Prepare(endpoint, received, "Large");
  ASSERT_TRUE(endpoint.SendText(kPeerTitle, "q"));
  PumpUntil(endpoint, [&] { return received.calls > 0; }, 5000);
  EXPECT_TRUE(Text(received.buf) == answer);
  std::remove(answerFile.c_str());
}

TEST(ProcessCommunicatorTest, UnknownOrEmptyTitleFailsWithoutWaiting) {
  TTestDesktop desktop;
  TCommunicator endpoint;
  endpoint.SetName("Lonely");
  const auto start = Clock::now();
  EXPECT_FALSE(endpoint.PeerExists(kPeerTitle));
  EXPECT_FALSE(endpoint.SendText(kPeerTitle, "query"));
  EXPECT_FALSE(endpoint.SendText("", "query"));
  EXPECT_FALSE(endpoint.SendData("Lonely2", "q", 1));
  EXPECT_LT(ElapsedMs(start), 500);
}

TEST(ProcessCommunicatorTest, ReceiverReturningZeroFailsTheSendThoughTheDataArrived) {
  TTestDesktop desktop;
  TPeerProcess peer({"--result", "0", "--answer", "late but here"});
  ASSERT_TRUE(peer.AwaitReady());
  TCommunicator endpoint;
  TReceived received;
  Prepare(endpoint, received, "Zero");
  EXPECT_FALSE(endpoint.SendText(kPeerTitle, "query"));
  EXPECT_EQ(peer.NextLine(), "query 5 from " + std::to_string(endpoint.Handle()) +
                                  " titled " + endpoint.Name());
  PumpUntil(endpoint, [&] { return received.calls > 0; }, 5000);
  EXPECT_EQ(Text(received.buf), "late but here");
}

TEST(ProcessCommunicatorTest, LateAnswerToAnEarlierExchangeIsDroppedAndTheNextOneArrives) {
  TTestDesktop desktop;
  TPeerProcess peer({"--when", "late", "--delay-ms", "300", "--echo", "1", "--threads", "1"});
  ASSERT_TRUE(peer.AwaitReady());
  TCommunicator endpoint;
  TReceived received;
  Prepare(endpoint, received, "Again");
  endpoint.BeginExchange();
  const TWindowHandle first = endpoint.Handle();
  ASSERT_TRUE(endpoint.SendText(kPeerTitle, "first"));
  endpoint.BeginExchange();  // the first exchange is given up before its answer
  const TWindowHandle second = endpoint.Handle();
  EXPECT_NE(second, first);
  EXPECT_EQ(GetWindowText(second), "Again") << "the window stays what it was";
  EXPECT_EQ(endpoint.FindPeer("Again") != 0, true);
  ASSERT_TRUE(endpoint.SendText(kPeerTitle, "second"));
  EXPECT_EQ(peer.NextLine(), "query 5 from " + std::to_string(first) + " titled Again");
  EXPECT_EQ(peer.NextLine(), "query 6 from " + std::to_string(second) + " titled Again");
  PumpUntil(endpoint, [&] { return received.calls > 0; }, 5000);
  PumpUntil(endpoint, [] { return false; }, 200);
  EXPECT_EQ(received.calls, 1);
  EXPECT_EQ(Text(received.buf), "second");
  // The late answer was taken by the desktop and acknowledged with 0; the awaited one with 1.
  EXPECT_EQ(peer.NextLine(), "answered 0");
  EXPECT_EQ(peer.NextLine(), "answered 1");
}

TEST(ProcessCommunicatorTest, ForeignMarkerIsAcknowledgedWithOneAndIgnored) {
  TTestDesktop desktop;
  TPeerProcess peer({"--marker", "1"});
  ASSERT_TRUE(peer.AwaitReady());
  TCommunicator endpoint;
  TReceived received;
  Prepare(endpoint, received, "Foreign");
  ASSERT_TRUE(endpoint.SendText(kPeerTitle, "query"));
  EXPECT_TRUE(peer.NextLine().starts_with("query 5"));
  PumpUntil(endpoint, [] { return false; }, 300);
  EXPECT_EQ(peer.NextLine(), "answered 1");
  EXPECT_EQ(received.calls, 0);
}

TEST(ProcessCommunicatorTest, AnswerBeforeAcknowledgingFailsBothSidesAfterTheLimit) {
  TTestDesktop desktop;
  TPeerProcess peer({"--when", "early"});
  ASSERT_TRUE(peer.AwaitReady());
  TCommunicator endpoint;
  TReceived received;
  Prepare(endpoint, received, "Early");
  const auto start = Clock::now();
  EXPECT_FALSE(endpoint.SendText(kPeerTitle, "query"));
  EXPECT_GE(ElapsedMs(start), 950);
  EXPECT_LT(ElapsedMs(start), 3000);
  EXPECT_TRUE(peer.NextLine().starts_with("query 5"));
  EXPECT_EQ(peer.NextLine(), "answer failed");
  PumpUntil(endpoint, [] { return false; }, 200);
  EXPECT_EQ(received.calls, 0);
}

TEST(ProcessCommunicatorTest, DataFromAWindowThatClosedComesWithAnEmptySender) {
  TTestDesktop desktop;
  TPeerProcess peer({"--queries", "1", "--answer", "bye"});
  ASSERT_TRUE(peer.AwaitReady());
  TCommunicator endpoint;
  TReceived received;
  Prepare(endpoint, received, "Survivor");
  ASSERT_TRUE(endpoint.SendText(kPeerTitle, "query"));
  TMessage arrived;
  ASSERT_TRUE(testing_desktop::Eventually(
      [&] { return PeekMessage(arrived, endpoint.Handle(), PM_REMOVE); }));
  EXPECT_EQ(peer.Wait(), 0);
  DispatchMessage(arrived);
  EXPECT_EQ(received.calls, 1);
  EXPECT_EQ(received.from, "");
  EXPECT_EQ(Text(received.buf), "bye");
}

TEST(ProcessCommunicatorTest, UndispatchedDataDiesWithTheEndpointAndForgedBlocksAreIgnored) {
  TTestDesktop desktop;
  TPeerProcess peer({"--answer", "never seen"});
  ASSERT_TRUE(peer.AwaitReady());
  TReceived received;
  TMessage arrived;
  {
    TCommunicator endpoint;
    Prepare(endpoint, received, "Short");
    PostMessage(endpoint.Handle(), kDataArrivedMessage, 12345, 0);
    TMessage forged;
    ASSERT_TRUE(PeekMessage(forged, endpoint.Handle(), PM_REMOVE));
    DispatchMessage(forged);
    ASSERT_TRUE(endpoint.SendText(kPeerTitle, "query"));
    ASSERT_TRUE(testing_desktop::Eventually(
        [&] { return PeekMessage(arrived, endpoint.Handle(), PM_REMOVE); }));
  }
  EXPECT_EQ(DispatchMessage(arrived), 0);
  EXPECT_EQ(received.calls, 0);
}

}  // namespace
}  // namespace webtessl
