#pragma once

namespace webtessl {

// Whether the process ignores SIGPIPE for good: a write to a connection whose reader has gone
// then fails with EPIPE without a signal, and calls that cannot refuse the signal themselves
// need not block it around each call. Thread-safe.
bool BrokenPipeIgnored();
// Ignores SIGPIPE for the rest of the process's life.
void IgnoreBrokenPipeForGood();

}  // namespace webtessl
