#include "app/ConsoleLog.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "common/Exception.h"

namespace webtessl {
namespace {

std::mutex& LogLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace

void ConsoleLog(std::string_view text) {
  std::string line(text);
  line += '\n';
  const std::lock_guard<std::mutex> guard(LogLock());
  const bool written = std::fwrite(line.data(), 1, line.size(), stdout) == line.size();
  if (!written || std::fflush(stdout) != 0) {
    const int error = errno;
    std::clearerr(stdout);
    throw EInOutError(std::strerror(error));
  }
}

void ConsoleLogFmt(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) {
    std::vsnprintf(text.data(), text.size() + 1, format, args);
  }
  va_end(args);
  ConsoleLog(text);
}

}  // namespace webtessl
