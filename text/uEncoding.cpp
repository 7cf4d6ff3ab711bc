#include "text/uEncoding.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <memory>

#include "platform/CodePage.h"

namespace webtessl {
namespace {

constexpr char kInvalidCodePage[] = "Invalid code page";
constexpr char kInvalidSourceArray[] = "Invalid source array";
constexpr char kCharIndexOutOfBounds[] = "Character index out of bounds (%d)";
constexpr char kStartIndexOutOfBounds[] = "Start index out of bounds (%d)";
constexpr char kInvalidCount[] = "Invalid count (%d)";
constexpr char kInvalidDestinationIndex[] = "Invalid destination index (%d)";
constexpr char kInvalidDestinationArray[] = "Invalid destination array";

constexpr char kDefaultChar = '?';

// A message of the table above with its "%d" filled in.
std::string WithNumber(std::string_view format, int64_t number) {
  std::string message(format);
  message.replace(message.find("%d"), 2, std::to_string(number));
  return message;
}

// Checks charCount characters from the 1-based charIndex against a text of length characters.
void CheckCharRange(size_t length, int32_t charIndex, int32_t charCount) {
  if (length == 0 && charCount != 0) throw EEncodingError(kInvalidSourceArray);
  if (charIndex < 1 || static_cast<size_t>(charIndex) > length + 1) {
    throw EEncodingError(WithNumber(kCharIndexOutOfBounds, charIndex));
  }
  if (charCount < 0 || static_cast<size_t>(charIndex - 1) + charCount > length) {
    throw EEncodingError(WithNumber(kInvalidCount, charCount));
  }
}

// Checks byteCount bytes from the 0-based byteIndex against an array of size bytes.
void CheckByteRange(size_t size, int32_t byteIndex, int32_t byteCount) {
  if (size == 0 && byteCount != 0) throw EEncodingError(kInvalidSourceArray);
  if (byteIndex < 0 || static_cast<size_t>(byteIndex) > size) {
    throw EEncodingError(WithNumber(kStartIndexOutOfBounds, byteIndex));
  }
  if (byteCount < 0 || static_cast<size_t>(byteIndex) + byteCount > size) {
    throw EEncodingError(WithNumber(kInvalidCount, byteCount));
  }
}

// Asks the system for the code page's largest character size; unknown code pages fail.
int32_t MaxCharSizeOf(uint32_t codePage) {
  const std::optional<int> size = CodePageMaxCharSize(codePage);
  if (!size) throw EEncodingError(kInvalidCodePage);
  return *size;
}

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
}

void AppendByte(std::string& out, unsigned value) {
  out += static_cast<char>(value);
}

constexpr char32_t kMaxCodePoint = 0x10FFFF;

// How many continuation bytes follow a lead byte with its top bit set, and the lead's payload.
struct Utf8Lead {
  int continuations;
  char32_t payload;
};

Utf8Lead ReadLead(unsigned char lead) {
  if ((lead & 0xF8) == 0xF0) return {3, lead & 0x07u};
  if ((lead & 0x20) != 0) return {2, lead & 0x0Fu};
  return {1, lead & 0x1Fu};
}

}  // namespace

TEncoding& TEncoding::Default() {
  static std::atomic<TEncoding*> shared{nullptr};
  TEncoding* current = shared.load(std::memory_order_acquire);
  if (current != nullptr) return *current;
  auto candidate = std::make_unique<TMBCSEncoding>();
  if (shared.compare_exchange_strong(current, candidate.get(), std::memory_order_acq_rel,
                                     std::memory_order_acquire)) {
    return *candidate.release();  // published: it lives as long as the process
  }
  return *current;  // another thread published first; the candidate is freed here
}

std::vector<uint8_t> TEncoding::EncodeRange(const char* chars, int32_t charCount) const {
  std::vector<uint8_t> bytes(static_cast<size_t>(GetByteCount(chars, charCount)));
  if (!bytes.empty()) {
    bytes.resize(static_cast<size_t>(
        GetBytes(chars, charCount, bytes.data(), static_cast<int32_t>(bytes.size()))));
  }
  return bytes;
}

std::string TEncoding::DecodeRange(const uint8_t* bytes, int32_t byteCount) const {
  std::string text(static_cast<size_t>(GetCharCount(bytes, byteCount)), '\0');
  if (!text.empty()) {
    text.resize(static_cast<size_t>(
        GetChars(bytes, byteCount, text.data(), static_cast<int32_t>(text.size()))));
  }
  return text;
}

std::vector<uint8_t> TEncoding::GetBytes(std::string_view text) const {
  return EncodeRange(text.data(), static_cast<int32_t>(text.size()));
}

std::vector<uint8_t> TEncoding::GetBytes(std::string_view text, int32_t charIndex,
                                         int32_t charCount) const {
  CheckCharRange(text.size(), charIndex, charCount);
  return EncodeRange(text.data() + (charIndex - 1), charCount);
}

