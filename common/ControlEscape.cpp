#include "common/ControlEscape.h"

namespace webtessl {
namespace {

constexpr unsigned char kDelete = 127;
// UTF-8 writes the codes 128 to 159 as this lead byte and a second byte of 0x80 to 0x9F.
constexpr unsigned char kC1Lead = 0xC2;
constexpr unsigned char kC1First = 0x80;
constexpr unsigned char kC1Last = 0x9F;
constexpr char kHexDigits[] = "0123456789abcdef";

void AppendEscaped(std::string& into, unsigned char byte) {
  into += "\\x";
  into += kHexDigits[byte >> 4];
  into += kHexDigits[byte & 0x0F];
}

}  // namespace

std::string EscapeControlBytes(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 32 || byte == kDelete) {
      AppendEscaped(escaped, byte);
      continue;
    }
    if (byte == kC1Lead && i + 1 < text.size()) {
      const auto next = static_cast<unsigned char>(text[i + 1]);
      if (next >= kC1First && next <= kC1Last) {
        AppendEscaped(escaped, byte);
        AppendEscaped(escaped, next);
        ++i;
        continue;
      }
    }
    escaped += text[i];
  }
  return escaped;
}

}  // namespace webtessl
