#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "platform/DesktopMessages.h"
#include "tessel/QueryWorkers.h"

namespace webtessl {

class TIndexer;

// The desktop window that takes queries and sends answers. A query arrives as a WM_COPYDATA
// message (marker kCommunicatorMarker) whose wParam names the sender's window; it is copied and
// acknowledged at once, and answered once the message has returned, with one WM_COPYDATA to that
// window. Queries are answered by a few worker threads at once, each cut at a time budget, so
// that one expensive query does not hold up the others. Belongs to the thread that creates it,
// which must also call Run.
class TSearchWindow {
 public:
  explicit TSearchWindow(TIndexer& indexer);
  ~TSearchWindow();
  TSearchWindow(const TSearchWindow&) = delete;
  TSearchWindow& operator=(const TSearchWindow&) = delete;

  // Whether the window is up on the desktop.
  bool Valid() const { return window_ != 0; }

  // Handles messages and answers queries until stop becomes true.
  void Run(const std::atomic<bool>& stop);

  // The answer text for one query's bytes; nothing for a message that gets no answer. Any thread.
  std::optional<std::string> AnswerFor(const std::string& payload);

 private:
  struct TReceived {
    TWindowHandle from = 0;
    std::string payload;
  };

  intptr_t WndProc(uint32_t message, uintptr_t wParam, intptr_t lParam);
  void AnswerReceived();
  void Answer(const TReceived& query);

  TIndexer& indexer_;
  std::deque<TReceived> received_;
  TWindowHandle window_ = 0;
  // Ended first of all, before the window they answer from goes.
  std::optional<TQueryWorkers> workers_;
};

}  // namespace webtessl
