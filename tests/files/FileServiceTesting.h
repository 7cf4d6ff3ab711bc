#pragma once

// Requests against a real server on loopback for the file-service tests, and the answers taken
// apart into status, head and body.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/http/RawClient.h"

namespace webtessl::testing {

// One answer as it came over the wire.
struct TReply {
  int Status = 0;
  std::string Head;  // status line and header lines, each ending with CR LF
  std::string Body;

  // The value of the first header line with this exact name, "" when there is none.
  std::string Header(const std::string& name) const {
    const std::string key = "\r\n" + name + ": ";
    const size_t start = Head.find(key);
    if (start == std::string::npos) return {};
    const size_t value = start + key.size();
    return Head.substr(value, Head.find("\r\n", value) - value);
  }
  bool HasHeader(const std::string& name) const {
    return Head.find("\r\n" + name + ": ") != std::string::npos;
  }
};

inline TReply ParseReply(const std::string& raw) {
  TReply reply;
  const size_t end = raw.find("\r\n\r\n");
  if (end == std::string::npos) return reply;
  reply.Head = raw.substr(0, end + 2);
  reply.Body = raw.substr(end + 4);
  const size_t blank = reply.Head.find(' ');
  if (blank != std::string::npos) reply.Status = std::atoi(reply.Head.c_str() + blank + 1);
  return reply;
}

// Sends one request with the given method, target and extra header lines on a new connection,
// asking the server to close it after the answer, and reads the whole answer.
inline TReply Request(int port, const std::string& method, const std::string& target,
                      const std::string& extraHeaders = "") {
  TRawClient client(port);
  client.Send(method + " " + target + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n" +
              extraHeaders + "\r\n");
  return ParseReply(client.ReadAll());
}

inline TReply Get(int port, const std::string& target, const std::string& extraHeaders = "") {
  return Request(port, "GET", target, extraHeaders);
}

}  // namespace webtessl::testing
