// The query for the desktop application from arbitrary request URIs: it is pure ASCII, reads back
// as an object, and carries the page size rule and the term as read.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "http/HttpRequest.h"
#include "json/superobject.h"
#include "search/SearchParameters.h"
#include "text/uEncoding.h"

using namespace webtessl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  THttpRequest request;
  request.URI = "/find?" + std::string(reinterpret_cast<const char*>(data), size);
  request.ParseHeaders(true);
  TSearchSettings settings;
  settings.defaultPageSize = static_cast<int32_t>(size % 3) - 1;  // -1, 0 or 1
  const TSearchParameters parameters = ReadSearchParameters(request, settings);
  FuzzCheck(parameters.pageSize >= 1, "page size at least 1");
  const std::string text = SearchQueryText(parameters, settings);
  for (const char c : text) FuzzCheck(static_cast<unsigned char>(c) < 0x80, "the query is ASCII");
  const ISuperObject query = ParseJsonText(FromSystemCodePage(text));
  FuzzCheck(query && query->Kind() == TSuperType::Object, "the query reads back");
  FuzzCheck(query->MemberText(u"QueryStr") == FromSystemCodePage(parameters.term),
            "the term survives");
  FuzzCheck(query->Member(u"QueryCount")->AsInteger() == parameters.pageSize, "page size sent");
  return 0;
}
