#include "http/SynHttpSrv.h"

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string_view>
#include <utility>

#include "common/AsciiText.h"
#include "common/ControlEscape.h"
#include "common/Int64Text.h"
#include "common/IntegerText.h"
#include "http/HeaderNames.h"
#include "http/HttpDates.h"
#include "http/RequestFraming.h"
#include "http/StatusCodes.h"
#include "log/ConsoleLog.h"
#include "net/SynSrv.h"
#include "net/blcksock.h"

namespace webtessl {
namespace {

constexpr const char* kServerName = "SynHttpSrv/1.0";
constexpr const char* kDefaultPort = "80";
constexpr int32_t kDefaultHeaderTimeoutMs = 120000;

constexpr const char* kLogActive = "%s http server on port %s";
constexpr const char* kLogStarting = "Starting";
constexpr const char* kLogStopping = "Stoping";
constexpr const char* kLogDone = "Done.";
// The trace's heads of a request's and a response's lines, which follow them escaped.
constexpr std::string_view kLogCommand = "Command:\r\n";
constexpr std::string_view kLogRequestHeaders = "Request headers:\r\n";
constexpr const char* kLogIfModifiedSince = "If-Modified-Since: %s";
constexpr const char* kLogLastModified = "Last-Modified: %s";
constexpr const char* kLogIsModified = "Is modified: Date=%g, Date2=%g";
constexpr const char* kLogBadDate = "Failed parse date \"%s\"";
constexpr std::string_view kLogResponseHeaders = "Response headers:\r\n";
constexpr const char* kLogTotalLimit =
    "Connection limit of %d reached: further connections are refused while it lasts";
constexpr const char* kLogAddressLimit =
    "Limit of %d connections per address reached by %s: its further connections are refused "
    "while it lasts";

constexpr const char* kCRLF = "\r\n";
constexpr const char* kProtocol11 = "HTTP/1.1";
constexpr const char* kProtocol10 = "HTTP/1.0";
constexpr std::string_view kProtocolPrefix = "HTTP";
constexpr const char* kContinueToken = "100-continue";
constexpr const char* kClose = "close";
constexpr const char* kKeepAlive = "keep-alive";
constexpr const char* kChunked = "chunked";
constexpr const char* kMethodPost = "POST";
constexpr const char* kMethodHead = "HEAD";
constexpr const char* kFormUrlEncoded = "application/x-www-form-urlencoded";
constexpr const char* kFormMultipart = "multipart/form-data";
constexpr std::string_view kMozilla = "Mozilla";
constexpr std::string_view kWeakTagPrefix = "W/";
constexpr const char* kLastChunk = "0\r\n\r\n";

constexpr const char* kHeaderConnection = "Connection";
constexpr const char* kHeaderServer = "Server";
constexpr const char* kHeaderExpect = "Expect";
constexpr const char* kHeaderContentLength = "Content-Length";
constexpr const char* kHeaderTransferEncoding = "Transfer-Encoding";
constexpr const char* kHeaderDate = "Date";
constexpr const char* kHeaderIfModifiedSince = "If-Modified-Since";
constexpr const char* kHeaderIfUnmodifiedSince = "If-Unmodified-Since";
constexpr const char* kHeaderIfRange = "If-Range";
constexpr const char* kHeaderRange = "Range";
constexpr const char* kHeaderContentRange = "Content-Range";
constexpr const char* kHeaderEtag = "Etag";
constexpr const char* kHeaderIfMatch = "If-Match";
constexpr const char* kHeaderIfNoneMatch = "If-None-Match";

// A body up to this size goes out in the same send as the head: one system call, one packet.
constexpr int64_t kInlineBodyLimit = 16384;

constexpr std::string_view kLineEnd = "\r\n";

// Whether EscapeControlBytes could change the bytes: a control byte, or the lead byte of a
// two-byte control character. Lines from well-behaved clients have none.
bool MayNeedEscape(std::string_view bytes) {
  constexpr unsigned char kFirstPrintable = 32;
  constexpr unsigned char kDelete = 127;
  constexpr unsigned char kControlLead = 0xC2;
  return std::any_of(bytes.begin(), bytes.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < kFirstPrintable || byte == kDelete || byte == kControlLead;
  });
}

// Appends the bytes for the trace with their control bytes escaped; most are appended unchanged
// and without a copy of their own, since every request's trace passes through here.
void AppendEscaped(std::string& text, std::string_view bytes) {
  if (MayNeedEscape(bytes)) {
    text += EscapeControlBytes(bytes);
  } else {
    text += bytes;
  }
}

// Appends the header lines for the trace, each escaped and followed by CR LF.
void AppendEscapedLines(std::string& text, const THeaderList& headers) {
  size_t length = text.size();
  for (const std::string& line : headers.Lines()) length += line.size() + kLineEnd.size();
  text.reserve(length);  // what escapes add is rare
  for (const std::string& line : headers.Lines()) {
    AppendEscaped(text, line);
    text += kCRLF;
  }
}

// The response's head as it goes out, in a string with room for a body that goes with it, so that
// neither the head nor the body is copied again on the way.
std::string WireHead(const std::string& statusLine, const THeaderList& headers,
                     int64_t bodySize) {
  size_t length = statusLine.size() + 2 * kLineEnd.size();
  for (const std::string& line : headers.Lines()) length += line.size() + kLineEnd.size();
  std::string wire;
  wire.reserve(length + static_cast<size_t>(std::clamp<int64_t>(bodySize, 0, kInlineBodyLimit)));
  wire += statusLine;
  wire += kCRLF;
  for (const std::string& line : headers.Lines()) {
    wire += line;
    wire += kCRLF;
  }
  wire += kCRLF;
  return wire;
}

// Writes a trace entry: the head, then the bytes escaped.
void TraceEscaped(std::string_view head, std::string_view bytes) {
  std::string text;
  text.reserve(head.size() + bytes.size());
  text += head;
  AppendEscaped(text, bytes);
  ConsoleLog(text);
}

bool IsSuccess(const THttpRequest& response) {
  return response.StatusCode >= 200 && response.StatusCode <= 299;
}

bool HasHeader(const THttpRequest& message, const char* name) {
  return message.Headers.IndexOfHeader(name) >= 0;
}

// HTTP/1.1 or later: not below "HTTP/1.1" byte-wise and beginning with "HTTP" in any case.
bool SpeaksHttp11(const std::string& protocol) {
  return protocol >= kProtocol11 && StartsWithText(protocol, kProtocolPrefix);
}

std::string HexText(uint64_t value) {
  std::ostringstream text;
  text << std::hex << value;
  return text.str();
}

// The size of the body to send and whether a size is known.
struct TBodySize {
  int64_t Size = 0;
  bool Present = false;
};

// Settles "Content-Length" or the chunked coding and returns the body size.
TBodySize SettleBodySize(THttpRequest& response) {
  TBodySize body;
  if (response.HasFlag(THttpRequest::kFlagChunked)) {
    response.Headers.RemoveHeader(kHeaderContentLength);
    response.Headers.SetValue(kHeaderTransferEncoding, kChunked);
    body.Size = -1;
    return body;
  }
  if (HasHeader(response, kHeaderContentLength)) {
    body.Size = StrToInt64Def(response.Headers.GetValue(kHeaderContentLength), -1);
    body.Present = body.Size >= 0;
    return body;
  }
  if (response.ContentStream) {
    body.Size = StreamRemaining(*response.ContentStream);
    body.Present = true;
  } else if (!response.Content.empty()) {
    body.Size = static_cast<int64_t>(response.Content.size());
    body.Present = true;
  }
  response.Headers.SetValue(kHeaderContentLength, std::to_string(body.Size));
  return body;
}

// "If-Modified-Since" and "If-Unmodified-Since" against the response's "Last-Modified".
void ApplyModificationDates(const THttpRequest& request, THttpRequest& response) {
  // Most requests ask for neither: the response's own date is then not read back at all.
  if (!HasHeader(request, kHeaderIfModifiedSince) && !HasHeader(request, kHeaderIfUnmodifiedSince)) {
    return;
  }
  const std::string since = request.Headers.GetValue(kHeaderIfModifiedSince);
  const double modified = response.GetDateHeader(THttpRequest::kLastModifiedGmt);
  double sinceDate = 0;
  if (HasHeader(request, kHeaderIfModifiedSince) && ParseHttpDate(since, sinceDate)) {
    ConsoleLogFmt(kLogIfModifiedSince, since.c_str());
    ConsoleLogFmt(kLogLastModified, response.Headers.GetValue(kHeaderLastModified).c_str());
    if (modified != 0 && modified > sinceDate) {
      ConsoleLogFmt(kLogIsModified, sinceDate, modified);
      return;
    }
    response.SetStatus(kStatusNotModified);
    if (std::string_view(request.GetHeader(THttpRequest::kUserAgent)).substr(0, kMozilla.size()) ==
        kMozilla) {
      response.Headers.SetValue(kHeaderConnection, kClose);
    }
    return;
  }
  if (HasHeader(request, kHeaderIfModifiedSince)) ConsoleLogFmt(kLogBadDate, since.c_str());
  double unmodifiedSince = 0;
  if (HasHeader(request, kHeaderIfUnmodifiedSince) &&
      ParseHttpDate(request.Headers.GetValue(kHeaderIfUnmodifiedSince), unmodifiedSince) &&
      modified != 0 && modified > unmodifiedSince) {
    response.SetStatus(kStatusPreconditionFailed);
  }
}

// Drops the request's "Range" unless its "If-Range" still holds for the response.
void CheckIfRange(THttpRequest& request, const THttpRequest& response) {
  if (!HasHeader(request, kHeaderIfRange)) return;
  const std::string condition = request.Headers.GetValue(kHeaderIfRange);
  const bool isEntityTag =
      StartsWithText(condition, kWeakTagPrefix) || (!condition.empty() && condition[0] == '"');
  bool holds = false;
  double date = 0;
  if (isEntityTag) {
    holds = response.Headers.HasValue(kHeaderEtag, condition);
  } else if (ParseHttpDate(condition, date)) {
    const double modified = response.GetDateHeader(THttpRequest::kLastModifiedGmt);
    holds = !(modified != 0 && modified > date);
  }
  if (!holds) request.Headers.RemoveHeader(kHeaderRange);
}

// Answers a "Range" request with 206 or 416 and cuts the body down to the range.
void ApplyRange(THttpRequest& request, THttpRequest& response, TBodySize& body) {
  CheckIfRange(request, response);
  THttpByteRange range;
  if (!HasHeader(request, kHeaderRange) ||
      !ParseRange(request.Headers.GetValue(kHeaderRange), body.Present, body.Size, range)) {
    return;
  }
  if ((body.Present && range.First >= body.Size) || range.Count <= 0) {
    response.SetStatus(kStatusRangeNotSatisfiable);
    response.Headers.RemoveHeader(kHeaderContentLength);
    if (body.Present) {
      response.Headers.SetValue(kHeaderContentRange, "*/" + std::to_string(body.Size));
    }
    body.Size = 0;
    return;
  }
  response.SetStatus(kStatusPartial);
  response.Headers.SetValue(kHeaderContentRange,
                            "bytes " + std::to_string(range.First) + "-" +
                                std::to_string(range.First + range.Count - 1) + "/" +
                                (body.Present ? std::to_string(body.Size) : std::string("*")));
  if (body.Present) response.Headers.SetValue(kHeaderContentLength, std::to_string(range.Count));
  if (range.First != 0) {
    if (response.ContentStream) {
      StreamSkip(*response.ContentStream, range.First);
    } else {
      // A range beyond a text body of unknown size must not cut more than the text holds.
      response.Content.erase(
          0, static_cast<size_t>(std::min<int64_t>(range.First, response.Content.size())));
    }
  }
  body.Size = range.Count;
  if (!response.ContentStream && static_cast<int64_t>(response.Content.size()) > range.Count) {
    response.Content.resize(static_cast<size_t>(range.Count));
  }
}

// "If-Match" and "If-None-Match" against the response's entity tag.
void ApplyEntityTags(const THttpRequest& request, THttpRequest& response) {
  if (HasHeader(request, kHeaderIfMatch) &&
      !response.MatchesEtag(request.Headers.GetValue(kHeaderIfMatch))) {
    response.SetStatus(kStatusPreconditionFailed);
  }
  if (IsSuccess(response) && HasHeader(request, kHeaderIfNoneMatch) &&
      response.MatchesEtag(request.Headers.GetValue(kHeaderIfNoneMatch))) {
    response.SetStatus(kStatusPreconditionFailed);
  }
}

bool BodyIsSent(const THttpRequest& request, const THttpRequest& response) {
  const int32_t status = response.StatusCode;
  if (SameText(request.Method, kMethodHead)) return false;
  return !((status >= 100 && status <= 199) || status == kStatusNoContent ||
           status == kStatusNotModified || status == kStatusPreconditionFailed ||
           status == kStatusRangeNotSatisfiable);
}

// Sends a text body, as one chunk when chunked; false on a socket error.
bool SendTextBody(TTCPBlockSocket& socket, const std::string& content, bool chunked) {
  if (!chunked) {
    socket.SendText(content);
    return socket.LastErrorCode() == 0;
  }
  for (const std::string& part :
       {HexText(content.size()) + kCRLF, content, std::string(kCRLF), std::string(kLastChunk)}) {
    socket.SendText(part);
    if (socket.LastErrorCode() != 0) return false;
  }
  return true;
}

// How a body fared when it was to go out with the head.
enum class TInlineBody { Appended, TooLarge, Failed };

// Appends a small plain body (the stream's next bytes, or the text) to the head's bytes.
TInlineBody AppendSmallBody(THttpRequest& answer, int64_t size, std::string& wire) {
  if (!answer.ContentStream) {
    if (static_cast<int64_t>(answer.Content.size()) > kInlineBodyLimit) {
      return TInlineBody::TooLarge;
    }
    wire += answer.Content;
    return TInlineBody::Appended;
  }
  if (size < 0 || size > kInlineBodyLimit) return TInlineBody::TooLarge;
  const size_t headLength = wire.size();
  wire.resize(headLength + static_cast<size_t>(size));
  std::istream& stream = *answer.ContentStream;
  stream.read(wire.data() + headLength, static_cast<std::streamsize>(size));
  // Like a streamed body, this one ends where the stream ends; only a failed read fails it.
  wire.resize(headLength + static_cast<size_t>(stream.gcount()));
  return stream.bad() ? TInlineBody::Failed : TInlineBody::Appended;
}

// Sends a body too large to go out with the head; false on a socket error or a failed read.
bool SendLargeBody(TTCPBlockSocket& socket, THttpRequest& answer, int64_t size, bool chunked) {
  if (answer.ContentStream) {
    return SendStreamData(socket, *answer.ContentStream, chunked, size) &&
           socket.LastErrorCode() == 0;
  }
  return answer.Content.empty() || SendTextBody(socket, answer.Content, chunked);
}

}  // namespace

