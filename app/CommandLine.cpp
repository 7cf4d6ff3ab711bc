#include "app/CommandLine.h"

#include <algorithm>
#include <cctype>

namespace webtessl {
namespace {

constexpr char kConfigOption[] = "-config";

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

std::optional<std::string> TCommandLine::ConfigPath() const {
  const auto option = std::find(arguments_.begin(), arguments_.end(), kConfigOption);
  const size_t position = static_cast<size_t>(option - arguments_.begin());
  if (position == 0 || position + 1 >= arguments_.size()) return std::nullopt;
  // File names here tell upper from lower case, so the path keeps the case it was given in.
  return given_[position + 1];
}

bool TCommandLine::HasOption(std::string_view option) const {
  return arguments_.size() > 1 &&
         std::find(arguments_.begin() + 1, arguments_.end(), option) != arguments_.end();
}

}  // namespace webtessl
