#include "search/DesktopQuery.h"

#include <chrono>
#include <exception>
#include <string>

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
// time since `start` exceeds the timeout (false).
bool AwaitAnswer(const TCommunicator& endpoint, uint32_t start, uint16_t timeoutMs) {
  for (;;) {
    TMessage msg;
    const bool dispatched = PeekMessage(msg, endpoint.Handle(), PM_REMOVE);
    if (dispatched) {
      DispatchMessage(msg);
      if (msg.message == kDataArrivedMessage) return true;
    }
    if (TickCount() - start > timeoutMs) return false;
    if (!dispatched) WaitMessageTimeout(endpoint.Handle(), kPollIntervalMs);
  }
}

TQueryOutcome Exchange(std::string_view queryText, uint16_t timeoutMs, TBytes& answer) {
  TQueryOutcome outcome = TQueryOutcome::Answered;
  TCommunicator endpoint;
  endpoint.SetName(EndpointName(endpoint));
  endpoint.OnData = [&answer](TCommunicator&, const std::string&, const TBytes& buf) {
    answer = buf;
  };
  if (!endpoint.PeerExists(kSearchWindowTitle)) {
    outcome = TQueryOutcome::Launched;
    if (!LaunchDesktopApp()) outcome = TQueryOutcome::ProgramNotFound;
  }
  const uint32_t start = TickCount();
  if (!endpoint.SendText(kSearchWindowTitle, queryText)) return TQueryOutcome::NotDelivered;
  if (!AwaitAnswer(endpoint, start, timeoutMs)) return TQueryOutcome::TimedOut;
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

}  // namespace

TQueryOutcome QueryDesktop(std::string_view queryText, uint16_t timeoutMs, TBytes& answer) {
  if (!DesktopUsable()) return TQueryOutcome::NotDelivered;
  try {
    return Exchange(queryText, timeoutMs, answer);
  } catch (const std::exception&) {
    return TQueryOutcome::Failed;
  }
}

}  // namespace webtessl
