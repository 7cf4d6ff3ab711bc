#include "http/httpsrv.h"

namespace webtessl {

THTTPServer::~THTTPServer() {
  // The connections must end before the handlers they may be running go.
  Shutdown();
  Handlers.Clear();
}

void THTTPServer::DoRequest(std::unique_ptr<THttpRequest>& request,
                            std::unique_ptr<THttpRequest>& response) {
  TSynHttpServer::DoRequest(request, response);
  const int count = Handlers.Count();
  for (int index = 0; index < count; ++index) {
    const IRequestHandlerRef handler = Handlers.Get(index);
    if (handler->HandleRequest(request, response)) return;
  }
}

}  // namespace webtessl
