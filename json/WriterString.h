#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace webtessl {

// The writer's growing UTF-16 buffer. It starts with room for 32 characters and doubles its room
// as needed, but keeps what it has written in chunks instead of moving it into each larger room,
// so a long text is copied only once: into the one string that MoveTo fills at the end. Chunks
// stop doubling at a size the allocator can reuse from call to call. Not thread-safe.
class TSuperWriterString final {
 public:
  TSuperWriterString();
  TSuperWriterString(const TSuperWriterString&) = delete;
  TSuperWriterString& operator=(const TSuperWriterString&) = delete;

  void Put(char16_t c) {
    if (current_->size() == room_) AddChunk();
    current_->push_back(c);
  }
  void Put(std::u16string_view text);
  void PutAscii(std::string_view text);  // each byte widened to one character
  void PutRepeated(size_t count, char16_t c);
  // Appends everything written to the target and leaves the buffer empty.
  void MoveTo(std::u16string& target);
  // MoveTo for text of ASCII characters only: each character becomes its one byte (what lies
  // beyond ASCII keeps only its low byte, so the caller makes sure there is none).
  void MoveAsciiTo(std::string& target);

 private:
  static constexpr size_t kInitialRoom = 32;
  static constexpr size_t kLargestRoom = 32768;

  void AddChunk();
  size_t Length() const;  // characters written
  void Clear();

  std::vector<std::u16string> chunks_;
  std::u16string* current_;  // the last chunk, the one being filled
  size_t room_;              // the room of the last chunk
};

}  // namespace webtessl
