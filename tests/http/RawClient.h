#pragma once

// A plain TCP client on 127.0.0.1 for the server tests: it writes raw request bytes and reads
// raw response bytes, with time limits so that a faulty server fails a test instead of hanging.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>

namespace webtessl::testing {

constexpr int kClientWaitMs = 5000;

// Connects to 127.0.0.1:port, retrying while the server's listener comes up.
class TRawClient {
 public:
  explicit TRawClient(int port) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kClientWaitMs);
    for (;;) {
      fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(static_cast<uint16_t>(port));
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return;
      ::close(fd_);
      fd_ = -1;
      if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("connect failed");
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  ~TRawClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  TRawClient(const TRawClient&) = delete;
  TRawClient& operator=(const TRawClient&) = delete;

  void Send(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<size_t>(n);
    }
  }

  // Reads until the peer closes or waitMs passes without data; closed_ tells which.
  std::string ReadAll(int waitMs = kClientWaitMs) {
    std::string all;
    while (ReadSome(all, waitMs)) {
    }
    return all;
  }

  // Reads exactly count bytes (fewer when the peer closes or the wait runs out).
  std::string Read(size_t count, int waitMs = kClientWaitMs) {
    std::string all;
    while (all.size() < count && ReadSome(all, waitMs, count - all.size())) {
    }
    return all;
  }

  // Reads one response head (through the empty line).
  std::string ReadHead(int waitMs = kClientWaitMs) {
    std::string all;
    while (all.find("\r\n\r\n") == std::string::npos && ReadSome(all, waitMs, 1)) {
    }
    return all;
  }

  // True when the peer has closed the connection (within waitMs) without sending more bytes.
  bool ClosedWithoutData(int waitMs = kClientWaitMs) {
    std::string rest;
    ReadSome(rest, waitMs);
    return closed_ && rest.empty();
  }

  // Whether no byte arrives and the connection stays open for waitMs.
  bool StaysSilent(int waitMs) {
    pollfd entry{fd_, POLLIN, 0};
    return ::poll(&entry, 1, waitMs) == 0;
  }

  bool Closed() const { return closed_; }

 private:
  bool ReadSome(std::string& into, int waitMs, size_t most = 65536) {
    pollfd entry{fd_, POLLIN, 0};
    if (::poll(&entry, 1, waitMs) <= 0) return false;
    char buffer[65536];
    const ssize_t n = ::recv(fd_, buffer, std::min(most, sizeof buffer), 0);
    if (n <= 0) {
      closed_ = true;
      return false;
    }
    into.append(buffer, static_cast<size_t>(n));
    return true;
  }

  int fd_ = -1;
  bool closed_ = false;
};

// A port on 127.0.0.1 that was free a moment ago.
inline int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

}  // namespace webtessl::testing
