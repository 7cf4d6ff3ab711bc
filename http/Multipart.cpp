#include "http/Multipart.h"

namespace webtessl {
namespace {

constexpr std::string_view kDashes = "--";
constexpr char kCR = '\r';
constexpr char kLF = '\n';

bool IsLineBreak(char c) {
  return c == kCR || c == kLF;
}

// The boundary written on the body's first line: "--" then the text up to a NUL, CR or LF,
// after any leading characters with codes 1 to 32.
std::string BoundaryFromBody(std::string_view body) {
  size_t pos = 0;
  while (pos < body.size() && body[pos] >= 1 && body[pos] <= ' ') ++pos;
  if (body.substr(pos, kDashes.size()) != kDashes) return {};
  pos += kDashes.size();
  size_t end = pos;
  while (end < body.size() && body[end] != '\0' && !IsLineBreak(body[end])) ++end;
  return std::string(body.substr(pos, end - pos));
}

// Cuts the next line off the body at position pos: the line ends at CR or LF, and one CR and
// then one LF after it are skipped when present.
std::string_view NextLine(std::string_view body, size_t& pos) {
  const size_t start = pos;
  while (pos < body.size() && !IsLineBreak(body[pos])) ++pos;
  const std::string_view line = body.substr(start, pos - start);
  if (pos < body.size() && body[pos] == kCR) ++pos;
  if (pos < body.size() && body[pos] == kLF) ++pos;
  return line;
}

// The position of the CR LF that ends a part body starting at pos: CR LF "--" boundary, then a
// character that is CR or "-" and one that is LF or "-". npos when the part is not closed.
size_t FindPartEnd(std::string_view body, size_t pos, const std::string& boundary) {
  const std::string marker = std::string("\r\n") + std::string(kDashes) + boundary;
  for (size_t at = body.find(marker, pos); at != std::string_view::npos;
       at = body.find(marker, at + 1)) {
    const size_t after = at + marker.size();
    if (after + 2 > body.size()) return std::string_view::npos;
    const char first = body[after];
    const char second = body[after + 1];
    if ((first == kCR || first == '-') && (second == kLF || second == '-')) return at;
  }
  return std::string_view::npos;
}

}  // namespace

void ParseMultipart(std::string_view body, std::string boundary,
                    const TMultipartPartHandler& onPart) {
  if (body.empty()) return;
  if (boundary.empty()) boundary = BoundaryFromBody(body);
  if (boundary.empty()) return;

  const std::string delimiter = std::string(kDashes) + boundary;
  const std::string closing = delimiter + std::string(kDashes);
  THeaderList partHeaders;
  bool readingPartHeaders = false;
  size_t pos = 0;
  while (pos < body.size()) {
    const std::string_view line = NextLine(body, pos);
    if (line == delimiter) {
      partHeaders.Clear();
      readingPartHeaders = true;
    } else if (line == closing) {
      return;
    } else if (readingPartHeaders && !line.empty()) {
      partHeaders.Add(std::string(line));
    } else if (readingPartHeaders) {
      readingPartHeaders = false;
      const size_t end = FindPartEnd(body, pos, boundary);
      if (end == std::string_view::npos) continue;
      const std::string_view partBody = body.substr(pos, end - pos);
      pos = end + 2;  // reading goes on at the delimiter line
      if (onPart(partHeaders, partHeaders.GetParam("Content-Disposition", "name"), partBody)) {
        return;
      }
    }
  }
}

}  // namespace webtessl
