#include "tessel/StopSignals.h"

#include <csignal>

namespace webtessl {

// Windows has no broken-pipe signal; the runtime raises the other two.
void WatchStopSignals(void (*onStop)(int)) {
  std::signal(SIGTERM, onStop);
  std::signal(SIGINT, onStop);
}

}  // namespace webtessl
