#include "tessel/StopSignals.h"

#include <csignal>

namespace webtessl {

void WatchStopSignals(void (*onStop)(int)) {
  std::signal(SIGTERM, onStop);
  std::signal(SIGINT, onStop);
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace webtessl
