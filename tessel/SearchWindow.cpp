#include "tessel/SearchWindow.h"

#include <chrono>

#include "protocol/DesktopProtocol.h"
#include "tessel/AnswerText.h"
#include "tessel/FolderPaths.h"
#include "tessel/Indexer.h"
#include "tessel/SearchQuery.h"
#include "tessel/SearchRun.h"

namespace webtessl {
namespace {

using Clock = std::chrono::steady_clock;

// How long the message loop sleeps between looks at the stop flag.
constexpr uint32_t kPumpSliceMs = 50;
// How long a query waits for folders outside the roots to be read before it is answered from
// what is there: well inside the server's default timeout of one second.
constexpr auto kFirstUseWait = std::chrono::milliseconds(600);
// How long one search may look for matches before it answers with what it has: inside the
// server's default timeout of one second, with the waiting for folders on top.
constexpr auto kSearchBudget = std::chrono::milliseconds(700);
// Searches answered at once, and how many more may wait.
constexpr size_t kQueryThreads = 4;
constexpr size_t kMaxWaitingQueries = 256;

}  // namespace

TSearchWindow::TSearchWindow(TIndexer& indexer) : indexer_(indexer) {
  workers_.emplace(kQueryThreads, kMaxWaitingQueries);
  window_ = CreateWindow(kUtilWindowClass, kSearchWindowTitle,
                         [this](uint32_t message, uintptr_t wParam, intptr_t lParam) {
                           return WndProc(message, wParam, lParam);
                         });
}

TSearchWindow::~TSearchWindow() {
  workers_.reset();  // the answers under way are sent first
  if (window_ != 0) DestroyWindow(window_);
}

intptr_t TSearchWindow::WndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (message != WM_COPYDATA) return 0;
  const auto& data = *reinterpret_cast<const TCopyDataStruct*>(lParam);
  if (data.dwData == kCommunicatorMarker) {
    // The bytes live only during this call; the answer goes out after it has returned.
    const char* bytes = static_cast<const char*>(data.lpData);
    received_.push_back({static_cast<TWindowHandle>(wParam),
                         bytes != nullptr ? std::string(bytes, data.cbData) : std::string()});
  }
  return 1;
}

void TSearchWindow::Run(const std::atomic<bool>& stop) {
  while (!stop) {
    WaitMessageTimeout(window_, kPumpSliceMs);
    TMessage message;
    while (PeekMessage(message, window_, PM_REMOVE)) DispatchMessage(message);
    AnswerReceived();
  }
}

void TSearchWindow::AnswerReceived() {
  while (!received_.empty()) {
    // A query refused because too many wait goes unanswered: its sender times out.
    workers_->Post([this, query = std::move(received_.front())] { Answer(query); });
    received_.pop_front();
  }
}

void TSearchWindow::Answer(const TReceived& query) {
  const std::optional<std::string> answer = AnswerFor(query.payload);
  if (!answer) return;
  const TCopyDataStruct data{kCommunicatorMarker, static_cast<uint32_t>(answer->size()),
                             answer->data()};
  intptr_t result = 0;
  SendMessageTimeout(query.from, WM_COPYDATA, window_, data, kSendLimitMs, result);
}

std::optional<std::string> TSearchWindow::AnswerFor(const std::string& payload) {
  const TParsedMessage message = ParseMessage(payload);
  switch (message.kind) {
    case TParsedMessage::TKind::Other:
      return std::nullopt;
    case TParsedMessage::TKind::Malformed:
      return AnswerText({}, indexer_.Indexing());
    case TParsedMessage::TKind::Search:
      break;
  }
  const auto deadline = Clock::now() + kFirstUseWait;
  for (const std::string& folder : message.query.dirs) {
    const auto path = NormalizeFolder(folder);
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (path) indexer_.EnsureFolder(*path, std::max(left, std::chrono::milliseconds(0)));
  }
  // Asked before the search: an answer found while the index was still being built never says
  // it is complete.
  const bool indexing = indexer_.Indexing(message.query.sort);
  const auto searchDeadline = Clock::now() + kSearchBudget;
  const TSearchResult result = indexer_.WithIndexShared(
      [&](const TNameIndex& index) { return RunSearch(index, message.query, searchDeadline); });
  return AnswerText(result, indexing);
}

}  // namespace webtessl
