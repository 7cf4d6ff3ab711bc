#pragma once

#include <cstdint>
#include <string_view>

#include "http/HeaderList.h"

namespace webtessl {

// The checks that make a request's head mean one thing only, to this server and to any proxy in
// front of it, before the server acts on it. Thread-safe: no state.

// True when the request line holds no control byte (codes 0 to 31 and 127): no CR or LF alone,
// no NUL, no escape sequence.
bool IsCleanRequestLine(std::string_view line);

// True when a received header line can stand: no control byte other than the tab, and either a
// continuation (it begins with a blank or a tab) or a name of visible characters followed
// directly by a colon. "Content-Length : 5" (a blank before the colon) is not well formed.
bool IsWellFormedHeaderLine(std::string_view line);

// How the body of a request is delimited.
enum class TBodyFraming {
  Length,       // by "Content-Length" (0 when there is none)
  Malformed,    // a length that is not plain decimal digits, or two lengths that differ
  Unsupported,  // "Transfer-Encoding" of any kind: not read here
};

struct TRequestBody {
  TBodyFraming Framing = TBodyFraming::Length;
  // The length when Framing is Length; a length too large for 64 bits stands as INT64_MAX.
  int64_t Length = 0;
};

// Judges the body framing of a request from its headers.
TRequestBody JudgeRequestBody(const THeaderList& headers);

}  // namespace webtessl
