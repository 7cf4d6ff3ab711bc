#include "log/ConsoleLog.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "common/Exception.h"
#include "common/Mutex.h"
#include "platform/Console.h"

namespace webtessl {
namespace {

// Formatted texts up to this size need no memory of their own.
constexpr std::size_t kFormatBufferSize = 1024;

// Guards standard output, the active batch and everything in it.
TMutex& LogLock() {
  static TMutex lock;
  return lock;
}

// The active batch, if any.
TLogBatch* g_activeBatch GUARDED_BY(LogLock()) = nullptr;

// Writes the bytes to standard output at once; the error number of a failure, else 0.
int WriteToStandardOutput(std::string_view bytes) {
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
  if (written && std::fflush(stdout) == 0) return 0;
  const int error = errno != 0 ? errno : EIO;
  std::clearerr(stdout);
  return error;
}

[[noreturn]] void RaiseWriteError(int error) {
  throw EInOutError(std::strerror(error));
}

constexpr const char* kDroppedLinesNotice =
    "(%llu trace lines dropped: the console did not take them in time)";
constexpr const char* kWriteFailureNotice =
    "The trace cannot be written to standard output (%s): its lines are lost.\n";

}  // namespace

// The lines waiting to be written and the thread that writes them. Every field but the thread
// handle, the fixed settings and the writer's own flag is guarded by LogLock.
class TLogBatch {
 public:
  explicit TLogBatch(bool terminal)
      : interval_(terminal ? std::chrono::milliseconds(0) : TBatchedConsoleLog::kBatchInterval),
        waitForWrite_(terminal),
        writer_([this] { WriteBatches(); }) {}

  ~TLogBatch() { StopWriter(); }

  // Ends the writer thread once it has written every batch; the caller does not hold LogLock.
  void StopWriter() EXCLUDES(LogLock()) {
    if (!writer_.joinable()) return;
    {
      const TMutexLock guard(LogLock());
      stopping_ = true;
    }
    linesWaiting_.notify_one();
    lineWritten_.notify_all();
    writer_.join();
  }

  TLogBatch(const TLogBatch&) = delete;
  TLogBatch& operator=(const TLogBatch&) = delete;

  // Takes one line, or counts it as dropped when too much waits already; the caller holds
  // LogLock through guard.
  void Append(std::string_view text, TMutexLock& guard) REQUIRES(LogLock()) {
    if (waiting_.size() + text.size() >= TBatchedConsoleLog::kMaxHeldBytes) {
      ++dropped_;
      return;
    }
    const bool wasEmpty = waiting_.empty();
    waiting_.append(text);
    waiting_.push_back('\n');
    const uint64_t mine = ++queued_;
    if (wasEmpty || waiting_.size() >= TBatchedConsoleLog::kMaxWaitingBytes) {
      linesWaiting_.notify_one();
    }
    if (waitForWrite_ && !OutputStalled()) {
      const auto deadline = std::chrono::steady_clock::now() + TBatchedConsoleLog::kTerminalWait;
      while (written_ < mine && !stopping_ && guard.WaitUntil(lineWritten_, deadline)) {
      }
    }
  }

  // Writes what no batch took any more.
  void WriteRest() REQUIRES(LogLock()) {
    TakeDropCount();
    if (!waiting_.empty()) WriteToStandardOutput(std::exchange(waiting_, std::string()));
  }

 private:
  // True while a write has been under way for longer than a logging thread would wait for it.
  bool OutputStalled() const REQUIRES(LogLock()) {
    return writeStarted_ &&
           std::chrono::steady_clock::now() - *writeStarted_ > TBatchedConsoleLog::kTerminalWait;
  }

  // Adds the line that counts the dropped lines, behind the lines logged before them.
  void TakeDropCount() REQUIRES(LogLock()) {
    if (dropped_ == 0) return;
    std::array<char, kFormatBufferSize> notice;
    const int length = std::snprintf(notice.data(), notice.size(), kDroppedLinesNotice,
                                     static_cast<unsigned long long>(std::exchange(dropped_, 0)));
    waiting_.append(notice.data(), static_cast<std::size_t>(std::max(length, 0)));
    waiting_.push_back('\n');
  }

