#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace webtessl {

// The writer's growing buffer: one string that starts with room for kInitialRoom characters and
// doubles its room as needed. It holds UTF-16 characters, or, for a text known to be pure ASCII
// (escaped JSON), one byte per character, so that such a text is handed over as bytes without a
// copy or a conversion of it. Not thread-safe.
class TSuperWriterString final {
 public:
  enum class TCharacters { Utf16, Ascii };

  explicit TSuperWriterString(TCharacters characters = TCharacters::Utf16);
  TSuperWriterString(const TSuperWriterString&) = delete;
  TSuperWriterString& operator=(const TSuperWriterString&) = delete;

  void Put(char16_t c) {
    if (ascii_) {
      bytes_ += static_cast<char>(c);
    } else {
      wide_ += c;
    }
  }
  void Put(std::u16string_view text);
  void PutAscii(std::string_view text);  // each byte widened to one character
  void PutRepeated(size_t count, char16_t c);
  // Appends everything written to the target and leaves the buffer empty.
  void MoveTo(std::u16string& target);
  // MoveTo for text of ASCII characters only: each character becomes its one byte (what lies
  // beyond ASCII keeps only its low byte, so the caller makes sure there is none). An empty target
  // takes the buffer's own bytes when it holds bytes.
  void MoveAsciiTo(std::string& target);

 private:
  static constexpr size_t kInitialRoom = 256;

  const bool ascii_;     // the characters are kept as bytes
  std::string bytes_;    // the text when ascii_
  std::u16string wide_;  // the text otherwise
};

}  // namespace webtessl
