#include "tessel/CaseFold.h"

#include <cstdint>

namespace webtessl {
namespace {

// One decoded character: its code point and its length in bytes. A byte that does not start a
// valid sequence decodes as itself with length 1 and `valid` false.
struct TDecoded {
  char32_t code = 0;
  size_t length = 1;
  bool valid = false;
};

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

TDecoded Decode(std::string_view text, size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) return {lead, 1, true};
  size_t length = 0;
  char32_t code = 0;
  char32_t smallest = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1F, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0F, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07, smallest = 0x10000;
  } else {
    return {lead, 1, false};
  }
  if (pos + length > text.size()) return {lead, 1, false};
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + i]);
    if (!IsContinuation(next)) return {lead, 1, false};
    code = (code << 6) | (next & 0x3F);
  }
  if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
    return {lead, 1, false};
  return {code, length, true};
}

void AppendUtf8(char32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool InRange(char32_t code, char32_t first, char32_t last) {
  return code >= first && code <= last;
}

// Blocks where upper and lower case alternate: the even code point is the capital.
char32_t FoldAlternating(char32_t code) {
  return (code % 2 == 0) ? code + 1 : code;
}
// Blocks where the odd code point is the capital.
char32_t FoldAlternatingOdd(char32_t code) {
  return (code % 2 == 1) ? code + 1 : code;
}

char32_t FoldLatin(char32_t code) {
  if (InRange(code, 'A', 'Z')) return code + 0x20;
  if (code == 0xB5) return 0x3BC;  // micro sign folds to Greek mu
  if (InRange(code, 0xC0, 0xDE) && code != 0xD7) return code + 0x20;
  if (InRange(code, 0x100, 0x12F) || InRange(code, 0x132, 0x137) || InRange(code, 0x14A, 0x177))
    return FoldAlternating(code);
  if (InRange(code, 0x139, 0x148) || InRange(code, 0x179, 0x17E)) return FoldAlternatingOdd(code);
  if (code == 0x178) return 0xFF;
  if (code == 0x17F) return 's';
  if (InRange(code, 0x1E00, 0x1E95) || InRange(code, 0x1EA0, 0x1EFF)) return FoldAlternating(code);
  return code;
}

char32_t FoldGreek(char32_t code) {
  if (InRange(code, 0x391, 0x3AB) && code != 0x3A2) return code + 0x20;
  if (code == 0x386) return 0x3AC;
  if (InRange(code, 0x388, 0x38A)) return code + 0x25;
  if (code == 0x38C) return 0x3CC;
  if (InRange(code, 0x38E, 0x38F)) return code + 0x3F;
  if (code == 0x3C2) return 0x3C3;  // final sigma
  return code;
}

char32_t FoldCyrillic(char32_t code) {
  if (InRange(code, 0x400, 0x40F)) return code + 0x50;
  if (InRange(code, 0x410, 0x42F)) return code + 0x20;
  if (InRange(code, 0x460, 0x481) || InRange(code, 0x48A, 0x4BF) || InRange(code, 0x4D0, 0x52F))
    return FoldAlternating(code);
  if (code == 0x4C0) return 0x4CF;
  if (InRange(code, 0x4C1, 0x4CE)) return FoldAlternatingOdd(code);
  return code;
}

char32_t Fold(char32_t code) {
  if (code < 0x370 || InRange(code, 0x1E00, 0x1EFF)) return FoldLatin(code);
  if (code < 0x400) return FoldGreek(code);
  if (code < 0x530) return FoldCyrillic(code);
  return code;
}

bool IsWordCode(char32_t code) {
  if (code < 0x80) {
    return InRange(code, '0', '9') || InRange(code, 'A', 'Z') || InRange(code, 'a', 'z');
  }
  if (code < 0xC0) return code == 0xAA || code == 0xB5 || code == 0xBA;
  if (code == 0xD7 || code == 0xF7) return false;
  // General punctuation, and the CJK symbols and punctuation block.
  if (InRange(code, 0x2000, 0x206F) || InRange(code, 0x3000, 0x303F)) return false;
  return true;
}

}  // namespace

void AppendFolded(std::string_view text, std::string& out) {
  size_t pos = 0;
  while (pos < text.size()) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte < 0x80) {  // the common case, kept short
      out += static_cast<char>(byte >= 'A' && byte <= 'Z' ? byte + 0x20 : byte);
      ++pos;
      continue;
    }
    const TDecoded decoded = Decode(text, pos);
    if (decoded.valid) {
      AppendUtf8(Fold(decoded.code), out);
    } else {
      out += text[pos];
    }
    pos += decoded.length;
  }
}

std::string FoldCase(std::string_view text) {
  std::string folded;
  folded.reserve(text.size());
  AppendFolded(text, folded);
  return folded;
}

bool IsWordCharAt(std::string_view text, size_t pos) {
  const TDecoded decoded = Decode(text, pos);
  return !decoded.valid || IsWordCode(decoded.code);
}

bool IsWordCharBefore(std::string_view text, size_t end) {
  size_t start = end - 1;
  // Step back over at most three continuation bytes to the start of the character.
  for (int i = 0; i < 3 && start > 0 && IsContinuation(static_cast<unsigned char>(text[start]));
       ++i)
    --start;
  const TDecoded decoded = Decode(text, start);
  if (!decoded.valid || start + decoded.length != end) return true;
  return IsWordCode(decoded.code);
}

size_t Utf8SequenceLength(std::string_view text, size_t pos) {
  return Decode(text, pos).length;
}

}  // namespace webtessl
