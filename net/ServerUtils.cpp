#include "net/ServerUtils.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <istream>

#include "net/TcpBlockSocket.h"
#include "platform/FileStream.h"

namespace webtessl {

namespace {

constexpr std::string_view kChunkEnd = "\r\n";
constexpr std::string_view kLastChunk = "0\r\n\r\n";

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The length line of one chunk: the size in lower-case hexadecimal, then CR LF.
std::string ChunkLengthLine(std::size_t size) {
  std::array<char, 24> line{};
  const int length = std::snprintf(line.data(), line.size(), "%zx\r\n", size);
  return std::string(line.data(), static_cast<std::size_t>(length));
}

// A body straight from an open file: the system sends it from its file cache, without the
// copies through this process. The stream's position moves past what was sent. Like a stream, the
// part ends with the file; a file cut shorter since it was opened fails, as its size was promised.
bool SendFileData(TTCPBlockSocket& socket, TFileStream& file, int64_t count) {
  const int64_t position = file.Position();
  if (position < 0) return false;
  const int64_t wanted = std::max<int64_t>(std::min(count, file.Facts().size - position), 0);
  const uint64_t sent = socket.SendFile(file.Handle(), position, static_cast<uint64_t>(wanted));
  file.seekg(static_cast<std::streamoff>(position + static_cast<int64_t>(sent)));
  return socket.LastErrorCode() == kSocketNoError && static_cast<int64_t>(sent) == wanted;
}

}  // namespace

bool SendStreamData(TTCPBlockSocket& socket, std::istream& stream, bool chunked, int64_t count) {
  if (auto* const file = dynamic_cast<TFileStream*>(&stream); file != nullptr && !chunked) {
    return SendFileData(socket, *file, count < 0 ? kSendStreamUnlimited : count);
  }
  int64_t remaining = count < 0 ? kSendStreamUnlimited : count;
  const int64_t chunk = std::clamp<int64_t>(socket.MaxSendChunk(), 1, kSendStreamBufferSize);
  std::array<char, kSendStreamBufferSize> buffer;
  bool complete = true;
  while (remaining > 0) {
    stream.read(buffer.data(), static_cast<std::streamsize>(std::min(chunk, remaining)));
    const auto got = static_cast<std::size_t>(stream.gcount());
    if (got == 0) {
      complete = !stream.bad();  // the end of the stream ends the part; a read failure fails it
      break;
    }
    if (chunked) {
      socket.SendText(ChunkLengthLine(got));
    }
    const std::size_t sent = socket.SendBytes(buffer.data(), got);
    if (chunked && socket.LastErrorCode() == kSocketNoError) {
      socket.SendText(kChunkEnd);
    }
    if (socket.LastErrorCode() != kSocketNoError) {
      return false;
    }
    remaining -= static_cast<int64_t>(sent);
  }
  if (complete && chunked) {
    socket.SendText(kLastChunk);
    return socket.LastErrorCode() == kSocketNoError;  // a body without its end is incomplete
  }
  return complete;
}

bool SameTextExact(std::string_view first, std::string_view second) {
  return first.size() == second.size() &&
         std::equal(first.begin(), first.end(), second.begin(),
                    [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
}

}  // namespace webtessl
