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
  void Apply(const std::optional<std::string>& value) const {
    if (value) {
      ::setenv(name_, value->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  const char* name_;
  std::optional<std::string> previous_;
};

}  // namespace webtessl::testing_support
