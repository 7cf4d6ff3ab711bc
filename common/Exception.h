#pragma once

#include <stdexcept>
#include <string>

namespace webtessl {

// The one base of every error this program raises. It carries the class name that the main
// sequence prints in front of the message ("EInOutError: ..."), so each error class names itself
// once, in its constructor. Thread-safe because immutable.
class Exception : public std::runtime_error {
 public:
  Exception(std::string className, const std::string& message)
      : std::runtime_error(message), className_(std::move(className)) {}

  const std::string& ClassName() const noexcept { return className_; }
  std::string Message() const { return what(); }

 private:
  std::string className_;
};

// Input or output on a standard stream or a file failed.
class EInOutError : public Exception {
 public:
  explicit EInOutError(const std::string& message) : Exception("EInOutError", message) {}
};

}  // namespace webtessl
