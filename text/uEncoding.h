#pragma once

// Module uEncoding: the encoding classes with their shared default encoding, and the conversions
// between system-code-page text, UTF-16 and UTF-8.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/Exception.h"

namespace webtessl {

// A ranged GetBytes or GetString call was given arguments outside its source or destination.
class EEncodingError : public Exception {
 public:
  explicit EEncodingError(const std::string& message) : Exception("EEncodingError", message) {}
};

// An encoding between the program's characters (system-code-page bytes) and encoded bytes. The
// seven virtual operations do the work on raw buffers; the non-virtual GetBytes and GetString
// check their ranges and raise EEncodingError. Thread-safe: an encoding is immutable once built.
class TEncoding {
 public:
  virtual ~TEncoding() = default;
  TEncoding(const TEncoding&) = delete;
  TEncoding& operator=(const TEncoding&) = delete;

  // The shared encoding of the system code page, created on first use and kept for the life of
  // the process. Thread-safe: every caller gets the same instance.
  static TEncoding& Default();

  // Bytes needed for charCount characters.
  virtual int32_t GetByteCount(const char* chars, int32_t charCount) const = 0;
  // Encodes charCount characters into at most byteCapacity bytes; returns the bytes written.
  virtual int32_t GetBytes(const char* chars, int32_t charCount, uint8_t* bytes,
                           int32_t byteCapacity) const = 0;
  // Characters that byteCount bytes give.
  virtual int32_t GetCharCount(const uint8_t* bytes, int32_t byteCount) const = 0;
  // Decodes byteCount bytes into at most charCapacity characters; returns the characters written.
  virtual int32_t GetChars(const uint8_t* bytes, int32_t byteCount, char* chars,
                           int32_t charCapacity) const = 0;
  // The largest byte count charCount characters can need.
  virtual int32_t GetMaxByteCount(int32_t charCount) const = 0;
  // The largest character count byteCount bytes can give.
  virtual int32_t GetMaxCharCount(int32_t byteCount) const = 0;
  // The byte-order mark to write in front of encoded text.
  virtual std::vector<uint8_t> GetPreamble() const = 0;

  // The bytes of the whole text; empty text gives no bytes.
  std::vector<uint8_t> GetBytes(std::string_view text) const;
  // The bytes of charCount characters from the 1-based charIndex.
  std::vector<uint8_t> GetBytes(std::string_view text, int32_t charIndex, int32_t charCount) const;
  // Encodes charCount characters from the 1-based charIndex into bytes from the 0-based
  // byteIndex on; returns the bytes written.
  int32_t GetBytes(std::string_view text, int32_t charIndex, int32_t charCount,
                   std::vector<uint8_t>& bytes, int32_t byteIndex) const;
  // The text of all the bytes.
  std::string GetString(const std::vector<uint8_t>& bytes) const;
  // The text of byteCount bytes from the 0-based byteIndex.
  std::string GetString(const std::vector<uint8_t>& bytes, int32_t byteIndex,
                        int32_t byteCount) const;

  // True when every character takes one byte.
  bool IsSingleByte() const { return isSingleByte_; }
  int32_t MaxCharSize() const { return maxCharSize_; }

 protected:
  TEncoding(bool isSingleByte, int32_t maxCharSize)
      : isSingleByte_(isSingleByte), maxCharSize_(maxCharSize) {}

 private:
  std::vector<uint8_t> EncodeRange(const char* chars, int32_t charCount) const;
  std::string DecodeRange(const uint8_t* bytes, int32_t byteCount) const;

  const bool isSingleByte_;
  const int32_t maxCharSize_;
};

// The encoding of one code page. The program's characters already are system-code-page bytes,
// so its operations pass bytes through unchanged. Thread-safe because immutable.
class TMBCSEncoding final : public TEncoding {
 public:
  // The system code page (code page 0), with no conversion flags.
  TMBCSEncoding();
  // Raises EEncodingError "Invalid code page" for a code page the system does not know.
  explicit TMBCSEncoding(uint32_t codePage);
  TMBCSEncoding(uint32_t codePage, uint32_t toWideFlags, uint32_t fromWideFlags);

  int32_t GetByteCount(const char* chars, int32_t charCount) const override;
  int32_t GetBytes(const char* chars, int32_t charCount, uint8_t* bytes,
                   int32_t byteCapacity) const override;
  int32_t GetCharCount(const uint8_t* bytes, int32_t byteCount) const override;
  int32_t GetChars(const uint8_t* bytes, int32_t byteCount, char* chars,
                   int32_t charCapacity) const override;
  int32_t GetMaxByteCount(int32_t charCount) const override;
  int32_t GetMaxCharCount(int32_t byteCount) const override;
  std::vector<uint8_t> GetPreamble() const override;
  using TEncoding::GetBytes;

  uint32_t CodePage() const { return codePage_; }
  uint32_t ToWideFlags() const { return toWideFlags_; }
  uint32_t FromWideFlags() const { return fromWideFlags_; }

 private:
  const uint32_t codePage_;
  const uint32_t toWideFlags_;
  const uint32_t fromWideFlags_;
};

// System-code-page text to UTF-16. Thread-safe.
std::u16string FromSystemCodePage(std::string_view text);
// UTF-16 to system-code-page text; a character the code page lacks becomes "?". Thread-safe.
std::string ToSystemCodePage(std::u16string_view text);
// UTF-8 bytes to UTF-16: one- to four-byte forms (overlong forms accepted); a cut-off sequence or
// a misplaced byte makes the whole input invalid, and invalid input gives the empty text.
// Thread-safe.
std::u16string DecodeUtf8(std::string_view bytes);
// UTF-16 to UTF-8: each value on its own in one to three bytes, except that a surrogate pair
// becomes one four-byte sequence. Thread-safe.
std::string EncodeUtf8(std::u16string_view text);

}  // namespace webtessl
