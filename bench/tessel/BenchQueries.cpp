#include "bench/tessel/BenchQueries.h"

#include "bench/tessel/TreePlan.h"

namespace webtessl::bench {
namespace {

// A query over names of files and folders alike, as plocate's -b sees them.
TBenchQuery Query(std::string label, std::string term, std::string filter, bool caseSensitive,
                  std::vector<std::string> plocatePatterns) {
  TTesselQuery tessel;
  tessel.term = std::move(term);
  tessel.filter = std::move(filter);
  tessel.caseSensitive = caseSensitive;
  tessel.includeDirs = true;
  tessel.includeFiles = true;
  return {std::move(label), tessel, std::move(plocatePatterns)};
}

}  // namespace

std::vector<TBenchQuery> BenchQueries() {
  const std::string rare = kRareWord;
  return {
      Query("rare word \"" + rare + "\"", rare, "", false, {rare}),
      Query("two letters \"re\"", "re", "", false, {"re"}),
      Query("two words \"budget 2019\"", "budget 2019", "", false, {"budget", "2019"}),
      Query("filter \"*.txt\"", "", "*.txt", false, {"*.txt"}),
      Query("case-sensitive \"Invoice\"", "Invoice", "", true, {"Invoice"}),
  };
}

std::vector<std::string> PlocateCountCommand(const std::string& plocate, const std::string& database,
                                             const TBenchQuery& query) {
  std::vector<std::string> command{plocate, "--debug", "-d", database, "-c", "-b"};
  if (!query.tessel.caseSensitive) command.push_back("-i");
  command.insert(command.end(), query.plocatePatterns.begin(), query.plocatePatterns.end());
  return command;
}

}  // namespace webtessl::bench
