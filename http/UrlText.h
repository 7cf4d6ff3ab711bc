#pragma once

#include <string>
#include <string_view>

namespace webtessl {

// URL text: splitting a request URI or URL into its parts, and percent decoding of URL paths
// (UTF-8 escapes end up in the system code page). Thread-safe: no state. Never raises.

// The parts of a URL as SplitUrl finds them.
struct TUrlParts {
  std::string protocol = "http";
  std::string user;
  std::string password;
  std::string host;         // "localhost" when the URL names none
  std::string port = "80";  // "443" for https, "21" for ftp, unless the URL names one
  std::string path;         // "/" and the path up to the query
  std::string query;        // after the first "?", without it
};

// Splits an absolute URL or a relative request URI into its parts; returns the path with its
// query. A "://" counts as the end of a protocol only before any "/" or "?", so a relative URI
// whose query holds a URL keeps its own path.
std::string SplitUrl(std::string_view url, TUrlParts& parts);

// Decodes "%" and two hexadecimal digits (one at the very end of the text) into that byte; other
// "%" and every "+" stay. When an escape gave a byte above 128 and the result is UTF-8, it is
// converted to the system code page.
std::string UrlDecode(std::string_view text);

// The text with every byte for which mustEscape is true written as "%" and two upper-case
// hexadecimal digits; the other bytes stay as they are.
std::string PercentEncode(std::string_view text, bool (*mustEscape)(unsigned char byte));

// The text with every control byte (codes 0 to 31 and 127) percent-encoded, so that it can stand
// in a header value without ending or forging a line.
std::string PercentEncodeControlBytes(std::string_view text);

// True when the text, up to its first zero byte, is well-formed UTF-8 of at most three bytes per
// character and holds at least one multi-byte character.
bool IsUtf8Text(std::string_view text);

// The UTF-8 text in the system code page, "@" for every character the code page lacks.
std::string Utf8ToAnsi(std::string_view text);

}  // namespace webtessl
