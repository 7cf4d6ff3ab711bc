#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace webtessl::testing_support {

// Sets an environment variable (or removes it, for nothing) for one test and restores it when
// the object goes. Not thread-safe: the environment is the process's.
class EnvironmentScope {
 public:
  EnvironmentScope(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    Apply(value);
  }
  ~EnvironmentScope() { Apply(previous_); }
  EnvironmentScope(const EnvironmentScope&) = delete;
  EnvironmentScope& operator=(const EnvironmentScope&) = delete;

  // Sets another value; the one before the scope is still what comes back.
  void Set(const std::optional<std::string>& value) const { Apply(value); }

 private:
  // Windows has no setenv: _putenv_s sets the variable for the system's calls too, and an empty
  // value removes it.
  void Apply(const std::optional<std::string>& value) const {
#ifdef _WIN32
    ::_putenv_s(name_, value ? value->c_str() : "");
#else
    if (value) {
      ::setenv(name_, value->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
#endif
  }
  const char* name_;
  std::optional<std::string> previous_;
};

}  // namespace webtessl::testing_support
