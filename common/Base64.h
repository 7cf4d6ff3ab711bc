#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace webtessl {

// The bytes that base64 text (the standard alphabet, with "=" padding) stands for; nothing when
// the text is not well-formed base64. Pure and thread-safe.
std::optional<std::string> DecodeBase64(std::string_view text);

}  // namespace webtessl
