#include "files/HtmlText.h"

#include <array>
#include <string_view>

#include "common/HtmlEscape.h"

namespace webtessl {
namespace {

constexpr std::string_view kPathSafe =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~!$&'()*+,;=:@/";
constexpr std::array<char, 16> kHexDigits = {'0', '1', '2', '3', '4', '5', '6', '7',
                                             '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};

}  // namespace

std::string EscapeHtml(std::string_view text) {
  return EscapeHtmlText(text);
}

std::string EncodeUrlPath(std::string_view path) {
  std::string result;
  result.reserve(path.size());
  for (const char c : path) {
    if (kPathSafe.find(c) != std::string_view::npos) {
      result += c;
      continue;
    }
    const auto byte = static_cast<unsigned char>(c);
    result += '%';
    result += kHexDigits[byte >> 4];
    result += kHexDigits[byte & 0x0F];
  }
  return result;
}

}  // namespace webtessl
