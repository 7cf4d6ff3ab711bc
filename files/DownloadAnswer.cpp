#include "files/DownloadAnswer.h"

#include "common/AsciiText.h"
#include "http/HttpRequest.h"
#include "http/UrlText.h"
#include "text/uEncoding.h"

namespace webtessl {
namespace {

constexpr char kDispositionHeader[] = "Content-disposition";
constexpr char kNoSniffHeader[] = "X-Content-Type-Options";
constexpr char kNoSniff[] = "nosniff";
constexpr char kPolicyHeader[] = "Content-Security-Policy";
constexpr char kSandbox[] = "sandbox";
constexpr char kAttachment[] = "attachment";
constexpr char kInline[] = "inline";
constexpr char kUnknownType[] = "application/octet-stream";
constexpr char kControlReplacement = '_';
constexpr char kDelete = 0x7F;

struct TTypeRow {
  std::string_view extension;  // without its dot
  std::string_view mediaType;
  bool showable;
};

// Types a browser shows without running anything of the file are showable; HTML, SVG, XML and
// the rest only ever leave as attachments.
constexpr TTypeRow kTypes[] = {
    {"apng", "image/apng", true},       {"avif", "image/avif", true},
    {"bmp", "image/bmp", true},         {"gif", "image/gif", true},
    {"ico", "image/x-icon", true},      {"jpeg", "image/jpeg", true},
    {"jpg", "image/jpeg", true},        {"png", "image/png", true},
    {"webp", "image/webp", true},       {"pdf", "application/pdf", true},
    {"flac", "audio/flac", true},       {"m4a", "audio/mp4", true},
    {"mp3", "audio/mpeg", true},        {"oga", "audio/ogg", true},
    {"ogg", "audio/ogg", true},         {"opus", "audio/ogg", true},
    {"wav", "audio/wav", true},         {"m4v", "video/mp4", true},
    {"mp4", "video/mp4", true},         {"ogv", "video/ogg", true},
    {"webm", "video/webm", true},       {"txt", "text/plain; charset=utf-8", true},
    {"log", "text/plain; charset=utf-8", true},
    {"md", "text/plain; charset=utf-8", true},
    {"csv", "text/plain; charset=utf-8", true},
    {"ini", "text/plain; charset=utf-8", true},
    {"conf", "text/plain; charset=utf-8", true},
    {"htm", "text/html", false},        {"html", "text/html", false},
    {"xhtml", "application/xhtml+xml", false},
    {"svg", "image/svg+xml", false},    {"svgz", "image/svg+xml", false},
    {"xml", "text/xml", false},         {"js", "text/javascript", false},
    {"mjs", "text/javascript", false},  {"css", "text/css", false},
    {"json", "application/json", false},
    {"zip", "application/zip", false},  {"gz", "application/gzip", false},
    {"tar", "application/x-tar", false},
    {"7z", "application/x-7z-compressed", false},
    {"doc", "application/msword", false},
    {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document", false},
    {"xls", "application/vnd.ms-excel", false},
    {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet", false},
    {"ppt", "application/vnd.ms-powerpoint", false},
    {"pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation", false},
    {"odt", "application/vnd.oasis.opendocument.text", false},
    {"ods", "application/vnd.oasis.opendocument.spreadsheet", false},
    {"epub", "application/epub+zip", false},
    {"rtf", "application/rtf", false},  {"mov", "video/quicktime", false},
};

bool IsHeaderUnsafe(char c) {
  return static_cast<unsigned char>(c) < 0x20 || c == kDelete;
}

// Characters that may stand unescaped in the encoded form of a header parameter.
bool IsAttributeChar(unsigned char c) {
  const bool letterOrDigit =
      (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  return letterOrDigit ||
         std::string_view("!#$&+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

bool NeedsEncodedForm(std::string_view name) {
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 || c == '"' || c == '\\') return true;
  }
  return false;
}

std::string QuotedName(std::string_view name) {
  std::string quoted = "\"";
  for (const char c : name) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

std::string EncodedName(std::string_view utf8) {
  return "UTF-8''" + PercentEncode(utf8, [](unsigned char byte) { return !IsAttributeChar(byte); });
}

}  // namespace

TDownloadType DownloadTypeOf(std::string_view fileName) {
  const size_t dot = fileName.find_last_of('.');
  if (dot == std::string_view::npos) return {kUnknownType, false};
  const std::string_view extension = fileName.substr(dot + 1);
  for (const TTypeRow& row : kTypes) {
    if (SameText(row.extension, extension)) return {std::string(row.mediaType), row.showable};
  }
  return {kUnknownType, false};
}

std::string ContentDisposition(std::string_view fileName, bool showInline) {
  std::string name(fileName);
  for (char& c : name) {
    if (IsHeaderUnsafe(c)) c = kControlReplacement;
  }
  std::string value = std::string(showInline ? kInline : kAttachment) + "; filename=" +
                      QuotedName(name);
  if (NeedsEncodedForm(name)) {
    value += "; filename*=" + EncodedName(EncodeUtf8(FromSystemCodePage(name)));
  }
  return value;
}

void SetDownloadHeaders(THttpRequest& response, std::string_view fileName, bool inlineWanted) {
  const TDownloadType type = DownloadTypeOf(fileName);
  const bool showInline = inlineWanted && type.showable;
  response.SetHeader(THttpRequest::kContentType, type.mediaType);
  response.Headers.AddHeader(kDispositionHeader, ContentDisposition(fileName, showInline));
  response.Headers.AddHeader(kNoSniffHeader, kNoSniff);
  response.Headers.AddHeader(kPolicyHeader, kSandbox);
}

}  // namespace webtessl
