#include "http/HttpRequest.h"

#include <array>
#include <cstdio>
#include <optional>

#include "common/AsciiText.h"
#include "common/Exception.h"
#include "http/HeaderNames.h"
#include "http/HttpDates.h"
#include "http/MimeTypes.h"
#include "http/Multipart.h"
#include "http/StatusCodes.h"
#include "http/UrlText.h"
#include "platform/FileStream.h"
#include "platform/FileSystem.h"

namespace webtessl {
namespace {

constexpr const char* kHeaderContentType = "Content-Type";
constexpr const char* kHeaderContentDisposition = "Content-Disposition";
constexpr const char* kParamFileName = "filename";
constexpr const char* kParamBoundary = "boundary";
constexpr const char* kDefaultMultipartType = "multipart/mixed";
constexpr const char* kNotFoundText = "404 - not found.";
constexpr const char* kNotFoundType = "text/plain";
constexpr const char* kDefaultProtocol = "HTTP/1.0";
constexpr std::string_view kProtocolPrefix = "HTTP";
constexpr size_t kProtocolLength = 8;  // "HTTP/1.1"
constexpr int32_t kStatusUnset = kStatusInternalError;

// Header names of the accessors by index; a parameter accessor names the header that holds it.
constexpr std::array<const char*, 13> kHeaderNames = {kHeaderContentType,
                                                      kHeaderContentType,
                                                      kHeaderContentDisposition,
                                                      kHeaderContentDisposition,
                                                      "Location",
                                                      "Etag",
                                                      "Host",
                                                      "Referer",
                                                      "User-Agent",
                                                      "Vary",
                                                      "WWW-Authenticate",
                                                      "Authorization",
                                                      kHeaderContentType};

constexpr std::array<const char*, 4> kDateHeaderNames = {"Date", kHeaderLastModified,
                                                         kHeaderLastModified, "Expires"};

// Raised when a file cannot be opened for reading.
class EFOpenError : public Exception {
 public:
  explicit EFOpenError(const std::string& message) : Exception("EFOpenError", message) {}
};

bool IsRegularFile(const std::string& fileName) {
  const std::optional<TFileFacts> facts = FileFacts(fileName);
  return facts && facts->kind == TFileKind::File;
}

// The extension of a file name with its dot: the text from the last "." after the last "/".
std::string FileExtension(std::string_view fileName) {
  const size_t dot = fileName.find_last_of("./");
  if (dot == std::string_view::npos || fileName[dot] != '.') return {};
  return std::string(fileName.substr(dot));
}

}  // namespace

THttpRequest::THttpRequest() = default;

THttpRequest::~THttpRequest() {
  ContentStream.reset();
}

void THttpRequest::Assign(THttpRequest& source) {
  if (&source == this) return;
  Headers = source.Headers;
  Cookies = source.Cookies;
  URI = source.URI;
  Method = source.Method;
  Protocol = source.Protocol;
  Content = source.Content;
  ContentStream = std::move(source.ContentStream);
  StatusCode = source.StatusCode;
  StatusText = source.StatusText;
  Connection = source.Connection;
  Flags = source.Flags;
}

void THttpRequest::Assign(const std::vector<std::string>& lines) {
  Headers.Clear();
  size_t index = 0;
  for (; index < lines.size() && !lines[index].empty(); ++index) Headers.Add(lines[index]);
  if (index == lines.size()) return;
  Content.clear();
  for (++index; index < lines.size(); ++index) Content += lines[index] + "\r\n";
}

void THttpRequest::ParseHeaders(bool isRequest) {
  if (isRequest) {
    Cookies.ParseRequestCookies(Headers);
  } else {
    Cookies.ParseResponseCookies(Headers);
  }
  Params.clear();
  const size_t query = URI.find('?');
  if (query == std::string::npos) return;
  std::string_view rest = std::string_view(URI).substr(query + 1);
  while (!rest.empty()) {
    std::string item = NextItem(rest, '&');
    if (!item.empty()) Params.push_back(std::move(item));
  }
}

void THttpRequest::SetStatus(int32_t code) {
  StatusCode = code;
  webtessl::StatusText(code, StatusText);
}

bool THttpRequest::HasFlag(int element) const {
  return element >= 0 && element < 32 && (Flags & (uint32_t{1} << element)) != 0;
}

std::string THttpRequest::GetHeader(int index) const {
  switch (index) {
    case kMediaType: {
      const std::string value = Headers.GetValue(kHeaderContentType);
      return TrimCopy(value, 0, value.find(';'));
    }
    case kFileName:
      return Headers.GetParam(kHeaderContentDisposition, kParamFileName);
    case kBoundary:
      return Headers.GetParam(kHeaderContentType, kParamBoundary);
    default:
      if (index < 0 || static_cast<size_t>(index) >= kHeaderNames.size()) return {};
      return Headers.GetValue(kHeaderNames[static_cast<size_t>(index)]);
  }
}

void THttpRequest::SetHeader(int index, std::string_view value) {
  switch (index) {
    case kFileName:
      Headers.SetParam(kHeaderContentDisposition, kParamFileName, value);
      return;
    case kBoundary:
      if (Headers.IndexOfHeader(kHeaderContentType) < 0) {
        Headers.SetValue(kHeaderContentType, kDefaultMultipartType);
      }
      Headers.SetParam(kHeaderContentType, kParamBoundary, value);
      return;
    default:
      if (index < 0 || static_cast<size_t>(index) >= kHeaderNames.size()) return;
      Headers.SetValue(kHeaderNames[static_cast<size_t>(index)], value);
  }
}

double THttpRequest::GetDateHeader(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= kDateHeaderNames.size()) return 0;
  double value = 0;
  if (!ParseHttpDate(Headers.GetValue(kDateHeaderNames[static_cast<size_t>(index)]), value)) {
    return 0;
  }
  return (index == kDate || index == kLastModified) ? UtcToLocal(value) : value;
}

