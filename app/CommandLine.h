#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/ProgramInfo.h"

namespace webtessl {

// The program's command line. Thread-safe because immutable.
class TCommandLine final {
 public:
  TCommandLine(int argc, const char* const* argv);

  // Every argument lower-cased, the program path at position 0.
  const std::vector<std::string>& Arguments() const { return arguments_; }

  // The path after the first "-config" (matched without regard to case) at position 1 or later,
  // in the case it was given in; nothing when there is no such option or nothing follows it.
  std::optional<std::string> ConfigPath() const;

  // True when the option (lower case) stands at position 1 or later, in any letter case.
  bool HasOption(std::string_view option) const;

  // Help or the version when "--help" ("-h") or "--version" is given anywhere after the program
  // path, other than as the path of "-config"; the first one given decides.
  std::optional<TInformation> InformationAsked() const;

 private:
  // Where the path of the first "-config" stands, when one follows it.
  std::optional<size_t> ConfigPathPosition() const;

  std::vector<std::string> given_;
  std::vector<std::string> arguments_;
};

}  // namespace webtessl
