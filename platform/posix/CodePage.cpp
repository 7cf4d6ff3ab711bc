#include "platform/CodePage.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <string>

namespace webtessl {
namespace {

constexpr char16_t kReplacementChar = 0xFFFD;
constexpr int kUtf8MaxCharSize = 4;
constexpr int kSingleByteCharSize = 1;

// The characters of Windows-1252 bytes 0x80 to 0x9F; the five bytes without a character of their
// own map to the control character of the same number, so that every byte survives a round trip.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
constexpr unsigned kWindows1252HighFirst = 0x80;
constexpr unsigned kWindows1252HighLast = 0x9F;

// Character-set names of locales whose text is Latin-1 and is therefore read as Windows-1252.
constexpr std::array<std::string_view, 6> kLatin1CharsetNames = {
    "iso88591", "iso885915", "latin1", "cp1252", "windows1252", "latin9"};

// The character set named by a locale such as "de_DE.ISO-8859-1@euro", lower-cased and without
// punctuation ("iso88591").
std::string CharsetOfLocale(std::string_view locale) {
  const size_t dot = locale.find('.');
  if (dot == std::string_view::npos) return {};
  std::string_view charset = locale.substr(dot + 1);
  charset = charset.substr(0, charset.find('@'));
  std::string normalised;
  for (char c : charset) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      normalised += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return normalised;
}

// The user's character-type locale, by the usual order of precedence of the environment.
std::string_view UserCtypeLocale() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return {};
}

std::atomic<uint32_t>& SystemCodePageSetting() {
  static std::atomic<uint32_t> codePage{CodePageOfLocale(UserCtypeLocale())};
  return codePage;
}

uint32_t Resolve(uint32_t codePage) {
  return codePage == kCodePageSystem ? SystemCodePage() : codePage;
}

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

bool IsHighSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// Writes the UTF-16 form of c at out and returns the position after it.
char16_t* PutUtf16(char16_t* out, char32_t c) {
  if (c < 0x10000) {
    *out++ = static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    *out++ = static_cast<char16_t>(0xD800 + (c >> 10));
    *out++ = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
  return out;
}

// Decodes one strict UTF-8 character at bytes[pos] and advances pos; an invalid or cut-off
// sequence gives U+FFFD and advances past its valid prefix.
char32_t DecodeOneUtf8(std::string_view bytes, size_t& pos) {
  const auto lead = static_cast<unsigned char>(bytes[pos++]);
  if (lead < 0x80) return lead;
  int length = 0;
  char32_t c = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, c = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, c = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, c = lead & 0x07, minimum = 0x10000;
  } else {
    return kReplacementChar;
  }
  for (int i = 1; i < length; ++i) {
    if (pos >= bytes.size() || !IsContinuation(static_cast<unsigned char>(bytes[pos]))) {
      return kReplacementChar;
    }
    c = (c << 6) | (static_cast<unsigned char>(bytes[pos++]) & 0x3F);
  }
  const bool valid = c >= minimum && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
  return valid ? c : kReplacementChar;
}

// Writes the UTF-8 form of c at out and returns the position after it.
char* PutUtf8(char* out, char32_t c) {
  if (c < 0x80) {
    *out++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *out++ = static_cast<char>(0xC0 | (c >> 6));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (c >> 12));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (c >> 18));
    *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

// Every byte gives at most one UTF-16 value: a four-byte form gives two.
std::u16string Utf8ToWide(std::string_view bytes) {
  std::u16string text(bytes.size(), u'\0');
  char16_t* out = text.data();
  size_t pos = 0;
  while (pos < bytes.size()) {
    const auto byte = static_cast<unsigned char>(bytes[pos]);
    if (byte < 0x80) {
      *out++ = byte;
      ++pos;
    } else {
      out = PutUtf16(out, DecodeOneUtf8(bytes, pos));
    }
  }
  text.resize(static_cast<size_t>(out - text.data()));
  return text;
}

// The codes below this take one UTF-8 byte, their own.
constexpr char32_t kFirstMultiByteCode = 0x80;
// One UTF-16 value takes at most three UTF-8 bytes (a pair takes four for two values).
constexpr size_t kMaxUtf8BytesPerUtf16Value = 3;

std::string WideToUtf8(std::u16string_view text) {
  std::string bytes(text.size() * kMaxUtf8BytesPerUtf16Value, '\0');
  char* out = bytes.data();
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c < kFirstMultiByteCode) {  // paths and names are mostly ASCII: one byte each
      *out++ = static_cast<char>(c);
      continue;
    }
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      c = kReplacementChar;
    }
    out = PutUtf8(out, c);
  }
  bytes.resize(static_cast<size_t>(out - bytes.data()));
  return bytes;
}

char16_t Windows1252ToWide(unsigned char byte) {
  if (byte >= kWindows1252HighFirst && byte <= kWindows1252HighLast) {
    return kWindows1252High[byte - kWindows1252HighFirst];
  }
  return byte;  // the other bytes are the Latin-1 characters of the same number
}

std::optional<char> WideToWindows1252(char16_t c) {
  if (c < kWindows1252HighFirst || (c > kWindows1252HighLast && c <= 0xFF)) {
    return static_cast<char>(c);
  }
  const auto found = std::find(kWindows1252High.begin(), kWindows1252High.end(), c);
  if (found == kWindows1252High.end()) return std::nullopt;
  return static_cast<char>(kWindows1252HighFirst + (found - kWindows1252High.begin()));
}

}  // namespace

uint32_t CodePageOfLocale(std::string_view localeName) {
  const std::string charset = CharsetOfLocale(localeName);
  const bool latin1 = std::find(kLatin1CharsetNames.begin(), kLatin1CharsetNames.end(), charset) !=
                      kLatin1CharsetNames.end();
  return latin1 ? kCodePageWindows1252 : kCodePageUtf8;
}

uint32_t SystemCodePage() {
  return SystemCodePageSetting().load(std::memory_order_relaxed);
}

void SetSystemCodePage(uint32_t codePage) {
  SystemCodePageSetting().store(codePage, std::memory_order_relaxed);
}

std::optional<int> CodePageMaxCharSize(uint32_t codePage) {
  switch (Resolve(codePage)) {
    case kCodePageUtf8:
      return kUtf8MaxCharSize;
    case kCodePageWindows1252:
      return kSingleByteCharSize;
    default:
      return std::nullopt;
  }
}

std::u16string MultiByteToWide(uint32_t codePage, std::string_view bytes) {
  switch (Resolve(codePage)) {
    case kCodePageUtf8:
      return Utf8ToWide(bytes);
    case kCodePageWindows1252: {
      std::u16string text(bytes.size(), u'\0');
      std::transform(bytes.begin(), bytes.end(), text.begin(),
                     [](char b) { return Windows1252ToWide(static_cast<unsigned char>(b)); });
      return text;
    }
    default:
      return {};
  }
}

std::string WideToMultiByte(uint32_t codePage, std::u16string_view text, char defaultChar) {
  switch (Resolve(codePage)) {
    case kCodePageUtf8:
      return WideToUtf8(text);
    case kCodePageWindows1252: {
      std::string bytes(text.size(), '\0');
      std::transform(text.begin(), text.end(), bytes.begin(), [defaultChar](char16_t c) {
        return WideToWindows1252(c).value_or(defaultChar);
      });
      return bytes;
    }
    default:
      return {};
  }
}

}  // namespace webtessl
