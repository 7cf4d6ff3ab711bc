// Request URIs as a client sends them, split as the search and download handlers do.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "http/UrlText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace webtessl;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  TUrlParts parts;
  const std::string pathWithQuery = SplitUrl(input, parts);
  FuzzCheck(!pathWithQuery.empty() && pathWithQuery.front() == '/', "the result starts with /");
  FuzzCheck(pathWithQuery.compare(0, parts.path.size(), parts.path) == 0,
            "the path starts the result");
  FuzzCheck(parts.path.find('?') == std::string::npos, "the path holds no query");
  FuzzCheck(!parts.host.empty(), "there is always a host");
  FuzzCheck(pathWithQuery.size() <= input.size() + 1, "nothing is invented");
  return 0;
}
