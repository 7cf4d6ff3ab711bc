// Feeds arbitrary bytes through everything the engine derives from a received request: the
// request line, the header lines, query parameters, cookies, a multipart form body, the range
// and date conditions and the default cookie path.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "http/HttpRanges.h"
#include "http/HttpRequest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  // Head and body split at the first empty line, as on the wire.
  const size_t headEnd = input.find("\r\n\r\n");
  const std::string_view head = input.substr(0, headEnd);
  webtessl::THttpRequest request;
  size_t start = 0;
  bool first = true;
  while (start <= head.size()) {
    const size_t end = std::min(head.find("\r\n", start), head.size());
    const std::string_view line = head.substr(start, end - start);
    if (first) {
      request.ParseRequestLine(line);
      first = false;
    } else {
      request.Headers.Add(line);
    }
    start = end + 2;
  }
  if (headEnd != std::string_view::npos) request.Content = std::string(input.substr(headEnd + 4));
  request.ParseHeaders(true);
  request.ParseFormBody();
  for (int index = 0; index <= 13; ++index) request.GetHeader(index);
  for (int index = 0; index <= 4; ++index) request.GetDateHeader(index);
  webtessl::THttpByteRange range;
  webtessl::ParseRange(request.Headers.GetValue("Range"), true, 1000, range);
  webtessl::ParseRange(request.Headers.GetValue("Range"), false, 0, range);
  request.MatchesEtag(request.Headers.GetValue("If-Match"));
  webtessl::CookiePathFromUri(request.URI);
  return 0;
}
