#include "search/DesktopQuery.h"

#include <chrono>
#include <exception>
#include <memory>
#include <string>

#include "common/ThreadEnd.h"
#include "platform/DesktopMessages.h"
#include "platform/Process.h"
#include "search/ConsoleNotice.h"
#include "search/DesktopLauncher.h"

namespace webtessl {
namespace {

// The longest sleep between two looks at the queue; a message ends it at once.
constexpr uint32_t kPollIntervalMs = 10;

// A millisecond tick count that wraps at 32 bits; only differences are used.
uint32_t TickCount() {
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

// The endpoint's name: unique on the desktop, since its window handle is.
std::string EndpointName(const TCommunicator& endpoint) {
  return "T" + std::to_string(CurrentProcessId()) + std::to_string(endpoint.Handle());
}

// Pumps the endpoint's window until its data-arrived message has been dispatched (true) or the
// time since `start` exceeds the timeout (false). It waits before it first looks: the query has
// only just been acknowledged, so the answer is rarely there yet, and a look that finds nothing
// costs a call for nothing (the wait returns at once when something is there).
bool AwaitAnswer(const TCommunicator& endpoint, uint32_t start, uint16_t timeoutMs) {
  bool dispatched = false;
  for (;;) {
    if (!dispatched) WaitMessageTimeout(endpoint.Handle(), kPollIntervalMs);
    TMessage msg;
    dispatched = PeekMessage(msg, endpoint.Handle(), PM_REMOVE);
    if (dispatched) {
      DispatchMessage(msg);
      if (msg.message == kDataArrivedMessage) return true;
    }
    if (TickCount() - start > timeoutMs) return false;
  }
}

// Hands the endpoint's data to `answer` for as long as it lives.
class TAnswerSink {
 public:
  TAnswerSink(TCommunicator& endpoint, TBytes& answer) : endpoint_(endpoint) {
    endpoint_.OnData = [&answer](TCommunicator&, const std::string&, const TBytes& buf) {
      answer = buf;
    };
  }
  ~TAnswerSink() { endpoint_.OnData = nullptr; }
  TAnswerSink(const TAnswerSink&) = delete;
  TAnswerSink& operator=(const TAnswerSink&) = delete;

 private:
  TCommunicator& endpoint_;
};

// One exchange over the endpoint; `answered` tells whether an answer came, which is the only
// case in which nothing more is to be expected for this query.
TQueryOutcome Exchange(TCommunicator& endpoint, std::string_view queryText, uint16_t timeoutMs,
                       TBytes& answer, bool& answered) {
  endpoint.BeginExchange();
  const TAnswerSink sink(endpoint, answer);
  TQueryOutcome outcome = TQueryOutcome::Answered;
  const TWindowHandle peer = endpoint.FindPeer(kSearchWindowTitle);
  if (peer == 0) {
    outcome = TQueryOutcome::Launched;
    if (!LaunchDesktopApp()) outcome = TQueryOutcome::ProgramNotFound;
  }
  const uint32_t start = TickCount();
  const bool sent = peer != 0 ? endpoint.SendTextTo(peer, queryText)
                              : endpoint.SendText(kSearchWindowTitle, queryText);
  if (!sent) return TQueryOutcome::NotDelivered;
  if (!AwaitAnswer(endpoint, start, timeoutMs)) return TQueryOutcome::TimedOut;
  answered = true;
  return outcome;
}

// Whether the desktop folder can be used; when it is refused (another user could have touched
// it), the console says so once and searches answer as when the application is absent, without
// starting it (it would refuse the folder too).
bool DesktopUsable() {
  static TConsoleNotice notice;
  if (!DesktopFolder().empty()) {
    notice.Clear();
    return true;
  }
  notice.Say("The desktop folder " + DesktopFolderPath() +
             " is refused: it must be a folder of this user that no one else may enter or write");
  return false;
}

std::unique_ptr<TCommunicator> NewEndpoint() {
  auto endpoint = std::make_unique<TCommunicator>();
  endpoint->SetName(EndpointName(*endpoint));
  return endpoint;
}

// The calling thread's endpoint, kept from one search to the next: a window costs a socket, a
// record file and an event of its own, far more than an exchange over a window that exists.
// It goes with its thread (common/ThreadEnd.h says why the slot is not a thread_local object
// itself). nullptr on a thread that leaves no work for its end: it makes an endpoint per search.
thread_local std::unique_ptr<TCommunicator>* threadEndpoint = nullptr;

std::unique_ptr<TCommunicator>* ThreadEndpointSlot() {
  if (threadEndpoint != nullptr) return threadEndpoint;
  auto kept = std::make_shared<std::unique_ptr<TCommunicator>>();
  if (!AtThreadEnd([kept] {
        kept->reset();
        threadEndpoint = nullptr;
      })) {
    return nullptr;
  }
  threadEndpoint = kept.get();
  return threadEndpoint;
}

// One search over `endpoint`, which is made when empty and dropped when it cannot serve the
// next search.
TQueryOutcome QueryOver(std::unique_ptr<TCommunicator>& endpoint, std::string_view queryText,
                        uint16_t timeoutMs, TBytes& answer) {
  if (!endpoint && !DesktopUsable()) return TQueryOutcome::NotDelivered;
  bool answered = false;
  try {
    if (!endpoint) endpoint = NewEndpoint();
    const TQueryOutcome outcome = Exchange(*endpoint, queryText, timeoutMs, answer, answered);
    // After an exchange without an answer the application may still answer it; a window that
    // is gone refuses that answer at once instead of keeping the application's sender waiting
    // for the send limit. A window that could not be made is not kept either.
    if (!answered || endpoint->Handle() == 0) endpoint.reset();
    return outcome;
  } catch (const std::exception&) {
    endpoint.reset();
    return TQueryOutcome::Failed;
  }
}

}  // namespace

TQueryOutcome QueryDesktop(std::string_view queryText, uint16_t timeoutMs, TBytes& answer) {
  std::unique_ptr<TCommunicator> perSearch;
  std::unique_ptr<TCommunicator>* kept = nullptr;
  try {
    kept = ThreadEndpointSlot();
  } catch (const std::exception&) {
    return TQueryOutcome::Failed;
  }
  return QueryOver(kept != nullptr ? *kept : perSearch, queryText, timeoutMs, answer);
}

}  // namespace webtessl
