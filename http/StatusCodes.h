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

// Sets text to the reason phrase of the code and returns true; false, text untouched, for a code
// not in the table.
bool StatusText(int32_t code, std::string& text);

}  // namespace webtessl
