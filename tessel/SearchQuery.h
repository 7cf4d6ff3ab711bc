#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tessel/SortKey.h"

namespace webtessl {

// Page size when a query names none.
constexpr int64_t kDefaultQueryCount = 25;

// One search as the server asks it: the members of its JSON query, with texts in the system code
// page (UTF-8 here) and folder lists split at ";".
struct TSearchQuery {
  std::string text;                      // QueryStr
  std::string filter;                    // QueryFilter
  std::vector<std::string> dirs;         // QueryDir
  std::vector<std::string> excludeDirs;  // ExcludeDir
  std::string within;                    // WithinDir: results must lie in it; never indexed anew
  int64_t from = 0;                      // QueryFrom
  int64_t count = kDefaultQueryCount;    // QueryCount
  bool anyWord = false;                  // SpaceOr
  bool wholeWords = false;               // WholeWords
  bool includeDirs = false;              // IncludeDir
  bool includeFiles = false;             // IncludeFiles
  bool caseSensitive = false;            // CaseSensitive
  TSortKey sort = TSortKey::Path;        // Sort: "name", "path", "size", "date"; else path
  bool ascending = true;                 // SortAscending; when absent, false for size and date
};

// What a message asks for.
struct TParsedMessage {
  enum class TKind {
    Search,     // a search command with a usable query
    Malformed,  // not a JSON object, or a search with members it cannot use: answered empty
    Other       // another command: not answered
  };
  TKind kind = TKind::Malformed;
  TSearchQuery query;
};

// Reads the bytes of one message (JSON text in the system code page). Thread-safe.
TParsedMessage ParseMessage(std::string_view payload);

// Splits a search text at blanks into words; text between double quotes is one word (a quote
// left open runs to the end). Empty words are dropped. Thread-safe.
std::vector<std::string> SplitWords(std::string_view text);

// Splits a list at ";", dropping blanks around the items and empty items. Thread-safe.
std::vector<std::string> SplitList(std::string_view text);

}  // namespace webtessl
