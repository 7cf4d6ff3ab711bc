#pragma once

#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

namespace webtessl::testing_tessel {

// A running tessel program, started with the calling process's environment (so set
// WEBTESSL_DESKTOP and XDG_CONFIG_HOME first); what it writes to standard error is in Errors().
class TTesselProcess : public testing_support::TChildProcess {
 public:
  explicit TTesselProcess(const std::vector<std::string>& options = {"-tray"})
      : TChildProcess(Arguments(options), testing_support::TChildSettings::ErrorsOnly()) {}

 private:
  static std::vector<std::string> Arguments(const std::vector<std::string>& options) {
    std::vector<std::string> arguments{WEBTESSL_TESSEL};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return arguments;
  }
};

}  // namespace webtessl::testing_tessel
