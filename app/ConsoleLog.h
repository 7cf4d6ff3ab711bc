#pragma once

#include <string_view>

namespace webtessl {

// Writes the text and a line end to standard output as one whole line. Thread-safe: every call
// writes under one process-wide lock, so lines from several threads never interleave.
// Raises EInOutError when standard output cannot be written.
void ConsoleLog(std::string_view text);

// Formats its arguments with the printf-style formatter ("%s", "%d", "%x", "%g", ...) and writes
// the result like ConsoleLog. Thread-safe.
void ConsoleLogFmt(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace webtessl
