#pragma once

#include <memory>
#include <string>

namespace webtessl {

class THttpRequest;

// The contract of a request handler: the dispatching server offers each request to its handlers
// in order until one claims it. A handler sees only the request and the response, never sockets.
// One instance serves every connection at once: implementations must be safe for concurrent calls
// and keep per-request state in the call, never in the handler object. Handlers are shared by
// counted reference (IRequestHandlerRef); a handler ends with its last reference.
class IRequestHandler {
 public:
  virtual ~IRequestHandler() = default;

  // Offers one request. Returns true when the handler claims it and has filled the response. A
  // handler that returns false leaves the response as it found it. Either variable may be
  // replaced; a response variable left empty means that nothing is sent. Called concurrently.
  virtual bool HandleRequest(std::unique_ptr<THttpRequest>& request,
                             std::unique_ptr<THttpRequest>& response) = 0;

  // The handler's fixed name. Thread-safe.
  virtual std::string GetName() const = 0;
};

// A counted reference to a request handler.
using IRequestHandlerRef = std::shared_ptr<IRequestHandler>;

}  // namespace webtessl
