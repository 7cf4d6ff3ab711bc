#include "search/ConsoleNotice.h"

#include "log/ConsoleLog.h"

namespace webtessl {
namespace {

constexpr char kDelete = 0x7F;
constexpr char kShownControl = '?';

std::string Printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == kDelete) c = kShownControl;
  }
  return text;
}

}  // namespace

void TConsoleNotice::Say(const std::string& text) {
  const TMutexLock lock(mutex_);
  if (text == said_) return;
  said_ = text;
  ConsoleLog(Printable(text));
}

void TConsoleNotice::Clear() {
  const TMutexLock lock(mutex_);
  said_.clear();
}

}  // namespace webtessl