TSynHttpServer::TSynHttpServer() {
  SetPort(kDefaultPort);
  SetOnCommand([this](TSynTcpSrvConnection& connection, const std::string& line) {
    HandleCommand(connection, line);
  });
  SetMaxLineLength(kMaxLineLength);
  SetHeadTimeout(kDefaultHeadTimeout);
  SetSendTimeout(kDefaultSendTimeout);
}

TSynHttpServer::~TSynHttpServer() {
  // Workers may be inside HandleCommand, which uses this object's events: end them first.
  Shutdown();
}

void TSynHttpServer::SetActive(bool value) {
  if (value == Active()) return;
  ConsoleLogFmt(kLogActive, value ? kLogStarting : kLogStopping, Port().c_str());
  totalLimitSaid_.store(false);
  addressLimitSaid_.store(false);
  TSynTcpServer::SetActive(value);
  ConsoleLog(kLogDone);
}

TSynHttpServer::THeadRead TSynHttpServer::ReadHeaders(TTCPBlockSocket& socket,
                                                      THeaderList& headers, int32_t timeoutMs) {
  const int32_t timeout = timeoutMs == 0 ? kDefaultHeaderTimeoutMs : timeoutMs;
  int lines = 0;
  int64_t bytes = 0;
  for (;;) {
    const std::string line = socket.ReceiveLine(timeout);
    if (socket.LastErrorCode() == kSocketLineTooLong) return THeadRead::TooLarge;
    if (socket.LastErrorCode() != 0) return THeadRead::Failed;
    if (line.empty()) break;
    bytes += static_cast<int64_t>(line.size() + std::string_view(kCRLF).size());
    if (++lines > kMaxHeaderLines || bytes > kMaxHeaderBytes) return THeadRead::TooLarge;
    const bool continuation = IsWhiteSpace(line.front());
    if (!IsWellFormedHeaderLine(line) || (continuation && headers.Count() == 0)) {
      return THeadRead::Malformed;
    }
    headers.Add(line);
  }
  std::string trace(kLogRequestHeaders);
  AppendEscapedLines(trace, headers);
  ConsoleLog(trace);
  return THeadRead::Complete;
}