void THttpRequest::ServeFile(const std::string& fileName) {
  ContentStream.reset();
  // Only regular files are served (a folder is no file, and a device or pipe could block the
  // worker); the open file tells what it is, so no second look-up by name is needed.
  TFileError why = TFileError::None;
  std::unique_ptr<TFileStream> file = TFileStream::Open(fileName, &why);
  if (!file) {
    if (IsRegularFile(fileName)) {
      throw EFOpenError("Cannot open file \"" + fileName + "\". " + FileErrorText(why));
    }
    SetStatus(kStatusNotFound);
    Content = kNotFoundText;
    SetHeader(kContentType, kNotFoundType);
    return;
  }
  ServeOpenFile(fileName, std::move(file));
}

void THttpRequest::ServeOpenFile(const std::string& fileName, std::unique_ptr<TFileStream> file) {
  Headers.SetValue(kHeaderLastModified,
                   FormatHttpDate(FileTimeToDateTime(file->Facts().modified), false));
  ContentStream = std::move(file);
  SetHeader(kContentType, MimeTypeOf(FileExtension(fileName)));
  SetStatus(kStatusOk);
}

void THttpRequest::Redirect(std::string_view url) {
  SetStatus(kStatusFound);
  SetHeader(kLocation, PercentEncodeControlBytes(url));
}

void THttpRequest::ParseRequestLine(std::string_view line) {
  std::string_view rest = line;
  Method = FetchTrimmed(rest, " ");
  if (rest.size() >= kProtocolLength &&
      SameText(rest.substr(rest.size() - kProtocolLength, kProtocolPrefix.size()),
               kProtocolPrefix)) {
    Protocol = std::string(rest.substr(rest.size() - kProtocolLength));
    URI = TrimCopy(rest, 0, rest.size() - kProtocolLength);
    return;
  }
  URI = FetchTrimmed(rest, " ");
  Protocol = std::string(rest);
}

std::string THttpRequest::StatusLine() {
  if (Protocol.empty()) Protocol = kDefaultProtocol;
  if (StatusCode == 0) SetStatus(kStatusUnset);
  const std::string code = std::to_string(StatusCode);
  return Protocol + " " + code + " " + StatusText;
}

bool THttpRequest::MatchesEtag(std::string_view list) const {
  std::string_view rest = list;
  const std::string tag = GetHeader(kETag);
  while (!rest.empty()) {
    const std::string item = NextItem(rest, ',');
    if (item.empty()) continue;
    if (item == "*") return !tag.empty();
    if (item == tag) return true;
  }
  return false;
}

void THttpRequest::ParseFormBody() {
  ParseMultipart(
      Content, GetHeader(kBoundary),
      [this](const THeaderList& partHeaders, const std::string& fieldName,
             std::string_view partBody) { return AddFormField(partHeaders, fieldName, partBody); });
}

bool THttpRequest::AddFormField(const THeaderList& partHeaders, const std::string& fieldName,
                                std::string_view partBody) {
  std::string value = partHeaders.GetParam(kHeaderContentDisposition, kParamFileName);
  if (value.empty()) value = std::string(partBody);
  Params.push_back(fieldName.empty() ? value : fieldName + "=" + value);
  return false;
}

std::string THttpRequest::ParamValue(std::string_view name) const {
  for (const std::string& line : Params) {
    const size_t equals = line.find('=');
    if (equals != std::string::npos && SameText(std::string_view(line).substr(0, equals), name)) {
      return line.substr(equals + 1);
    }
  }
  return {};
}

}  // namespace webtessl
