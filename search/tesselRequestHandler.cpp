#include "search/tesselRequestHandler.h"

#include <string_view>

#include "http/HttpRequest.h"
#include "http/StatusCodes.h"
#include "http/UrlText.h"
#include "json/superobject.h"
#include "search/DesktopQuery.h"
#include "search/ResultCompletion.h"
#include "search/ResultRendering.h"
#include "text/uEncoding.h"

namespace webtessl {
namespace {

constexpr char kHandlerName[] = "tessel";
constexpr char kJsonContentType[] = "application/json";
constexpr char kHtmlContentType[] = "text/html; charset=utf-8";

// The answer's bytes are system-code-page text holding one JSON object (taken as they are: the
// program's own text is system-code-page bytes too).
ISuperObject ParseAnswer(const TBytes& bytes) {
  ISuperObject answer = ParseJsonText(FromSystemCodePage(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
  if (!answer || answer->Kind() != TSuperType::Object) {
    throw ESearchAnswerError("The search answer is not a JSON object");
  }
  return answer;
}

}  // namespace

TSearchSettings TTesselRequestHandler::LoadSettings() const {
  return LoadSearchSettings(iniFile_);
}

bool TTesselRequestHandler::HandleRequest(std::unique_ptr<THttpRequest>& request,
                                          std::unique_ptr<THttpRequest>& response) {
  TUrlParts parts;
  SplitUrl(request->URI, parts);
  if (parts.path != kSearchPath) return false;
  RunSearch(*request, *response);
  return true;
}

std::string TTesselRequestHandler::GetName() const {
  return kHandlerName;
}

void TTesselRequestHandler::RunSearch(const THttpRequest& request, THttpRequest& response) const {
  const TSearchSettings settings = LoadSettings();
  const TSearchParameters parameters = ReadSearchParameters(request, settings);
  TBytes answerBytes;
  if (QueryDesktop(SearchQueryText(parameters, settings), parameters.timeoutMs, answerBytes) !=
      TQueryOutcome::Answered) {
    response.SetStatus(kStatusNotFound);
    return;
  }
  const ISuperObject answer = ParseAnswer(answerBytes);
  response.KeptUntilSent = answer;
  const auto results = answer->MemberArray(u"results");
  if (!results) throw ESearchAnswerError("The search answer has no \"results\" array");
  CompleteResults(*results);
  if (parameters.json) {
    response.Content = RenderJson(*answer);
    response.SetHeader(THttpRequest::kContentType, kJsonContentType);
  } else {
    response.Content = RenderHtml(*answer, parameters.pageStart, settings.downloadEnabled);
    response.SetHeader(THttpRequest::kContentType, kHtmlContentType);
  }
  response.SetStatus(kStatusOk);
}

IRequestHandlerRef NewSearchHandler(const TIniFile& iniFile) {
  auto handler = std::make_shared<TTesselRequestHandler>();
  handler->SetIniFile(&iniFile);
  return handler;
}

}  // namespace webtessl