void TSynHttpServer::HandleCommand(TSynTcpSrvConnection& connection,
                                   const std::string& requestLine) {
  auto request = std::make_unique<THttpRequest>();
  auto response = std::make_unique<THttpRequest>();
  if (!ReadRequest(connection, request, requestLine, response)) return;
  DoRequest(request, response);
  if (!response) return;
  // A handler that dropped the request leaves no conditions to apply: an empty one stands in.
  if (!request) request = std::make_unique<THttpRequest>();
  SendResponse(connection, request, response);
}

bool TSynHttpServer::ReadRequest(TSynTcpSrvConnection& connection,
                                 std::unique_ptr<THttpRequest>& request,
                                 const std::string& requestLine,
                                 std::unique_ptr<THttpRequest>& response) {
  TTCPBlockSocket& socket = connection.Socket();
  request->Connection = &connection;
  response->Connection = &connection;
  TraceEscaped(kLogCommand, requestLine);
  request->ParseRequestLine(requestLine);
  // An empty version is the old one-line form (or a stray line break), which has no status line
  // to answer with; every other request can be told what is wrong with it.
  const bool answerable = !request->Protocol.empty();
  const bool http11 = SpeaksHttp11(request->Protocol);
  response->Protocol = request->Protocol == kProtocol10 ? kProtocol10 : kProtocol11;
  if (!IsCleanRequestLine(requestLine)) {
    AnswerAndClose(connection, request, response, kStatusBadRequest);
    return false;
  }
  const THeadRead head = ReadHeaders(socket, request->Headers, LineTimeout());
  socket.ClearReadDeadline();  // the head is in: the body's reads are bounded by their timeout
  if (head != THeadRead::Complete) {
    if (head == THeadRead::Failed || !answerable) {
      Disconnect(connection);
    } else {
      AnswerAndClose(connection, request, response,
                     head == THeadRead::TooLarge ? kStatusHeadersTooLarge : kStatusBadRequest);
    }
    return false;
  }
  request->ParseHeaders(true);

  if (!http11 && request->Protocol != kProtocol10) {
    if (answerable) {
      AnswerAndClose(connection, request, response, kStatusBadRequest);
    } else {
      Disconnect(connection);
    }
    return false;
  }

  const TRequestBody body = JudgeRequestBody(request->Headers);
  if (body.Framing != TBodyFraming::Length) {
    AnswerAndClose(connection, request, response,
                   body.Framing == TBodyFraming::Unsupported ? kStatusNotImplemented
                                                              : kStatusBadRequest);
    return false;
  }
  if (body.Length > kMaxRequestBody) {
    // Refused before any of the body is read, so no client can make the server hold it.
    AnswerAndClose(connection, request, response, kStatusTooLarge);
    return false;
  }

  const std::string expect = request->Headers.GetValue(kHeaderExpect);
  if (http11 && !expect.empty()) {
    bool bnContinue = SameText(expect, kContinueToken);
    if (OnExpect) OnExpect(*this, *request, bnContinue);
    response->SetStatus(bnContinue ? kStatusContinue : kStatusExpectationFailed);
    socket.SendText(response->StatusLine() + kCRLF + kCRLF);
    if (!bnContinue) {
      Disconnect(connection);
      return false;
    }
  }

  if (body.Length > 0) {
    std::ostringstream bytes;
    socket.ReceiveToStream(bytes, LineTimeout(), body.Length);
    if (socket.LastErrorCode() != 0) {
      Disconnect(connection);
      return false;
    }
    request->Content = std::move(bytes).str();
    request->ContentStream = std::make_unique<std::istringstream>(request->Content);
  }

  response->SetStatus(kStatusNotFound);
  const bool keepAlive = http11 ? !request->Headers.HasValue(kHeaderConnection, kClose)
                                : request->Headers.HasValue(kHeaderConnection, kKeepAlive);
  response->Headers.SetValue(kHeaderConnection, keepAlive ? kKeepAlive : kClose);
  const std::string mediaType = request->GetHeader(THttpRequest::kMediaType);
  if (SameText(request->Method, kMethodPost) &&
      (SameText(mediaType, kFormUrlEncoded) || SameText(mediaType, kFormMultipart))) {
    request->ParseFormBody();
  }
  response->Headers.SetValue(kHeaderServer, kServerName);
  return true;
}

