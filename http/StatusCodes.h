#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace webtessl {

// The reason phrases of the HTTP status codes this server knows. Thread-safe: constant.

// One row of the status table.
struct THttpStatusMsg {
  int32_t code;
  std::string_view text;
};

constexpr size_t kHttpStatusCount = 42;

// Every known status code with its reason phrase, most used first.
extern const std::array<THttpStatusMsg, kHttpStatusCount> HttpStatusMessages;

// The status codes the server's handlers answer with, by name.
inline constexpr int32_t kStatusContinue = 100;
inline constexpr int32_t kStatusOk = 200;
inline constexpr int32_t kStatusNoContent = 204;
inline constexpr int32_t kStatusPartial = 206;
inline constexpr int32_t kStatusFound = 302;
inline constexpr int32_t kStatusNotModified = 304;
inline constexpr int32_t kStatusBadRequest = 400;
inline constexpr int32_t kStatusUnauthorized = 401;
inline constexpr int32_t kStatusNotFound = 404;
inline constexpr int32_t kStatusPreconditionFailed = 412;
inline constexpr int32_t kStatusTooLarge = 413;
inline constexpr int32_t kStatusRangeNotSatisfiable = 416;
inline constexpr int32_t kStatusExpectationFailed = 417;
inline constexpr int32_t kStatusMisdirected = 421;
inline constexpr int32_t kStatusHeadersTooLarge = 431;
inline constexpr int32_t kStatusInternalError = 500;
inline constexpr int32_t kStatusNotImplemented = 501;

// Sets text to the reason phrase of the code and returns true; false, text untouched, for a code
// not in the table.
bool StatusText(int32_t code, std::string& text);

}  // namespace webtessl
