#include "net/ServerUtils.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <istream>

#include "net/TcpBlockSocket.h"

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

}  // namespace

bool SendStreamData(TTCPBlockSocket& socket, std::istream& stream, bool chunked, int64_t count) {
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
