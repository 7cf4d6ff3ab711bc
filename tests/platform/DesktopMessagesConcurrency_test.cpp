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

// More threads than either side keeps connections for, each sending several messages: every
// message is answered by its own result, whether it went over a kept connection, over one the
// receiver had closed meanwhile (sent again over a new one), or over a new one.
TEST(DesktopMessagesConcurrencyTest, ManySendersShareTheKeptConnectionsWithoutMixingAnswers) {
  TTestDesktop desktop;
  constexpr uintptr_t kQuit = 0xDEAD;
  TChildProcess peer([] {
    bool done = false;
    const TWindowHandle window =
        CreateWindow(kClass, "Many", [&](uint32_t message, uintptr_t, intptr_t lParam) {
          const auto* data = reinterpret_cast<const TCopyDataStruct*>(lParam);
          if (message != WM_COPYDATA) return intptr_t{0};
          done = done || data->dwData == kQuit;
          return static_cast<intptr_t>(data->cbData);
        });
    const auto start = Clock::now();
    while (window != 0 && !done && ElapsedMs(start) < 30000) {
      WaitMessageTimeout(window, 20);
      TMessage msg;
      while (PeekMessage(msg, window, PM_REMOVE)) DispatchMessage(msg);
    }
    return done ? 0 : 2;
  });
  TWindowHandle target = 0;
  ASSERT_TRUE(Eventually([&] { return (target = FindWindow(kClass, "Many")) != 0; }));

  constexpr int kThreads = 24;
  constexpr int kRounds = 5;
  std::atomic<int> answered{0};
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        const std::string text(static_cast<size_t>(t * kRounds + round + 1), 'x');
        intptr_t result = 0;
        if (SendMessageTimeout(target, WM_COPYDATA, 0,
                               TCopyDataStruct{1, static_cast<uint32_t>(text.size()), text.data()},
                               5000, result) &&
            result == static_cast<intptr_t>(text.size())) {
          ++answered;
        }
      }
    });
  }
  for (auto& sender : senders) sender.join();
  EXPECT_EQ(answered.load(), kThreads * kRounds);
  intptr_t result = 0;
  EXPECT_TRUE(
      SendMessageTimeout(target, WM_COPYDATA, 0, TCopyDataStruct{kQuit, 0, nullptr}, 5000, result));
  EXPECT_EQ(peer.Wait(), 0);
}

}  // namespace
}  // namespace webtessl
