#pragma once

#include "platform/Console.h"

namespace webtessl {

// Watches the console until the stop key: reads one character at a time and sleeps 10 ms after
// every other character, the end-of-input character included, so a program whose input has
// ended goes on polling until it is stopped from outside. Main thread only.
void RunConsoleLoop(TConsoleInput& input);

}  // namespace webtessl
