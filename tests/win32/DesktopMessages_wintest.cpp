// The Win32 backend's windows, against the real system: two threads play the two ends of the
// message channel. (windows.h stays out: its macros bear the names of the message layer.)

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/DesktopMessages.h"

namespace webtessl {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kClass[] = "TPUtilWindow";
constexpr uintptr_t kMarker = 16751103;

// Pumps the calling thread's messages until done or the limit passes.
void PumpUntil(const std::atomic<bool>& done, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!done && Clock::now() < deadline) {
    TMessage msg;
    while (PeekMessage(msg, 0, PM_REMOVE)) DispatchMessage(msg);
    if (!done) WaitMessageTimeout(0, 50);
  }
}

TEST(Win32DesktopMessagesTest, CopyDataCrossesThreadsAndPostedMessagesComeBack) {
  std::atomic<bool> ready{false}, done{false};
  std::string received;
  uintptr_t receivedMarker = 0;
  std::thread receiver([&] {
    const TWindowHandle window = CreateWindow(
        kClass, "wt-receiver", [&](uint32_t message, uintptr_t, intptr_t lParam) -> intptr_t {
          if (message != WM_COPYDATA) return 0;
          const auto& data = *reinterpret_cast<const TCopyDataStruct*>(lParam);
          receivedMarker = data.dwData;
          received.assign(static_cast<const char*>(data.lpData), data.cbData);
          done = true;
          return 7;
        });
    ready = true;
    PumpUntil(done, std::chrono::seconds(10));
    DestroyWindow(window);
  });
  while (!ready) std::this_thread::yield();
  const TWindowHandle peer = FindWindow(kClass, "wt-receiver");
  ASSERT_NE(peer, 0u);
  EXPECT_TRUE(IsWindow(peer));
  EXPECT_EQ(GetWindowText(peer), "wt-receiver");
  EXPECT_EQ(GetClassName(peer), kClass);
  EXPECT_FALSE(SetWindowText(peer, "not the owner"));
  const std::string payload = "{\"cmd\":69633}";
  intptr_t result = 0;
  EXPECT_TRUE(SendMessageTimeout(peer, WM_COPYDATA, 0,
                                 {kMarker, static_cast<uint32_t>(payload.size()), payload.data()},
                                 1000, result));
  EXPECT_EQ(result, 7);
  receiver.join();
  EXPECT_EQ(received, payload);
  EXPECT_EQ(receivedMarker, kMarker);
  EXPECT_FALSE(IsWindow(peer));
  EXPECT_EQ(FindWindow(kClass, "wt-receiver"), 0u);
}

TEST(Win32DesktopMessagesTest, BusyReceiverMakesTheSendFailAfterItsLimit) {
  std::atomic<bool> ready{false}, release{false};
  std::thread receiver([&] {
    const TWindowHandle window = CreateWindow(
        kClass, "wt-busy", [](uint32_t, uintptr_t, intptr_t) -> intptr_t { return 1; });
    ready = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(10));  // never pumps
    DestroyWindow(window);
  });
  while (!ready) std::this_thread::yield();
  intptr_t result = 0;
  const auto start = Clock::now();
  EXPECT_FALSE(SendMessageTimeout(FindWindow(kClass, "wt-busy"), WM_COPYDATA, 0,
                                  {kMarker, 0, nullptr}, 300, result));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(250));
  release = true;
  receiver.join();
}

TEST(Win32DesktopMessagesTest, PostedMessagesAreDispatchedToTheirProcedure) {
  uintptr_t got = 0;
  const TWindowHandle window =
      CreateWindow(kClass, "", [&](uint32_t message, uintptr_t wParam, intptr_t) -> intptr_t {
        if (message == WM_USER + 5) got = wParam;
        return 0;
      });
  ASSERT_NE(window, 0u);
  EXPECT_TRUE(SetWindowText(window, "wt-poster"));
  EXPECT_EQ(GetWindowText(window), "wt-poster");
  EXPECT_TRUE(PostMessage(window, WM_USER + 5, 42, 0));
  TMessage msg;
  ASSERT_TRUE(PeekMessage(msg, window, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER + 5u);
  DispatchMessage(msg);
  EXPECT_EQ(got, 42u);
  EXPECT_FALSE(PeekMessage(msg, window, PM_REMOVE));
  EXPECT_TRUE(DestroyWindow(window));
  EXPECT_FALSE(PostMessage(window, WM_USER + 5, 1, 0));
}

}  // namespace
}  // namespace webtessl
