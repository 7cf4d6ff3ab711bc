#include "app/CommandLine.h"

#include <algorithm>
#include <cctype>

namespace webtessl {
namespace {

constexpr char kConfigOption[] = "-config";

// The information options, as they read after lower-casing.
std::optional<TInformation> InformationOption(const std::string& argument) {
  if (argument == "--help" || argument == "-h") return TInformation::kHelp;
  if (argument == "--version") return TInformation::kVersion;
  return std::nullopt;
}

std::string LowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

TCommandLine::TCommandLine(int argc, const char* const* argv) {
  for (int i = 0; i < argc; ++i) {
    given_.emplace_back(argv[i]);
    arguments_.push_back(LowerCase(argv[i]));
  }
}

std::optional<size_t> TCommandLine::ConfigPathPosition() const {
  const auto option = std::find(arguments_.begin(), arguments_.end(), kConfigOption);
  const size_t position = static_cast<size_t>(option - arguments_.begin());
  if (position == 0 || position + 1 >= arguments_.size()) return std::nullopt;
  return position + 1;
}

std::optional<std::string> TCommandLine::ConfigPath() const {
  // File names here tell upper from lower case, so the path keeps the case it was given in.
  if (const std::optional<size_t> position = ConfigPathPosition()) return given_[*position];
  return std::nullopt;
}

std::optional<TInformation> TCommandLine::InformationAsked() const {
  const std::optional<size_t> pathPosition = ConfigPathPosition();
  for (size_t position = 1; position < arguments_.size(); ++position) {
    if (position == pathPosition) continue;  // a file may well be named "--help"
    if (const std::optional<TInformation> asked = InformationOption(arguments_[position]))
      return asked;
  }
  return std::nullopt;
}

}  // namespace webtessl
