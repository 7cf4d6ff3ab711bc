// URL paths as a client sends them, decoded under both system code pages.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "http/UrlText.h"
#include "platform/CodePage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace webtessl;
  if (size == 0) return 0;
  SetSystemCodePage(data[0] % 2 == 0 ? kCodePageUtf8 : kCodePageWindows1252);
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string decoded = UrlDecode(input);
  if (input.find('%') == std::string_view::npos) {
    FuzzCheck(decoded == input, "text without escapes stays");
  }
  static_cast<void>(IsUtf8Text(input));
  static_cast<void>(Utf8ToAnsi(input));
  return 0;
}
