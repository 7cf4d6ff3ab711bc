#pragma once

#include <cstdint>
#include <string_view>

#include "search/ProcessCommunicator.h"

namespace webtessl {

// How one exchange with the desktop application ended. A later outcome replaces an earlier one,
// so a search that found the application absent never ends with Answered.
enum class TQueryOutcome : int32_t {
  Answered = 0,
  TimedOut = 1,         // no answer within the timeout
  Launched = 2,         // the window was absent; the application was started
  NotDelivered = 3,     // no window, or the query was not acknowledged within the send limit
  ProgramNotFound = 9,  // the window was absent and no program file was found
  Failed = 99,          // an error was raised while querying
};

// Sends the query text to the desktop application from the endpoint window of the calling
// thread, and waits at most timeoutMs (counted from before the send) for its answer, which goes
// into `answer`. Starts the application when its window is absent. When the desktop folder is
// refused, answers NotDelivered without starting it (the console says why, once). The thread's
// window is kept for its next query and takes a fresh handle for each, so an answer to an
// earlier query never reaches a later one; after a query without an answer it is closed. Only
// the calling thread's window is pumped, so concurrent queries on other threads never see each
// other's answers. Thread-safe.
TQueryOutcome QueryDesktop(std::string_view queryText, uint16_t timeoutMs, TBytes& answer);

}  // namespace webtessl
