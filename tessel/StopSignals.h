#pragma once

namespace webtessl {

// Lets SIGTERM and SIGINT call onStop, which may only set a flag; on Linux a broken pipe no
// longer ends the process either. Call once, from main.
void WatchStopSignals(void (*onStop)(int));

}  // namespace webtessl
