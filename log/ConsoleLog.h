#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string_view>

namespace webtessl {

// Writes the text and a line end to standard output as one whole line. Thread-safe: every call
// takes the line under one process-wide lock, so lines from several threads never interleave.
// Raises EInOutError when standard output cannot be written (while a TBatchedConsoleLog lives:
// when an earlier batch could not be written).
void ConsoleLog(std::string_view text);

// Formats its arguments with the printf-style formatter ("%s", "%d", "%x", "%g", ...) and writes
// the result like ConsoleLog. Thread-safe.
void ConsoleLogFmt(const char* format, ...) __attribute__((format(printf, 1, 2)));

class TLogBatch;  // the lines waiting and the thread that writes them

// While an instance lives, and standard output is not a terminal (a file or a pipe), logged lines
// are collected in memory and written in batches, one system call for many lines, at most
// kBatchInterval after they were logged; whatever is left is written when the instance goes.
// Lines keep their order and stay whole. A terminal keeps getting every line at once, so an
// operator watching sees each as it happens. A batch that cannot be written is reported by the
// next ConsoleLog call, in the calling thread. Lines logged in the last moments before the
// process is killed by a signal may be lost. One instance at a time, per process.
class TBatchedConsoleLog final {
 public:
  static constexpr std::chrono::milliseconds kBatchInterval{20};
  // Past this many bytes waiting, logging threads wait until a batch has been written, so that
  // a stalled standard output cannot make the log grow without limit.
  static constexpr std::size_t kMaxWaitingBytes = std::size_t{1} << 20;

  TBatchedConsoleLog();
  ~TBatchedConsoleLog();
  TBatchedConsoleLog(const TBatchedConsoleLog&) = delete;
  TBatchedConsoleLog& operator=(const TBatchedConsoleLog&) = delete;

  // False when standard output is a terminal and lines go out one by one.
  bool Batching() const { return batch_ != nullptr; }

 private:
  std::unique_ptr<TLogBatch> batch_;
};

}  // namespace webtessl
