#pragma once

#include <string>
#include <string_view>

namespace webtessl {

// The process-wide table of media types by file extension (".html" -> "text/html"), matched
// without regard to ASCII case. It is created with its default entries on first use. Thread-safe:
// lookups from many threads run together; a registration waits for them and they for it.

// Sets the media type of the extension (a leading "." is added when missing); an empty extension
// registers nothing.
void RegisterMimeType(std::string_view extension, std::string_view mediaType);

// The media type of the extension, dot included (".png"); "" when the extension is not listed.
std::string MimeTypeOf(std::string_view extension);

}  // namespace webtessl
