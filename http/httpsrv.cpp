#include "http/httpsrv.h"

#include "http/StatusCodes.h"

namespace webtessl {
namespace {

constexpr const char* kMisdirectedText =
    "421 - this server does not answer to that host name; its operator can allow it in the "
    "server's configuration ([server] hosts).";
constexpr const char* kUnauthorizedText = "401 - this server needs a user name and password.";
constexpr const char* kPlainText = "text/plain";

}  // namespace

THTTPServer::~THTTPServer() {
  // The connections must end before the handlers they may be running go.
  Shutdown();
  Handlers.Clear();
}

void THTTPServer::DoRequest(std::unique_ptr<THttpRequest>& request,
                            std::unique_ptr<THttpRequest>& response) {
  if (HostFilter && !HostFilter->Admits(request->GetHeader(THttpRequest::kHost))) {
    response->SetStatus(kStatusMisdirected);
    response->Content = kMisdirectedText;
    response->SetHeader(THttpRequest::kContentType, kPlainText);
    return;
  }
  if (Authentication && !Authentication->Admits(request->GetHeader(THttpRequest::kAuthorization))) {
    response->SetStatus(kStatusUnauthorized);
    response->SetHeader(THttpRequest::kWwwAuthenticate, TBasicAuthentication::kChallenge);
    response->Content = kUnauthorizedText;
    response->SetHeader(THttpRequest::kContentType, kPlainText);
    return;
  }
  TSynHttpServer::DoRequest(request, response);
  const int count = Handlers.Count();
  for (int index = 0; index < count; ++index) {
    const IRequestHandlerRef handler = Handlers.Get(index);
    if (handler->HandleRequest(request, response)) return;
  }
}

}  // namespace webtessl
