// What every backend's desktop messages promise, on real windows; a window run by a thread of its
// own stands for one of another process. The same source is built into the Linux tests and into
// the Windows tests run under Wine, so a rule written here holds for both; what only one system
// has lives beside it (posix/, tests/win32/).

#include "platform/DesktopMessages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include "tests/platform/DesktopMessagesTesting.h"
#include "tests/platform/TestDesktop.h"

namespace webtessl {
namespace {

using namespace testing_desktop;
using Clock = std::chrono::steady_clock;

TEST(DesktopMessagesTest, WindowIsFoundDescribedRenamedAndDestroyed) {
  const TTestDesktop desktop;
  const TWindowHandle window = CreateWindow(kClass, "First", Ignore);
  ASSERT_NE(window, 0u);
  EXPECT_LE(window, 0x7FFFFFFFu);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(FindWindow(kClass, "First"), window);
  EXPECT_EQ(FindWindow(kClass, "first"), 0u) << "the title is matched exactly";
  EXPECT_EQ(FindWindow(kClass, "Firs"), 0u);
  const TWindowHandle lower = CreateWindow(kClass, "first", Ignore);
  ASSERT_NE(lower, 0u);
  EXPECT_EQ(FindWindow(kClass, "first"), lower);
  EXPECT_EQ(FindWindow(kClass, "First"), window);
  ASSERT_TRUE(DestroyWindow(lower));
  EXPECT_EQ(FindWindow("OtherClass", "First"), 0u);
  EXPECT_EQ(GetWindowText(window), "First");
  EXPECT_EQ(GetClassName(window), kClass);

  ASSERT_TRUE(SetWindowText(window, "Second"));
  EXPECT_EQ(GetWindowText(window), "Second");
  EXPECT_EQ(FindWindow(kClass, "First"), 0u);
  EXPECT_EQ(FindWindow(kClass, "Second"), window);
  // A title beyond ASCII is kept and matched byte for byte.
  const std::string other =
      "Gr\xC3\xBC\xC3\x9F"
      "e \xE2\x80\x93 \xE6\xA4\x9C\xE7\xB4\xA2";
  ASSERT_TRUE(SetWindowText(window, other));
  EXPECT_EQ(GetWindowText(window), other);
  EXPECT_EQ(FindWindow(kClass, other), window);

  ASSERT_TRUE(DestroyWindow(window));
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(FindWindow(kClass, other), 0u);
  EXPECT_EQ(GetWindowText(window), "");
  EXPECT_EQ(GetClassName(window), "");
  EXPECT_TRUE(std::filesystem::is_empty(desktop.Folder())) << "the window left a trace";
}

// Another thread finds and describes the window but cannot rename it; what it sends arrives
// whole, with its marker, and comes back with the receiver's result, from the empty payload to
// one of many megabytes. Once the window is gone, a send fails at once.
TEST(DesktopMessagesTest, CopyDataCrossesThreadsWithItsMarkerAndResult) {
  const TTestDesktop desktop;
  constexpr uintptr_t kMarker = 16751103;
  std::vector<uintptr_t> markers;  // the owner thread's until it is closed
  TThreadWindow peer(kPeerTitle, [&](uint32_t message, uintptr_t, intptr_t lParam) {
    if (message != WM_COPYDATA) return intptr_t{0};
    markers.push_back(reinterpret_cast<const TCopyDataStruct*>(lParam)->dwData);
    return ChecksumOf(lParam);
  });
  const TWindowHandle target = FindWindow(kClass, kPeerTitle);
  ASSERT_NE(target, 0u);
  EXPECT_EQ(target, peer.Created());
  EXPECT_TRUE(IsWindow(target));
  EXPECT_EQ(GetWindowText(target), kPeerTitle);
  EXPECT_EQ(GetClassName(target), kClass);
  EXPECT_FALSE(SetWindowText(target, "not the owner"));
  EXPECT_EQ(GetWindowText(target), kPeerTitle);

  std::vector<uint8_t> large(16 * 1024 * 1024);
  std::iota(large.begin(), large.end(), uint8_t{7});
  const std::string small = "{\"cmd\":69633}";
  intptr_t result = -1;
  ASSERT_TRUE(Send(target, nullptr, 0, result, kMarker));
  EXPECT_EQ(result, Checksum(nullptr, 0));
  ASSERT_TRUE(Send(target, small.data(), small.size(), result, kMarker));
  EXPECT_EQ(result, Checksum(small.data(), small.size()));
  ASSERT_TRUE(Send(target, large.data(), large.size(), result, kMarker));
  EXPECT_EQ(result, Checksum(large.data(), large.size()));
  // The receiver's buffer for ordinary messages survives a message too large to keep it for.
  ASSERT_TRUE(Send(target, small.data(), small.size(), result, kMarker));
  EXPECT_EQ(result, Checksum(small.data(), small.size()));

  peer.Close();
  EXPECT_EQ(markers, std::vector<uintptr_t>(4, kMarker));
  EXPECT_FALSE(IsWindow(target));
  EXPECT_EQ(FindWindow(kClass, kPeerTitle), 0u);
  const auto start = Clock::now();
  EXPECT_FALSE(Send(target, "late", 4, result));
  EXPECT_LT(ElapsedMs(start), 500);
}

TEST(DesktopMessagesTest, SendToAMissingWindowFailsAtOnce) {
  const TTestDesktop desktop;
  const auto start = Clock::now();
  intptr_t result = 0;
  EXPECT_FALSE(Send(12345, "x", 1, result));
  EXPECT_FALSE(Send(0, "x", 1, result));
  EXPECT_LT(ElapsedMs(start), 500);
  EXPECT_FALSE(SendMessageTimeout(12345, WM_USER, 0, TCopyDataStruct{}, 1000, result));
}

// A receiver that does not look makes the send fail after its limit; what the sender gave up on
// is never handled, even when the receiver looks later.
TEST(DesktopMessagesTest, ReceiverThatDoesNotLookMakesTheSendFailAndNeverHandlesIt) {
  const TTestDesktop desktop;
  std::atomic<int> calls = 0;
  TThreadWindow peer(
      kPeerTitle,
      [&](uint32_t message, uintptr_t, intptr_t) {
        calls += message == WM_COPYDATA;
        return intptr_t{1};
      },
      TThreadWindow::TLooking::NotYet);
  ASSERT_NE(peer.Created(), 0u);
  const auto start = Clock::now();
  intptr_t result = 0;
  EXPECT_FALSE(Send(peer.Created(), "query", 5, result));
  EXPECT_GE(ElapsedMs(start), 950);
  EXPECT_LT(ElapsedMs(start), 3000);

  peer.StartLooking();
  ASSERT_TRUE(Send(peer.Created(), "again", 5, result));
  EXPECT_EQ(result, 1);
  peer.Close();
  EXPECT_EQ(calls, 1) << "the message given up on was handled";
}

// A renewed handle retires the one before it: what is sent there never reaches the procedure
// (it is refused, or acknowledged with 0), while the fresh handle and the one FindWindow gives
// reach it. Only the owner renews.
TEST(DesktopMessagesTest, RenewedHandleRetiresThePreviousOne) {
  const TTestDesktop desktop;
  TRenewedWindow window(TRenewedWindow::TAgainUnder::Retired);
  const TWindowHandle retired = window.Retired(), current = window.Current();
  ASSERT_NE(current, 0u);
  EXPECT_EQ(RenewWindowHandle(current), 0u) << "only the owner renews";
  EXPECT_NE(retired, window.Created());
  EXPECT_NE(current, retired);
  EXPECT_EQ(GetWindowText(current), "Renewing");
  EXPECT_EQ(GetClassName(current), kClass);

  intptr_t result = -1;
  if (Send(retired, "old", 3, result)) {  // refused, or acknowledged with 0
    EXPECT_EQ(result, 0);
  }
  EXPECT_EQ(window.Calls(), 0);
  ASSERT_TRUE(Send(current, "new", 3, result));
  EXPECT_EQ(result, Checksum("new", 3));
  ASSERT_TRUE(Send(FindWindow(kClass, "Renewing"), "found", 5, result));
  EXPECT_EQ(result, Checksum("found", 5));
  EXPECT_EQ(window.Calls(), 2);
  window.Close();
  EXPECT_FALSE(Send(current, "gone", 4, result));
}

TEST(DesktopMessagesTest, PostedMessagesComeInOrderAndDieWithTheWindow) {
  const TTestDesktop desktop;
  std::vector<uintptr_t> seen;
  const TWindowHandle window =
      CreateWindow(kClass, "Posts", [&](uint32_t message, uintptr_t wParam, intptr_t) {
        if (message == WM_USER + 5) seen.push_back(wParam);
        return intptr_t{7};
      });
  ASSERT_NE(window, 0u);
  for (uintptr_t i = 1; i <= 3; ++i) ASSERT_TRUE(PostMessage(window, WM_USER + 5, i, 0));

  TMessage msg;
  ASSERT_TRUE(PeekMessage(msg, window, PM_NOREMOVE));
  EXPECT_EQ(msg.window, window);
  EXPECT_EQ(msg.message, WM_USER + 5);
  EXPECT_EQ(msg.wParam, 1u);
  while (PeekMessage(msg, window, PM_REMOVE)) EXPECT_EQ(DispatchMessage(msg), 7);
  EXPECT_EQ(seen, (std::vector<uintptr_t>{1, 2, 3}));

  ASSERT_TRUE(PostMessage(window, WM_USER + 5, 4, 0));
  ASSERT_TRUE(DestroyWindow(window));
  EXPECT_FALSE(PeekMessage(msg, window, PM_REMOVE));
  EXPECT_FALSE(PeekMessage(msg, 0, PM_REMOVE));
  EXPECT_EQ(DispatchMessage(TMessage{window, WM_USER + 5, 4, 0}), 0);
  EXPECT_FALSE(PostMessage(window, WM_USER + 5, 5, 0));
  EXPECT_EQ(seen.size(), 3u);
}

TEST(DesktopMessagesTest, WaitEndsAfterItsTimeWhenNothingComes) {
  const TTestDesktop desktop;
  const TWindowHandle window = CreateWindow(kClass, "Idle", Ignore);
  ASSERT_NE(window, 0u);
  const auto start = Clock::now();
  EXPECT_FALSE(WaitMessageTimeout(window, 100));
  EXPECT_GE(ElapsedMs(start), 95);
  ASSERT_TRUE(PostMessage(window, WM_USER, 0, 0));
  EXPECT_TRUE(WaitMessageTimeout(window, 5000));
  DestroyWindow(window);
}

}  // namespace
}  // namespace webtessl
