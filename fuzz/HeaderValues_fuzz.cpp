// Header values as a client sends them: walked item by item and parameter by parameter.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/AsciiText.h"
#include "fuzz/FuzzCheck.h"
#include "http/HeaderValues.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace webtessl;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  for (const char delimiter : {',', ';', '&'}) {
    std::string_view text = input;
    while (!text.empty()) {
      const size_t before = text.size();
      const std::string item = NextItem(text, delimiter);
      FuzzCheck(text.size() < before, "NextItem consumes text");
      FuzzCheck(Trim(item).size() == item.size(), "items are trimmed");
    }
  }
  std::string_view params = input;
  std::string name;
  std::string value;
  while (!params.empty()) {
    const size_t before = params.size();
    const bool found = NextParam(params, name, value);
    FuzzCheck(params.size() < before, "NextParam consumes text");
    FuzzCheck(found || (params.empty() && name.empty() && value.empty()), "false only at the end");
    FuzzCheck(Trim(name).size() == name.size(), "names are trimmed");
  }
  static_cast<void>(FindParam(input, "boundary"));
  static_cast<void>(FindParam(input, ""));
  const std::string quoted = QuoteString(input);
  FuzzCheck(FindParam("p=" + quoted, "p") == std::string(Trim(input)), "a quoted value reads back");
  std::string_view fetch = input;
  while (!fetch.empty()) {
    const size_t before = fetch.size();
    static_cast<void>(FetchTrimmed(fetch, "="));
    FuzzCheck(fetch.size() < before, "FetchTrimmed consumes text");
  }
  static_cast<void>(NormalizeHeaderLine(input));
  static_cast<void>(TrimCopy(input, size / 3, size / 2));
  return 0;
}
