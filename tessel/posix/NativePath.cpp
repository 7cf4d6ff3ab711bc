#include "tessel/NativePath.h"

#include <cstdlib>

namespace webtessl {

std::string FromNativePath(std::string_view path) {
  return std::string(path);
}

std::string ToNativePath(std::string_view path) {
  return std::string(path);
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  return home != nullptr ? home : "/";
}

}  // namespace webtessl
