// Cookie headers as a client sends them, read in both header styles and written back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "http/Cookies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace webtessl;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  THeaderList headers;
  headers.AddHeader("Cookie", input);
  headers.AddHeader("Set-Cookie", input);
  THttpCookies cookies;
  cookies.ParseRequestCookies(headers);
  for (int i = 0; i < cookies.Count(); ++i) {
    const std::string text = cookies[i].CookieText();
    THttpCookie again;
    if (!cookies[i].Value.empty()) {
      FuzzCheck(again.Parse(text), "a written cookie with a value parses");
    }
  }
  cookies.ParseResponseCookies(headers);
  cookies.WriteSetCookies(headers, "localhost", "/");
  THttpCookie single;
  static_cast<void>(single.Parse(input));
  return 0;
}
