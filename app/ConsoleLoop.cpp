#include "app/ConsoleLoop.h"

#include <chrono>
#include <thread>

namespace webtessl {
namespace {

constexpr std::chrono::milliseconds kConsolePollInterval{10};

}  // namespace

void RunConsoleLoop(TConsoleInput& input) {
  while (input.ReadChar() != kStopKey) std::this_thread::sleep_for(kConsolePollInterval);
}

}  // namespace webtessl
