#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "json/superobject.h"

namespace webtessl {

// Writing a completed search answer as the response body. Thread-safe: each call works on its
// own request's answer only.

// Where a result's download link points; the path follows, encoded by EncodeUrlChars.
constexpr char kDownloadLinkPrefix[] = "/download?file=";

// The UTF-8 HTML fragment of the answer: a summary of the page ("count" and the positions
// pageStart + 1 to pageStart + the number of results) and a table with a row per result. With
// downloads enabled every result gets its "filelink" and its file name links there. Member
// values are escaped for HTML; the link is written as EncodeUrlChars makes it.
std::string RenderHtml(TSuperObject& answer, int64_t pageStart, bool downloadEnabled);

// The JSON text of the whole answer, indented and pure ASCII.
std::string RenderJson(const TSuperObject& answer);

// The bytes with control characters, the blank, '"', '#', '%', '&', '+', '<', '>', '[' to '`', '{' and
// above written as "%" and two uppercase hexadecimal digits.
std::string EncodeUrlChars(std::string_view bytes);

// The text with '&', '<', '>', '"' and '\'' written as character references.
std::u16string EscapeHtml(std::u16string_view text);

}  // namespace webtessl