void TSynHttpServer::AnswerAndClose(TSynTcpSrvConnection& connection,
                                    std::unique_ptr<THttpRequest>& request,
                                    std::unique_ptr<THttpRequest>& response, int32_t status) {
  response->SetStatus(status);
  response->Headers.SetValue(kHeaderConnection, kClose);
  response->Headers.SetValue(kHeaderServer, kServerName);
  SendResponse(connection, request, response);
  Disconnect(connection);
}

void TSynHttpServer::ConnectionRefused(TConnectionLimit limit, const std::string& peer) {
  if (limit == TConnectionLimit::Total) {
    if (!totalLimitSaid_.exchange(true)) ConsoleLogFmt(kLogTotalLimit, MaxConnections());
  } else if (!addressLimitSaid_.exchange(true)) {
    ConsoleLogFmt(kLogAddressLimit, MaxConnectionsPerAddress(), peer.c_str());
  }
}

void TSynHttpServer::DoRequest(std::unique_ptr<THttpRequest>& request,
                               std::unique_ptr<THttpRequest>& response) {
  if (OnHttpGet) OnHttpGet(*this, request, response);
}

void TSynHttpServer::SendResponse(TSynTcpSrvConnection& connection,
                                  std::unique_ptr<THttpRequest>& request,
                                  std::unique_ptr<THttpRequest>& response) {
  TTCPBlockSocket& socket = connection.Socket();
  THttpRequest& answer = *response;
  answer.Cookies.WriteSetCookies(answer.Headers, request->GetHeader(THttpRequest::kHost),
                                 CookiePathFromUri(request->URI));
  if (!HasHeader(answer, kHeaderDate)) {
    // Straight from the UTC clock: a detour through local time would read the zone twice.
    answer.Headers.SetValue(kHeaderDate, CurrentHttpDate());
  }
  TBodySize body = SettleBodySize(answer);
  if (IsSuccess(answer)) ApplyModificationDates(*request, answer);
  if (IsSuccess(answer)) ApplyRange(*request, answer, body);
  if (IsSuccess(answer)) ApplyEntityTags(*request, answer);

  const std::string statusLine = answer.StatusLine();
  std::string trace(kLogResponseHeaders);
  AppendEscaped(trace, statusLine);
  trace += kCRLF;
  AppendEscapedLines(trace, answer.Headers);
  trace += kCRLF;
  ConsoleLog(trace);
  const bool chunked = answer.HasFlag(THttpRequest::kFlagChunked);
  const bool bodySent = BodyIsSent(*request, answer);
  std::string wire = WireHead(statusLine, answer.Headers, body.Size);
  const TInlineBody inlined =
      bodySent && !chunked ? AppendSmallBody(answer, body.Size, wire) : TInlineBody::TooLarge;
  socket.SendText(wire);
  if (socket.LastErrorCode() != 0 || inlined == TInlineBody::Failed) {
    Disconnect(connection);
    return;
  }
  if (bodySent && inlined == TInlineBody::TooLarge &&
      !SendLargeBody(socket, answer, body.Size, chunked)) {
    Disconnect(connection);
    return;
  }
  if (answer.Headers.HasValue(kHeaderConnection, kClose)) Disconnect(connection);
}

}  // namespace webtessl
