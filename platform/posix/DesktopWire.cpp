#include "platform/posix/DesktopWire.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace webtessl::desktop {
namespace {

// Waits until the socket is ready for `events`; false when the deadline passed or it failed.
bool AwaitReady(int fd, short events, const TDeadline& deadline) {
  for (;;) {
    pollfd entry{fd, events, 0};
    const int ready = ::poll(&entry, 1, deadline.RemainingMs());
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0 && (entry.revents & (events | POLLHUP | POLLERR)) != 0;
  }
}

}  // namespace

int TDeadline::RemainingMs() const {
  const auto left = end_ - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::min<decltype(ms)>(ms, std::numeric_limits<int>::max()));
}

bool SendAll(int fd, const void* bytes, size_t size, const TDeadline& deadline) {
  const auto* next = static_cast<const char*>(bytes);
  while (size > 0) {
    const ssize_t sent = ::send(fd, next, size, MSG_NOSIGNAL);
    if (sent > 0) {
      next += sent;
      size -= static_cast<size_t>(sent);
    } else if (sent < 0 && errno == EINTR) {
      continue;
    } else if (sent < 0 && errno == EAGAIN) {
      if (deadline.RemainingMs() == 0 || !AwaitReady(fd, POLLOUT, deadline)) return false;
    } else {
      return false;
    }
  }
  return true;
}

TSendOutcome SendFrame(int fd, const TFrameHeader& header, const void* payload, size_t size,
                       const TDeadline& deadline) {
  iovec parts[2] = {{const_cast<TFrameHeader*>(&header), sizeof header},
                    {const_cast<void*>(payload), size}};
  msghdr message{};
  message.msg_iov = parts;
  message.msg_iovlen = size == 0 ? 1 : 2;
  ssize_t sent = 0;
  do {
    sent = ::sendmsg(fd, &message, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0 && (errno == EPIPE || errno == ECONNRESET)) return TSendOutcome::Refused;
  if (sent < 0 && errno != EAGAIN) return TSendOutcome::Failed;
  // Whatever the first call left (a large payload, a full socket) goes out piece by piece.
  size_t done = sent < 0 ? 0 : static_cast<size_t>(sent);
  if (done < sizeof header) {
    if (!SendAll(fd, reinterpret_cast<const char*>(&header) + done, sizeof header - done,
                 deadline)) {
      return TSendOutcome::Failed;
    }
    done = sizeof header;
  }
  const size_t payloadDone = done - sizeof header;
  return SendAll(fd, static_cast<const char*>(payload) + payloadDone, size - payloadDone, deadline)
             ? TSendOutcome::Sent
             : TSendOutcome::Failed;
}

size_t ReceiveSome(int fd, void* bytes, size_t size, const TDeadline& deadline) {
  for (;;) {
    const ssize_t received = ::recv(fd, bytes, size, 0);
    if (received > 0) return static_cast<size_t>(received);
    if (received < 0 && errno == EINTR) continue;
    if (received < 0 && errno == EAGAIN) {
      if (deadline.RemainingMs() == 0 || !AwaitReady(fd, POLLIN, deadline)) return 0;
      continue;
    }
    return 0;  // the other end closed, or an error
  }
}

bool ReceiveAll(int fd, void* bytes, size_t size, const TDeadline& deadline) {
  auto* next = static_cast<char*>(bytes);
  while (size > 0) {
    const size_t received = ReceiveSome(fd, next, size, deadline);
    if (received == 0) return false;  // the other end closed before the whole frame came
    next += received;
    size -= received;
  }
  return true;
}

TReplyOutcome ReceiveReply(int fd, TFrameResult& reply, const TDeadline& deadline) {
  auto* bytes = reinterpret_cast<char*>(&reply);
  for (;;) {
    if (!AwaitReady(fd, POLLIN, deadline)) return TReplyOutcome::Failed;
    const ssize_t received = ::recv(fd, bytes, sizeof reply, 0);
    if (received < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (received == 0 || (received < 0 && (errno == ECONNRESET || errno == EPIPE))) {
      return TReplyOutcome::Unanswered;
    }
    if (received < 0) return TReplyOutcome::Failed;
    const auto got = static_cast<size_t>(received);
    return ReceiveAll(fd, bytes + got, sizeof reply - got, deadline) ? TReplyOutcome::Received
                                                                      : TReplyOutcome::Failed;
  }
}

bool PeerHungUp(int fd) {
  pollfd entry{fd, POLLRDHUP, 0};
  return ::poll(&entry, 1, 0) > 0 && (entry.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

}  // namespace webtessl::desktop