  // The writer thread: once a line waits, gives more lines the batch interval to join it, then
  // writes them all with one call; ends when the owner stops it and nothing waits any more.
  void WriteBatches() EXCLUDES(LogLock()) {
    TMutexLock guard(LogLock());
    std::string batch;
    for (;;) {
      while (!stopping_ && waiting_.empty() && dropped_ == 0) {
        guard.Wait(linesWaiting_);
      }
      if (waiting_.empty() && dropped_ == 0) return;
      if (interval_.count() > 0) {
        const auto deadline = std::chrono::steady_clock::now() + interval_;
        while (!stopping_ && waiting_.size() < TBatchedConsoleLog::kMaxWaitingBytes &&
               guard.WaitUntil(linesWaiting_, deadline)) {
        }
      }
      TakeDropCount();
      batch.swap(waiting_);
      const uint64_t taken = queued_;
      writeStarted_ = std::chrono::steady_clock::now();
      guard.Unlock();
      const int error = WriteToStandardOutput(batch);
      batch.clear();
      if (error != 0) SayFailureOnce(error);
      guard.Lock();
      writeStarted_.reset();
      written_ = taken;
      lineWritten_.notify_all();
    }
  }

  // Lines that cannot be written are lost; the operator hears of it once, on standard error.
  void SayFailureOnce(int error) {
    if (std::exchange(failureSaid_, true)) return;
    std::fprintf(stderr, kWriteFailureNotice, std::strerror(error));
  }

  const std::chrono::milliseconds interval_;
  const bool waitForWrite_;
  std::string waiting_ GUARDED_BY(LogLock());
  uint64_t queued_ GUARDED_BY(LogLock()) = 0;   // lines taken so far
  uint64_t written_ GUARDED_BY(LogLock()) = 0;  // lines out of the writer's hands so far
  uint64_t dropped_ GUARDED_BY(LogLock()) = 0;  // lines dropped since the last count was written
  bool failureSaid_ = false;                    // the writer thread's own
  // While a write runs: when it started.
  std::optional<std::chrono::steady_clock::time_point> writeStarted_ GUARDED_BY(LogLock());
  bool stopping_ GUARDED_BY(LogLock()) = false;
  std::condition_variable linesWaiting_;
  std::condition_variable lineWritten_;
  std::thread writer_;  // last: starts once every other field is ready
};

TBatchedConsoleLog::TBatchedConsoleLog() : batching_(!StandardOutputIsTerminal()) {
  batch_ = std::make_unique<TLogBatch>(!batching_);
  const TMutexLock guard(LogLock());
  g_activeBatch = batch_.get();
}

// Lines logged after the writer thread ended follow its last batch here, under the lock, before
// any line can go out directly.
TBatchedConsoleLog::~TBatchedConsoleLog() {
  batch_->StopWriter();
  const TMutexLock guard(LogLock());
  batch_->WriteRest();
  g_activeBatch = nullptr;
}

void ConsoleLog(std::string_view text) {
  TMutexLock guard(LogLock());
  if (g_activeBatch != nullptr) {
    g_activeBatch->Append(text, guard);
    return;
  }
  std::string line(text);
  line += '\n';
  if (const int error = WriteToStandardOutput(line); error != 0) RaiseWriteError(error);
}

void ConsoleLogFmt(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  std::array<char, kFormatBufferSize> buffer;
  const int length = std::vsnprintf(buffer.data(), buffer.size(), format, args);
  va_end(args);
  if (length < 0) {
    va_end(again);
    ConsoleLog("");
    return;
  }
  if (static_cast<std::size_t>(length) < buffer.size()) {
    va_end(again);
    ConsoleLog(std::string_view(buffer.data(), static_cast<std::size_t>(length)));
    return;
  }
  std::string text(static_cast<std::size_t>(length), '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  ConsoleLog(text);
}

}  // namespace webtessl
