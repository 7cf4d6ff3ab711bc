#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "tessel/EntryFacts.h"
#include "tessel/SearchQuery.h"

namespace webtessl {

class TNameIndex;

// The outcome of one search: the full paths of the requested page in the query's order, with
// their facts, and the number of all matches. A search cut short at its deadline answers from the
// matches it had found by then (`cut`; `count` is then the number of those).
struct TSearchResult {
  std::vector<std::string> paths;
  std::vector<TEntryFacts> facts;  // beside paths
  size_t count = 0;
  bool cut = false;
};

// Queries with more distinct words or filter patterns than this get an empty result: each costs a
// pass over the index.
constexpr size_t kMaxQueryTerms = 64;

// Answers a search from the index as it stands, stopping to look for matches at the deadline. The
// caller holds the index's lock against changes; the index's path order may be computed on the
// way. Several searches may run on one index at once.
TSearchResult RunSearch(const TNameIndex& index, const TSearchQuery& query,
                        std::chrono::steady_clock::time_point deadline =
                            std::chrono::steady_clock::time_point::max());

}  // namespace webtessl
