#pragma once

// What the desktop message tests of both systems share: a payload checksum for the receiver to
// answer with, a pump, a send with the usual limit, and a window run by a thread of its own.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <utility>

#include "platform/DesktopMessages.h"
#include "tests/platform/TestDesktop.h"

namespace webtessl::testing_desktop {

constexpr char kClass[] = "TestClass";
constexpr char kPeerTitle[] = "Peer";

// A window procedure that answers nothing.
inline intptr_t Ignore(uint32_t, uintptr_t, intptr_t) {
  return 0;
}

// A result that depends on every byte of the payload and on its size.
inline intptr_t Checksum(const void* bytes, uint32_t size) {
  const auto* data = static_cast<const uint8_t*>(bytes);
  uint32_t sum = size;
  for (uint32_t i = 0; i < size; ++i) sum = sum * 31 + data[i];
  return static_cast<intptr_t>(sum & 0x7FFFFFFF);
}

// The checksum of a WM_COPYDATA message's payload.
inline intptr_t ChecksumOf(intptr_t lParam) {
  const auto* data = reinterpret_cast<const TCopyDataStruct*>(lParam);
  return Checksum(data->lpData, data->cbData);
}

// Pumps one window (0: every window of the calling thread) until `done` or limitMs.
inline void PumpFor(TWindowHandle window, const std::function<bool()>& done, long limitMs) {
  const auto start = std::chrono::steady_clock::now();
  while (!done() && ElapsedMs(start) < limitMs) {
    WaitMessageTimeout(window, 20);
    TMessage msg;
    while (PeekMessage(msg, window, PM_REMOVE)) DispatchMessage(msg);
  }
}

// Sends the bytes as WM_COPYDATA with the marker, waiting at most a second.
inline bool Send(TWindowHandle target, const void* bytes, uint32_t size, intptr_t& result,
                 uintptr_t marker = 1) {
  return SendMessageTimeout(target, WM_COPYDATA, 0, TCopyDataStruct{marker, size, bytes}, 1000,
                            result);
}

// A window made and run by a thread of its own, which the test's thread reaches as another
// process would. The thread pumps the messages of its windows (once it looks) until Close, then
// destroys the window under the handle it then goes by.
class TThreadWindow {
 public:
  enum class TLooking { Pumps, NotYet };
  // Runs on the owner thread once the window exists; gives the handle the window goes by next.
  using TStart = std::function<TWindowHandle(TWindowHandle created)>;

  TThreadWindow(std::string title, TWindowProc proc, TLooking looking = TLooking::Pumps,
                TStart start = {})
      : looking_(looking == TLooking::Pumps),
        owner_([this, title = std::move(title), proc = std::move(proc), start = std::move(start)] {
          Run(title, proc, start);
        }) {
    Eventually([this] { return ready_.load(); });
  }
  ~TThreadWindow() { Close(); }
  TThreadWindow(const TThreadWindow&) = delete;
  TThreadWindow& operator=(const TThreadWindow&) = delete;

  // The handle the window was made with (0 when it could not be made).
  TWindowHandle Created() const { return created_; }

  // Makes the thread pump from now on.
  void StartLooking() { looking_ = true; }

  // Ends the thread; the window is destroyed when this returns.
  void Close() {
    closing_ = true;
    if (owner_.joinable()) owner_.join();
  }

 private:
  void Run(const std::string& title, const TWindowProc& proc, const TStart& start) {
    const TWindowHandle window = CreateWindow(kClass, title, proc);
    const TWindowHandle current = window != 0 && start ? start(window) : window;
    created_ = window;
    ready_ = true;
    while (!closing_) {
      if (looking_) {
        PumpFor(
            0, [this] { return closing_.load(); }, 1000);
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    DestroyWindow(current);
  }

  std::atomic<TWindowHandle> created_{0};
  std::atomic<bool> ready_{false};
  std::atomic<bool> looking_;
  std::atomic<bool> closing_{false};
  std::thread owner_;
};

// A window titled "Renewing", run by a thread of its own, that answers WM_COPYDATA with the
// payload's checksum and counts the calls. Before anyone can reach it, its thread renews its
// handle twice: the second time under the handle it was made with, or under the first fresh one.
class TRenewedWindow {
 public:
  enum class TAgainUnder { Created, Retired };

  explicit TRenewedWindow(TAgainUnder again)
      : window_(
            "Renewing",
            [this](uint32_t message, uintptr_t, intptr_t lParam) {
              if (message != WM_COPYDATA) return intptr_t{0};
              ++calls_;
              return ChecksumOf(lParam);
            },
            TThreadWindow::TLooking::Pumps,
            [this, again](TWindowHandle created) {
              retired_ = RenewWindowHandle(created);
              current_ =
                  RenewWindowHandle(again == TAgainUnder::Created ? created : retired_.load());
              return current_.load();
            }) {}

  TWindowHandle Created() const { return window_.Created(); }
  // The handle the first renewal gave, which the second retired.
  TWindowHandle Retired() const { return retired_; }
  TWindowHandle Current() const { return current_; }
  int Calls() const { return calls_; }
  void Close() { window_.Close(); }

 private:
  std::atomic<TWindowHandle> retired_{0};
  std::atomic<TWindowHandle> current_{0};
  std::atomic<int> calls_{0};
  TThreadWindow window_;  // last: its thread uses the members above
};

}  // namespace webtessl::testing_desktop
