#include "common/Base64.h"

namespace webtessl {
namespace {

constexpr std::size_t kGroupChars = 4;
constexpr int kBitsPerChar = 6;
constexpr int kBitsPerByte = 8;

// The six bits a character stands for; -1 for a character outside the alphabet.
int SixBits(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::optional<std::string> DecodeBase64(std::string_view text) {
  if (text.size() % kGroupChars != 0) return std::nullopt;
  std::size_t padding = 0;
  while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') {
    ++padding;
  }
  const std::string_view digits = text.substr(0, text.size() - padding);
  std::string bytes;
  bytes.reserve(digits.size() * kBitsPerChar / kBitsPerByte);
  unsigned int buffer = 0;
  int bits = 0;
  for (const char c : digits) {
    const int value = SixBits(c);
    if (value < 0) return std::nullopt;
    buffer = (buffer << kBitsPerChar) | static_cast<unsigned int>(value);
    bits += kBitsPerChar;
    if (bits >= kBitsPerByte) {
      bits -= kBitsPerByte;
      bytes += static_cast<char>((buffer >> bits) & 0xFF);
    }
  }
  return bytes;
}

}  // namespace webtessl