int32_t TEncoding::GetBytes(std::string_view text, int32_t charIndex, int32_t charCount,
                            std::vector<uint8_t>& bytes, int32_t byteIndex) const {
  CheckCharRange(text.size(), charIndex, charCount);
  if (byteIndex < 0 || static_cast<size_t>(byteIndex) > bytes.size()) {
    throw EEncodingError(WithNumber(kInvalidDestinationIndex, byteIndex));
  }
  const char* chars = text.data() + (charIndex - 1);
  const int32_t room = static_cast<int32_t>(bytes.size()) - byteIndex;
  if (room < GetByteCount(chars, charCount)) throw EEncodingError(kInvalidDestinationArray);
  return GetBytes(chars, charCount, bytes.data() + byteIndex, room);
}

std::string TEncoding::GetString(const std::vector<uint8_t>& bytes) const {
  return DecodeRange(bytes.data(), static_cast<int32_t>(bytes.size()));
}

std::string TEncoding::GetString(const std::vector<uint8_t>& bytes, int32_t byteIndex,
                                 int32_t byteCount) const {
  CheckByteRange(bytes.size(), byteIndex, byteCount);
  return DecodeRange(bytes.data() + byteIndex, byteCount);
}

TMBCSEncoding::TMBCSEncoding() : TMBCSEncoding(kCodePageSystem, 0, 0) {}

TMBCSEncoding::TMBCSEncoding(uint32_t codePage) : TMBCSEncoding(codePage, 0, 0) {}

TMBCSEncoding::TMBCSEncoding(uint32_t codePage, uint32_t toWideFlags, uint32_t fromWideFlags)
    : TEncoding(MaxCharSizeOf(codePage) == 1, MaxCharSizeOf(codePage)),
      codePage_(codePage),
      toWideFlags_(toWideFlags),
      fromWideFlags_(fromWideFlags) {}

int32_t TMBCSEncoding::GetByteCount(const char* /*chars*/, int32_t charCount) const {
  return charCount;
}

int32_t TMBCSEncoding::GetBytes(const char* chars, int32_t charCount, uint8_t* bytes,
                                int32_t byteCapacity) const {
  const int32_t count = std::max(0, std::min(charCount, byteCapacity));
  if (count > 0) std::memcpy(bytes, chars, static_cast<size_t>(count));
  return count;
}

int32_t TMBCSEncoding::GetCharCount(const uint8_t* /*bytes*/, int32_t byteCount) const {
  return byteCount;
}

int32_t TMBCSEncoding::GetChars(const uint8_t* bytes, int32_t byteCount, char* chars,
                                int32_t charCapacity) const {
  const int32_t count = std::max(0, std::min(byteCount, charCapacity));
  if (count > 0) std::memcpy(chars, bytes, static_cast<size_t>(count));
  return count;
}

int32_t TMBCSEncoding::GetMaxByteCount(int32_t charCount) const {
  const int64_t count = (int64_t{charCount} + 1) * MaxCharSize();
  return static_cast<int32_t>(std::min<int64_t>(count, std::numeric_limits<int32_t>::max()));
}

int32_t TMBCSEncoding::GetMaxCharCount(int32_t byteCount) const {
  return byteCount;
}

std::vector<uint8_t> TMBCSEncoding::GetPreamble() const {
  return {};
}

std::u16string FromSystemCodePage(std::string_view text) {
  return MultiByteToWide(kCodePageSystem, text);
}

std::string ToSystemCodePage(std::u16string_view text) {
  return WideToMultiByte(kCodePageSystem, text, kDefaultChar);
}

std::u16string DecodeUtf8(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  size_t pos = 0;
  while (pos < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[pos++]);
    if (lead < 0x80) {
      text += static_cast<char16_t>(lead);
      continue;
    }
    auto [continuations, c] = ReadLead(lead);
    for (int i = 0; i < continuations; ++i) {
      if (pos >= bytes.size()) return {};
      const auto next = static_cast<unsigned char>(bytes[pos++]);
      if ((next & 0xC0) != 0x80) return {};
      c = (c << 6) | (next & 0x3Fu);
    }
    if (c > kMaxCodePoint) return {};
    AppendUtf16(text, c);
  }
  return text;
}

std::string EncodeUtf8(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x80) {
      AppendByte(bytes, c);
    } else if (c < 0x800) {
      AppendByte(bytes, 0xC0 | (c >> 6));
      AppendByte(bytes, 0x80 | (c & 0x3F));
    } else if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      const char32_t full = 0x10000 + ((c - 0xD800u) << 10) + (text[++i] - 0xDC00u);
      AppendByte(bytes, 0xF0 | (full >> 18));
      AppendByte(bytes, 0x80 | ((full >> 12) & 0x3F));
      AppendByte(bytes, 0x80 | ((full >> 6) & 0x3F));
      AppendByte(bytes, 0x80 | (full & 0x3F));
    } else {
      AppendByte(bytes, 0xE0 | (c >> 12));
      AppendByte(bytes, 0x80 | ((c >> 6) & 0x3F));
      AppendByte(bytes, 0x80 | (c & 0x3F));
    }
  }
  return bytes;
}

}  // namespace webtessl
