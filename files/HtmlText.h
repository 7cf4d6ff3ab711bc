#pragma once

#include <string>
#include <string_view>

namespace webtessl {

// Text made safe for HTML pages. Pure and thread-safe.

// The text with "&", "<", ">", '"' and "'" written as character references, so that it shows as
// itself in element content and in quoted attribute values.
std::string EscapeHtml(std::string_view text);

// The path with every byte other than unreserved characters, sub-delimiters, ":", "@" and "/"
// percent-encoded, so that it can stand as a link's path ("#", "?" and "%" stay part of it).
std::string EncodeUrlPath(std::string_view path);

}  // namespace webtessl
