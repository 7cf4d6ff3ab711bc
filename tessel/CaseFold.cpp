#include "tessel/CaseFold.h"

#include <algorithm>
#include <cstdint>

#include "tessel/UnicodeTables.h"

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

// The simple case fold from the generated table; characters without one stay.
char32_t Fold(char32_t code) {
  const TCodeMapping* const end = kSimpleCaseFolds + kSimpleCaseFoldCount;
  const TCodeMapping* const found = std::lower_bound(
      kSimpleCaseFolds, end, code, [](const TCodeMapping& m, char32_t c) { return m.from < c; });
  return found != end && found->from == code ? found->to : code;
}

// Letters, combining marks and numbers, from the generated ranges.
bool IsWordCode(char32_t code) {
  if (code < 0x80) {
    return (code >= '0' && code <= '9') || (code >= 'A' && code <= 'Z') ||
           (code >= 'a' && code <= 'z');
  }
  const TCodeRange* const end = kWordCharacterRanges + kWordCharacterRangeCount;
  const TCodeRange* const found = std::lower_bound(
      kWordCharacterRanges, end, code, [](const TCodeRange& r, char32_t c) { return r.last < c; });
  return found != end && found->first <= code;
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
