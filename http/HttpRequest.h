#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "http/Cookies.h"
#include "http/HeaderList.h"
#include "platform/FileStream.h"

namespace webtessl {

class TSynTcpSrvConnection;

// One HTTP message: the same class holds a received request and the response being prepared for
// it. The engine makes one of each per request line and hands both to the handlers by reference.
// It owns its header list, cookies, parameters and body stream. Not thread-safe: a pair of
// messages belongs to one connection's worker for the whole exchange.
class THttpRequest {
 public:
  // Indexes of GetHeader and SetHeader; some address one parameter of a header value.
  static constexpr int kContentType = 0;
  static constexpr int kMediaType = 1;
  static constexpr int kContentDisposition = 2;
  static constexpr int kFileName = 3;
  static constexpr int kLocation = 4;
  static constexpr int kETag = 5;
  static constexpr int kHost = 6;
  static constexpr int kReferer = 7;
  static constexpr int kUserAgent = 8;
  static constexpr int kVary = 9;
  static constexpr int kWwwAuthenticate = 10;
  static constexpr int kAuthorization = 11;
  static constexpr int kBoundary = 12;

  // Indexes of GetDateHeader.
  static constexpr int kDate = 0;
  static constexpr int kLastModified = 1;
  static constexpr int kLastModifiedGmt = 2;
  static constexpr int kExpires = 3;

  // Element of Flags: send the response body in chunked transfer coding.
  static constexpr int kFlagChunked = 1;

  THttpRequest();
  virtual ~THttpRequest();
  THttpRequest(const THttpRequest&) = delete;
  THttpRequest& operator=(const THttpRequest&) = delete;

  // Copies the source's headers, cookies, texts, status, connection and flags, and takes over its
  // body stream (the source's stream becomes empty). Params are not copied.
  void Assign(THttpRequest& source);
  // Replaces the headers with the lines up to the first empty one; the lines after it, each
  // followed by CR LF, become Content (kept as it was when there is no empty line).
  void Assign(const std::vector<std::string>& lines);

  // Rebuilds Cookies from the headers (request or response cookies) and Params from the query
  // of URI (items not decoded).
  virtual void ParseHeaders(bool isRequest);

  // Sets StatusCode and, for a code of the status table, StatusText.
  void SetStatus(int32_t code);
  // Whether the element of Flags is set.
  bool HasFlag(int element) const;

  // The header (or header parameter) at the index, "" outside the table.
  std::string GetHeader(int index) const;
  // Sets the header (or parameter) at the index; an empty value removes the header.
  void SetHeader(int index, std::string_view value);
  // The date header at the index as a date-time value, 0 when absent, unparseable or unknown.
  double GetDateHeader(int index) const;

  // Makes this response the named file (status 200, Last-Modified, media type), or the
  // not-found answer when it does not exist. Raises EFOpenError when it cannot be opened.
  void ServeFile(const std::string& fileName);
  // Makes this response the named file, already open (status 200, Last-Modified, media type).
  void ServeOpenFile(const std::string& fileName, std::unique_ptr<TFileStream> file);
  // Makes this response the named file's bytes as read before, with their last write, as
  // ServeOpenFile would.
  void ServeFileBytes(const std::string& fileName, std::string bytes, const TFileTime& modified);
  // Status 302 with Location set to the URL.
  void Redirect(std::string_view url);
  // Fills Method, URI and Protocol from a request line.
  void ParseRequestLine(std::string_view line);
  // The response's first line; fills in "HTTP/1.0" and 500 when unset.
  std::string StatusLine();
  // Whether an "If-Match"-style list matches this message's entity tag.
  bool MatchesEtag(std::string_view list) const;
  // Adds the fields of a multipart form body in Content to Params.
  void ParseFormBody();
  // The value of the first Params line whose name equals the given one (ASCII case-insensitive),
  // "" when none does; not decoded.
  std::string ParamValue(std::string_view name) const;

  THeaderList Headers;
  THttpCookies Cookies;
  std::vector<std::string> Params;
  std::string URI;
  std::string Method;
  std::string Protocol;
  std::string Content;
  std::unique_ptr<std::istream> ContentStream;
  // What an answer was made from, held until the answer has been sent and released after it, so
  // that freeing it (a search answer's document is hundreds of allocations) does not delay the
  // answer.
  std::shared_ptr<const void> KeptUntilSent;
  int32_t StatusCode = 0;
  std::string StatusText;
  TSynTcpSrvConnection* Connection = nullptr;
  uint32_t Flags = 0;

 private:
  bool AddFormField(const THeaderList& partHeaders, const std::string& fieldName,
                    std::string_view partBody);
};

}  // namespace webtessl
