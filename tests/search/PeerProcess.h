#pragma once

#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

namespace webtessl::testing_peer {

// A running tessel_test_peer whose standard output the test reads line by line (NextLine).
class TPeerProcess : public testing_support::TChildProcess {
 public:
  explicit TPeerProcess(const std::vector<std::string>& options) : TChildProcess(Arguments(options)) {}

  // True once the peer's window is up.
  bool AwaitReady() { return NextLine().starts_with("ready "); }

 private:
  static std::vector<std::string> Arguments(const std::vector<std::string>& options) {
    std::vector<std::string> arguments{WEBTESSL_TEST_PEER};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return arguments;
  }
};

}  // namespace webtessl::testing_peer
