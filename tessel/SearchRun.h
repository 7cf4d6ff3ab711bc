#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tessel/SearchQuery.h"

namespace webtessl {

class TNameIndex;

// The outcome of one search: the full paths of the requested page, in full-path order, and the
// number of all matches.
struct TSearchResult {
  std::vector<std::string> paths;
  size_t count = 0;
};

// Queries with more distinct words or filter patterns than this get an empty result: each costs a
// pass over the index.
constexpr size_t kMaxQueryTerms = 64;

// Answers a search from the index as it stands. The caller holds the index's lock; the index's
// path order may be computed on the way. Thread-safe for distinct indexes.
TSearchResult RunSearch(TNameIndex& index, const TSearchQuery& query);

}  // namespace webtessl
