#pragma once

#include <string>
#include <vector>

#include "bench/tessel/TesselClient.h"

namespace webtessl::bench {

// One fixed query of the benchmark, asked of tessel and of plocate with the same meaning: the
// entries (files and folders) whose own name matches.
struct TBenchQuery {
  std::string label;
  TTesselQuery tessel;
  // plocate's patterns; its -b (names only) is always given, its -i unless case matters.
  std::vector<std::string> plocatePatterns;
};

// The fixed set over the generated tree: a rare word, a common two-letter substring, two
// words, a file-name filter, a case-sensitive word.
std::vector<TBenchQuery> BenchQueries();

// plocate's command line that counts the matches of `query` in `database`, with its own timing
// on standard error.
std::vector<std::string> PlocateCountCommand(const std::string& plocate, const std::string& database,
                                             const TBenchQuery& query);

}  // namespace webtessl::bench
