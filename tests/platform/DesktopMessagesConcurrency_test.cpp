// What every backend's desktop messages promise to threads that act at once. The same source is
// built into the Linux tests (and run again under ThreadSanitizer) and into the Windows tests run
// under Wine.

#include "platform/DesktopMessages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/platform/DesktopMessagesTesting.h"
#include "tests/platform/TestDesktop.h"

namespace webtessl {
namespace {

using namespace testing_desktop;
using Clock = std::chrono::steady_clock;

TEST(DesktopMessagesConcurrencyTest, WaitWakesWhenAnotherThreadPosts) {
  const TTestDesktop desktop;
  const TWindowHandle window = CreateWindow(kClass, "Waiter", Ignore);
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
  const TTestDesktop desktop;
  const TWindowHandle window = CreateWindow(kClass, "Owned", Ignore);
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

// More threads than either side keeps connections for, each sending several messages to a window
// of another thread: every message is answered by its own result, whether it went over a kept
// connection, over one the receiver had closed meanwhile (sent again over a new one), or over a
// new one.
TEST(DesktopMessagesConcurrencyTest, ManySendersShareTheKeptConnectionsWithoutMixingAnswers) {
  const TTestDesktop desktop;
  const TThreadWindow peer("Many", [](uint32_t message, uintptr_t, intptr_t lParam) {
    if (message != WM_COPYDATA) return intptr_t{0};
    return static_cast<intptr_t>(reinterpret_cast<const TCopyDataStruct*>(lParam)->cbData);
  });
  const TWindowHandle target = FindWindow(kClass, "Many");
  ASSERT_NE(target, 0u);

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
}

}  // namespace
}  // namespace webtessl
