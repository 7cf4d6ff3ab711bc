#include "platform/DesktopMessages.h"

#include "tests/platform/TestDesktop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace webtessl {
namespace {

using testing_desktop::ElapsedMs;
using testing_desktop::Eventually;
using testing_desktop::TChildProcess;
using testing_desktop::TTestDesktop;
using Clock = std::chrono::steady_clock;

constexpr char kClass[] = "TestClass";
constexpr char kRelayTitle[] = "Relay";
constexpr uintptr_t kQuitMarker = 0xDEAD;

// Child body: a window that, for every message, sends the same bytes back to the window named in
// wParam after it has acknowledged the message (as the desktop application does).
int RelayPeer() {
  struct TPending {
    TWindowHandle to;
    std::string bytes;
  };
  std::vector<TPending> pending;
  bool done = false;
  const TWindowHandle window =
      CreateWindow(kClass, kRelayTitle, [&](uint32_t message, uintptr_t wParam, intptr_t lParam) {
        if (message != WM_COPYDATA) return intptr_t{0};
        const auto* data = reinterpret_cast<const TCopyDataStruct*>(lParam);
        if (data->dwData == kQuitMarker) done = true;
        pending.push_back({static_cast<TWindowHandle>(wParam),
                           std::string(static_cast<const char*>(data->lpData), data->cbData)});
        return intptr_t{1};
      });
  if (window == 0) return 2;
  const auto start = Clock::now();
  while (!done && ElapsedMs(start) < 20000) {
    WaitMessageTimeout(window, 50);
    TMessage msg;
    while (PeekMessage(msg, window, PM_REMOVE)) DispatchMessage(msg);
    for (const auto& answer : pending) {
      intptr_t result = 0;
      SendMessageTimeout(answer.to, WM_COPYDATA, window,
                         TCopyDataStruct{1, static_cast<uint32_t>(answer.bytes.size()),
                                         answer.bytes.data()},
                         1000, result);
    }
    pending.clear();
  }
  DestroyWindow(window);
  return 0;
}

// One thread's round trip: its own window sends its handle's text to the relay and waits, asleep
// in WaitMessageTimeout, for the answer; true when exactly its own text came back.
bool RoundTrip(TWindowHandle relay, int index) {
  std::vector<std::string> received;
  const TWindowHandle own =
      CreateWindow(kClass, "T" + std::to_string(index),
                   [&](uint32_t message, uintptr_t, intptr_t lParam) {
                     if (message == WM_COPYDATA) {
                       const auto* data = reinterpret_cast<const TCopyDataStruct*>(lParam);
                       received.emplace_back(static_cast<const char*>(data->lpData), data->cbData);
                     }
                     return intptr_t{1};
                   });
  if (own == 0) return false;
  const std::string text = "from window " + std::to_string(own);
  intptr_t result = 0;
  const bool sent = SendMessageTimeout(relay, WM_COPYDATA, own,
                                       TCopyDataStruct{1, static_cast<uint32_t>(text.size()),
                                                       text.data()},
                                       1000, result);
  const auto start = Clock::now();
  while (sent && received.empty() && ElapsedMs(start) < 10000) {
    WaitMessageTimeout(own, 1000);
    TMessage msg;
    while (PeekMessage(msg, own, PM_REMOVE)) DispatchMessage(msg);
  }
  DestroyWindow(own);
  return sent && result == 1 && received == std::vector<std::string>{text};
}

void RunRoundTrips(int threads) {
  TTestDesktop desktop;
  TChildProcess relay(RelayPeer);
  TWindowHandle target = 0;
  ASSERT_TRUE(Eventually([&] { return (target = FindWindow(kClass, kRelayTitle)) != 0; }));

  std::atomic<int> good{0};
  std::vector<std::thread> workers;
  for (int i = 0; i < threads; ++i) {
    workers.emplace_back([&, i] { good += RoundTrip(target, i) ? 1 : 0; });
  }
  for (auto& worker : workers) worker.join();
  EXPECT_EQ(good.load(), threads);

  intptr_t result = 0;
  SendMessageTimeout(target, WM_COPYDATA, 0, TCopyDataStruct{kQuitMarker, 0, nullptr}, 1000,
                     result);
  EXPECT_EQ(relay.Wait(), 0);
}

TEST(DesktopMessagesConcurrencyTest, TwoThreadsEachReceiveOnlyTheirOwnAnswer) { RunRoundTrips(2); }

TEST(DesktopMessagesConcurrencyTest, ThirtyTwoThreadsAtOnce) { RunRoundTrips(32); }

TEST(DesktopMessagesConcurrencyTest, WaitWakesWhenAnotherThreadPosts) {
  TTestDesktop desktop;
  const TWindowHandle window =
      CreateWindow(kClass, "Waiter", [](uint32_t, uintptr_t, intptr_t) { return intptr_t{0}; });
  ASSERT_NE(window, 0u);
  std::thread poster([window] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    PostMessage(window, WM_USER + 1, 9, 0);
  });
  const auto start = Clock::now();
  const bool woken = WaitMessageTimeout(window, 10000);
  EXPECT_LT(ElapsedMs(start), 5000);
  poster.join();
  EXPECT_TRUE(woken);
  TMessage msg;
  ASSERT_TRUE(PeekMessage(msg, window, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 9u);
  DestroyWindow(window);
}

TEST(DesktopMessagesConcurrencyTest, OnlyTheOwningThreadActsAsTheWindow) {
  TTestDesktop desktop;
  const TWindowHandle window =
      CreateWindow(kClass, "Owned", [](uint32_t, uintptr_t, intptr_t) { return intptr_t{0}; });
  ASSERT_TRUE(PostMessage(window, WM_USER, 1, 0));
  std::thread stranger([window] {
    TMessage msg;
    EXPECT_FALSE(PeekMessage(msg, window, PM_REMOVE));
    EXPECT_FALSE(PeekMessage(msg, 0, PM_REMOVE));
    EXPECT_FALSE(SetWindowText(window, "Taken"));
    EXPECT_FALSE(DestroyWindow(window));
    EXPECT_EQ(GetWindowText(window), "Owned");
  });
  stranger.join();
  TMessage msg;
  EXPECT_TRUE(PeekMessage(msg, window, PM_REMOVE));
  EXPECT_TRUE(DestroyWindow(window));
}

// While a thread is inside SendMessageTimeout it handles nothing: a peer that answers before it
// has acknowledged holds both sides until the limit, both sends fail, and the abandoned answer is
// not delivered afterwards.
TEST(DesktopMessagesConcurrencyTest, AnswerBeforeAcknowledgingBlocksBothSidesUntilTheLimit) {
  TTestDesktop desktop;
  TChildProcess peer([] {
    int answerSent = -1;
    const TWindowHandle window =
        CreateWindow(kClass, kRelayTitle, [&](uint32_t message, uintptr_t wParam, intptr_t) {
          if (message != WM_COPYDATA) return intptr_t{0};
          intptr_t result = 0;
          answerSent = SendMessageTimeout(static_cast<TWindowHandle>(wParam), WM_COPYDATA, 0,
                                          TCopyDataStruct{1, 6, "answer"}, 1000, result);
          return intptr_t{1};
        });
    const auto start = Clock::now();
    while (answerSent < 0 && ElapsedMs(start) < 10000) {
      WaitMessageTimeout(window, 50);
      TMessage msg;
      while (PeekMessage(msg, window, PM_REMOVE)) DispatchMessage(msg);
    }
    return answerSent == 0 ? 0 : 1;
  });
  TWindowHandle target = 0;
  ASSERT_TRUE(Eventually([&] { return (target = FindWindow(kClass, kRelayTitle)) != 0; }));
  int delivered = 0;
  const TWindowHandle own = CreateWindow(kClass, "Asker", [&](uint32_t message, uintptr_t, intptr_t) {
    delivered += message == WM_COPYDATA;
    return intptr_t{1};
  });
  const auto start = Clock::now();
  intptr_t result = 0;
  EXPECT_FALSE(SendMessageTimeout(target, WM_COPYDATA, own, TCopyDataStruct{1, 5, "query"}, 1000,
                                  result));
  EXPECT_GE(ElapsedMs(start), 950);
  EXPECT_EQ(peer.Wait(), 0);  // the peer's answer failed too
  TMessage msg;
  while (PeekMessage(msg, own, PM_REMOVE)) DispatchMessage(msg);
  EXPECT_EQ(delivered, 0);
  DestroyWindow(own);
}

}  // namespace
}  // namespace webtessl
