#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string_view>

namespace webtessl {

// Writes the text and a line end to standard output as one whole line. Thread-safe: every call
// takes the line under one process-wide lock, so lines from several threads never interleave.
// Raises EInOutError when standard output cannot be written; while a TBatchedConsoleLog lives it
// never raises and never waits for a stalled standard output (see there).
void ConsoleLog(std::string_view text);

// Formats its arguments with the printf-style formatter ("%s", "%d", "%x", "%g", ...) and writes
// the result like ConsoleLog. Thread-safe.
void ConsoleLogFmt(const char* format, ...) __attribute__((format(printf, 1, 2)));

class TLogBatch;  // the lines waiting and the thread that writes them

// While an instance lives, logged lines go to standard output through a writer thread, so that
// no logging thread ever waits for the output: lines keep their order and stay whole, and when
// the output cannot take them (a full pipe nobody reads, a terminal paused with Ctrl+S, a reader
// that has gone) and kMaxHeldBytes are waiting, further lines are dropped and later counted in a
// line of their own. Into a file or a pipe, lines are collected and written in batches, one
// system call for many lines, at most kBatchInterval after they were logged. A terminal gets
// every line at once: the logging thread waits until its line is out, but never longer than
// kTerminalWait. A write that fails is said once on standard error; the lines are lost. Lines
// logged in the last moments before the process is killed by a signal may be lost. One instance
// at a time, per process.
class TBatchedConsoleLog final {
 public:
  static constexpr std::chrono::milliseconds kBatchInterval{20};
  // Past this many bytes waiting, a batch is written at once.
  static constexpr std::size_t kMaxWaitingBytes = std::size_t{1} << 20;
  // Past this many bytes waiting for a stalled output, lines are dropped.
  static constexpr std::size_t kMaxHeldBytes = std::size_t{8} << 20;
  static constexpr std::chrono::milliseconds kTerminalWait{50};

  TBatchedConsoleLog();
  ~TBatchedConsoleLog();
  TBatchedConsoleLog(const TBatchedConsoleLog&) = delete;
  TBatchedConsoleLog& operator=(const TBatchedConsoleLog&) = delete;

  // False when standard output is a terminal and lines go out one by one.
  bool Batching() const { return batching_; }

 private:
  bool batching_ = false;
  std::unique_ptr<TLogBatch> batch_;
};

}  // namespace webtessl
