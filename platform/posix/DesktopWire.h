#pragma once

#include "platform/DesktopMessages.h"

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace webtessl::desktop {

// A point in time after which an exchange gives up. Immutable.
class TDeadline {
 public:
  explicit TDeadline(uint32_t limitMs)
      : end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs)) {}
  // Milliseconds left, at least 0, rounded up so that a wait never ends early.
  int RemainingMs() const;

 private:
  std::chrono::steady_clock::time_point end_;
};

// The head of a message frame on the wire; the payload follows it, then the receiver answers
// with one TFrameResult. The answer says whether the receiver keeps the connection open for the
// sender's next frame: a receiver closes only connections it said it would not keep (or those of
// a window that went), so a sender never sends over a connection that is being closed.
struct TFrameHeader {
  uint32_t magic = 0;
  uint32_t message = 0;
  uint32_t wParam = 0;
  uint32_t cbData = 0;
  uint64_t dwData = 0;
  uint32_t target = 0;  // the handle the sender addressed, generation included
  uint32_t reserved = 0;
};
struct TFrameResult {
  int64_t result = 0;
  uint32_t kept = 0;  // 1: the receiver keeps the connection for the next frame
  uint32_t reserved = 0;
};
constexpr uint32_t kFrameMagic = 0x3244544D;  // "MTD2": the frame that names its target

// Writes or reads exactly `size` bytes on a non-blocking socket before the deadline.
bool SendAll(int fd, const void* bytes, size_t size, const TDeadline& deadline);
// How sending a frame ended. Refused: the other end had closed before the first byte, so none
// of the frame reached it.
enum class TSendOutcome { Sent, Refused, Failed };
// Writes the header and the payload after it, in as few calls as the socket allows.
TSendOutcome SendFrame(int fd, const TFrameHeader& header, const void* payload, size_t size,
                       const TDeadline& deadline);
bool ReceiveAll(int fd, void* bytes, size_t size, const TDeadline& deadline);
// Reads what has arrived, at least one byte and at most `size`, waiting for the first until the
// deadline; 0 when nothing came (the other end closed, an error, or the time ran out).
size_t ReceiveSome(int fd, void* bytes, size_t size, const TDeadline& deadline);
// How waiting for the receiver's answer ended. Unanswered: the other end closed the connection
// before a single byte of its answer, having left the frame unread (a receiver answers every
// frame it reads while its window lives).
enum class TReplyOutcome { Received, Unanswered, Failed };
TReplyOutcome ReceiveReply(int fd, TFrameResult& reply, const TDeadline& deadline);

// Whether the other end has closed or shut down its side.
bool PeerHungUp(int fd);

}  // namespace webtessl::desktop
