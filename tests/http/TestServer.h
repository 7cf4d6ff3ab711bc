#pragma once

// A real THTTPServer on 127.0.0.1 with handlers defined by the tests, and the text helpers that
// let a test compare whole responses.

#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <utility>

#include "http/HttpDates.h"
#include "http/httpsrv.h"
#include "tests/http/RawClient.h"

namespace webtessl::testing {

// A request handler whose behaviour a test gives as a function.
class TTestHandler : public IRequestHandler {
 public:
  using TBody = std::function<bool(std::unique_ptr<THttpRequest>& request,
                                   std::unique_ptr<THttpRequest>& response)>;
  TTestHandler(std::string name, TBody body) : name_(std::move(name)), body_(std::move(body)) {}
  bool HandleRequest(std::unique_ptr<THttpRequest>& request,
                     std::unique_ptr<THttpRequest>& response) override {
    return body_(request, response);
  }
  std::string GetName() const override { return name_; }

 private:
  std::string name_;
  TBody body_;
};

// A THTTPServer listening on a loopback port of the system's choice, stopped and destroyed with the object.
class TTestServer {
 public:
  // Port "0": the system chooses a free port when the server starts.
  TTestServer() : server_(std::make_unique<THTTPServer>()) {
    server_->SetLocalAddress("127.0.0.1");
    server_->SetPort("0");
  }
  // Registers a handler made of the function; call before Start.
  void Handle(TTestHandler::TBody body, std::string name = "test") {
    server_->Handlers.Add(std::make_shared<TTestHandler>(std::move(name), std::move(body)));
  }
  void Start() { server_->SetActive(true); }
  THTTPServer& Server() { return *server_; }
  void Destroy() { server_.reset(); }
  // The port the server listens on; known once Start has returned.
  int Port() const { return server_->ListeningPort(); }

 private:
  std::unique_ptr<THTTPServer> server_;
};

// The response with the value of its "Date" header replaced by "<date>", after checking that the
// value is a valid HTTP date; "<bad date>" when it is not.
inline std::string WithoutDate(const std::string& response) {
  static const std::regex kDateLine("\r\nDate: ([^\r]*)\r\n");
  std::smatch match;
  if (!std::regex_search(response, match, kDateLine)) return response;
  double value = 0;
  const bool valid = ParseHttpDate(match[1].str(), value) && value > 0;
  return match.prefix().str() + "\r\nDate: " + (valid ? "<date>" : "<bad date>") + "\r\n" +
         match.suffix().str();
}

}  // namespace webtessl::testing
