#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace webtessl {

class THttpRequest;
class TIniFile;

// What one "/find" request asks for, read from the configuration and the query parameters. Each
// request builds its own values, so concurrent searches never see each other's. Pure functions,
// thread-safe.

// The search settings as read for one request.
struct TSearchSettings {
  std::vector<std::string> searchFolders;    // "dirs", sent as "QueryDir"
  std::vector<std::string> excludedFolders;  // "excludedirs", sent as "ExcludeDir"
  int32_t defaultPageSize = 25;              // "defaultpagesize"
  bool downloadEnabled = true;               // "enabledownload": rows link to downloads
};

// The query parameters of one search, decoded. Text is in the system code page.
struct TSearchParameters {
  std::string term;
  std::string filter;
  int32_t pageStart = 0;
  int32_t pageSize = 25;
  bool anyWord = false;
  bool wholeWords = false;
  bool caseSensitive = false;
  bool includeDirs = false;
  bool includeFiles = false;
  uint16_t timeoutMs = 1000;
  bool json = false;  // "format" is exactly "json"
  // Beyond the desktop protocol's first members; each is sent only when the request gives it, so
  // that a request without them asks exactly what it always asked.
  std::string sort;                // "sort": "name", "path", "size" or "date"; empty: the usual order
  std::optional<bool> ascending;   // "ascending": "on" or "off"; absent: the key's own default
  std::string within;              // "path": one folder the results must lie in
};

// The page size that replaces a "count" below 1, whatever the setting says.
constexpr int32_t kFallbackPageSize = 25;
// The largest page one search answers, whatever "count" or the default page size asks: a larger
// one would hand out the whole index in one answer.
constexpr int32_t kMaxPageSize = 1000;

// Reads the settings from the file anew, with one reading of it; a missing file (or none given)
// gives the defaults.
TSearchSettings LoadSearchSettings(const TIniFile* iniFile);

// Reads the request's query parameters ("term", "filter", "from", "count", the five flags,
// "timeout", "format", "sort", "ascending", "path") with their defaults. A "sort" key other than
// the four known ones and an "ascending" other than "on" or "off" count as absent.
TSearchParameters ReadSearchParameters(const THttpRequest& request,
                                       const TSearchSettings& settings);

// The JSON query for the desktop application, pure ASCII. The folder of "path" goes as
// "WithinDir", which the application only ever uses to leave results out: it narrows what the
// "dirs" setting ("QueryDir") allows and can never widen it.
std::string SearchQueryText(const TSearchParameters& parameters, const TSearchSettings& settings);

}  // namespace webtessl
