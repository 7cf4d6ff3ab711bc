#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace webtessl {

// The writer's growing buffer, of UTF-16 characters or, for a text known to be pure ASCII
// (escaped JSON), of one byte per character.
// UTF-16 text starts with room for 32 characters and doubles its room as needed, but keeps what it
// has written in chunks instead of moving it into each larger room, so a long text is copied only
// once: into the one string that MoveTo fills at the end. Chunks stop doubling at a size the
// allocator can reuse from call to call.
// Bytes go into one string that doubles its room up to the largest chunk, and then into further
// chunks of that size, so that a text of up to a chunk (an answer's escaped JSON is a few
// kilobytes) is handed over as bytes without a copy or a conversion of it, and a longer one is
// copied only once.
// Not thread-safe.
class TSuperWriterString final {
 public:
  enum class TCharacters { Utf16, Ascii };

  explicit TSuperWriterString(TCharacters characters = TCharacters::Utf16);
  TSuperWriterString(const TSuperWriterString&) = delete;
  TSuperWriterString& operator=(const TSuperWriterString&) = delete;

  void Put(char16_t c) {
    if (ascii_) {
      if (bytes_->size() == bytes_->capacity()) AddByteRoom();
      bytes_->push_back(static_cast<char>(c));
      return;
    }
    if (current_->size() == room_) AddChunk();
    current_->push_back(c);
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
  static constexpr size_t kInitialRoom = 32;
  static constexpr size_t kLargestRoom = 32768;
  static constexpr size_t kInitialBytes = 256;
  static constexpr size_t kLargestBytes = 65536;

  void AddChunk();
  void AddByteRoom();  // doubles the byte chunk up to kLargestBytes, then starts another
  void PutBytes(std::string_view bytes);
  size_t Length() const;  // characters written
  void Clear();

  const bool ascii_;                    // the characters are kept as bytes
  std::vector<std::string> byteChunks_;  // the text when ascii_, all but the last full
  std::string* bytes_;                   // the last byte chunk, the one being filled
  std::vector<std::u16string> chunks_;   // the text otherwise
  std::u16string* current_;  // the last chunk, the one being filled
  size_t room_;              // the room of the last chunk
};

}  // namespace webtessl
