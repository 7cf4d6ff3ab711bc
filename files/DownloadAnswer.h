#pragma once

#include <string>
#include <string_view>

namespace webtessl {

class THttpRequest;

// How a found file is presented to the browser: its media type, whether it may be shown in the
// browser, and the headers that say so. Pure and thread-safe.

// The media type of a file name by its extension (without regard to case), and whether a browser
// shows that type without running anything of the file: raster images, PDF, audio, video and
// plain text. Unknown extensions give "application/octet-stream", never shown inline.
struct TDownloadType {
  std::string mediaType;
  bool showable = false;
};
TDownloadType DownloadTypeOf(std::string_view fileName);

// The "Content-disposition" value: "attachment" or "inline", then the name as a quoted string
// (quotes and backslashes escaped, control characters replaced) and, when the name holds
// anything beyond printable ASCII or a quote, also as "filename*=UTF-8''" with percent escapes.
// The name is system-code-page text.
std::string ContentDisposition(std::string_view fileName, bool showInline);

// Adds to the response the type, disposition and safety headers of a file: inline only when
// asked for and the type is showable, else as attachment. Every answer says
// "X-Content-Type-Options: nosniff" and "Content-Security-Policy: sandbox", so that no file
// from disk can run script in the server's origin, whatever the browser makes of it.
void SetDownloadHeaders(THttpRequest& response, std::string_view fileName, bool inlineWanted);

}  // namespace webtessl
