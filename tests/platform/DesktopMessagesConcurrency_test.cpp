#include "platform/DesktopMessages.h"

#include "tests/platform/TestDesktop.h"

#include <gtest/gtest.h>

#include <thread>

namespace webtessl {
namespace {

using testing_desktop::ElapsedMs;
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

}  // namespace
}  // namespace webtessl
