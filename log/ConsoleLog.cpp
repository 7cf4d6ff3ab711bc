#include "log/ConsoleLog.h"

#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
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
TMutex g_logLock;

// The active batch, if any.
TLogBatch* g_activeBatch GUARDED_BY(g_logLock) = nullptr;

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

}  // namespace

// The lines waiting to be written and the thread that writes them. Every field is guarded by
// g_logLock, except the condition variables and the thread handle, which only the owner touches.
class TLogBatch {
 public:
  TLogBatch() : writer_([this] { WriteBatches(); }) {}

  ~TLogBatch() { StopWriter(); }

  // Ends the writer thread once it has written every batch.
  void StopWriter() EXCLUDES(g_logLock) {
    if (!writer_.joinable()) return;
    {
      const TMutexLock guard(g_logLock);
      stopping_ = true;
    }
    linesWaiting_.notify_one();
    roomMade_.notify_all();
    writer_.join();
  }

  TLogBatch(const TLogBatch&) = delete;
  TLogBatch& operator=(const TLogBatch&) = delete;

  // Takes one line; the caller holds g_logLock through guard.
  void Append(std::string_view text, TMutexLock& guard) REQUIRES(g_logLock) {
    if (failure_ != 0) RaiseWriteError(std::exchange(failure_, 0));
    const bool wasEmpty = waiting_.empty();
    waiting_.append(text);
    waiting_.push_back('\n');
    if (wasEmpty || waiting_.size() >= TBatchedConsoleLog::kMaxWaitingBytes) {
      linesWaiting_.notify_one();
    }
    while (waiting_.size() >= TBatchedConsoleLog::kMaxWaitingBytes && !stopping_) {
      guard.Wait(roomMade_);
    }
  }

  // Writes what no batch took any more.
  void WriteRest() REQUIRES(g_logLock) {
    if (!waiting_.empty()) WriteToStandardOutput(std::exchange(waiting_, std::string()));
  }

 private:
  // The writer thread: once a line waits, gives more lines the batch interval to join it, then
  // writes them all with one call; ends when the owner stops it and nothing waits any more.
  void WriteBatches() EXCLUDES(g_logLock) {
    TMutexLock guard(g_logLock);
    std::string batch;
    for (;;) {
      while (!stopping_ && waiting_.empty()) guard.Wait(linesWaiting_);
      if (waiting_.empty()) return;
      const auto deadline = std::chrono::steady_clock::now() + TBatchedConsoleLog::kBatchInterval;
      while (!stopping_ && waiting_.size() < TBatchedConsoleLog::kMaxWaitingBytes) {
        if (!guard.WaitUntil(linesWaiting_, deadline)) break;
      }
      batch.swap(waiting_);
      roomMade_.notify_all();
      guard.Unlock();
      const int error = WriteToStandardOutput(batch);
      batch.clear();
      guard.Lock();
      if (error != 0) failure_ = error;
    }
  }

  std::string waiting_ GUARDED_BY(g_logLock);
  int failure_ GUARDED_BY(g_logLock) = 0;  // the error number of a batch that could not be written
  bool stopping_ GUARDED_BY(g_logLock) = false;
  std::condition_variable linesWaiting_;
  std::condition_variable roomMade_;
  std::thread writer_;  // last: starts once every other field is ready
};

TBatchedConsoleLog::TBatchedConsoleLog() {
  if (StandardOutputIsTerminal()) return;
  batch_ = std::make_unique<TLogBatch>();
  const TMutexLock guard(g_logLock);
  g_activeBatch = batch_.get();
}

// Lines logged after the writer thread ended follow its last batch here, under the lock, before
// any line can go out directly.
TBatchedConsoleLog::~TBatchedConsoleLog() {
  if (!batch_) return;
  batch_->StopWriter();
  const TMutexLock guard(g_logLock);
  batch_->WriteRest();
  g_activeBatch = nullptr;
}

void ConsoleLog(std::string_view text) {
  TMutexLock guard(g_logLock);
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
