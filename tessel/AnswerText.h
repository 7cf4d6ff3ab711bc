#pragma once

#include <string>

#include "tessel/SearchRun.h"

namespace webtessl {

// The most bytes of result paths one answer carries (before JSON escaping); later results of a
// page are left out, so an answer always fits in one desktop message.
constexpr size_t kMaxAnswerPathBytes = 4 * 1024 * 1024;

// The answer to a search: the JSON object
//   {"results": [{"FileName": path, "size": bytes, "time": seconds since 1970 UTC}, ...],
//    "count": n}
// with "indexing": true while the index is still being built and "cut": true when the search
// stopped at its time budget (the results and count are then those found until then), written as pure ASCII (every other
// character escaped), which is the same text in the system code page. Thread-safe.
std::string AnswerText(const TSearchResult& result, bool indexing);

}  // namespace webtessl
