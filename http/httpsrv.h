#pragma once

#include <optional>

#include "http/BasicAuthentication.h"
#include "http/HTTPRequestHandlers.h"
#include "http/HostFilter.h"
#include "http/RequestHandlerIntf.h"
#include "http/SynHttpSrv.h"

namespace webtessl {

// The HTTP engine with a chain of request handlers: every request is offered to the handlers in
// registration order until one claims it; unclaimed requests keep the engine's 404. Handlers are
// registered before activation and never while active. Destruction ends every connection (and
// waits for its worker) before the handlers are released, so no worker is inside a handler
// when it goes. DoRequest runs on every connection worker at once and takes no lock of its own.
class THTTPServer : public TSynHttpServer {
 public:
  THTTPServer() = default;
  ~THTTPServer() override;

  // The handler chain; add handlers only while the server is inactive.
  THTTPRequestHandlers Handlers;
  // When set, a request whose "Host" it does not admit is answered with 421 and reaches no
  // handler. Set only while the server is inactive.
  std::optional<THostFilter> HostFilter;
  // When set, a request without the right name and password is answered with 401 and a
  // challenge, and reaches no handler. Set only while the server is inactive.
  std::optional<TBasicAuthentication> Authentication;

 protected:
  // Refuses a foreign "Host", then a request without the password when one is set; else fires OnHttpGet, then offers the request to the handlers in
  // order until one claims it.
  void DoRequest(std::unique_ptr<THttpRequest>& request,
                 std::unique_ptr<THttpRequest>& response) override;
};

}  // namespace webtessl
