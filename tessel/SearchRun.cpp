#include "tessel/SearchRun.h"

#include <algorithm>
#include <set>

#include "tessel/CaseFold.h"
#include "tessel/FolderPaths.h"
#include "tessel/NameIndex.h"
#include "tessel/Wildcard.h"

namespace webtessl {
namespace {

constexpr char kDelimiter = '/';
// Up to this many matches are put in order by their paths; more by the index's path order.
constexpr size_t kDirectSortLimit = 2048;
// A page ending within this share of the matches is selected from all of them in one pass.
constexpr size_t kHeapSelectShare = 8;
// The words of a query are weighed by their occurrences in this much of the name arena.
constexpr size_t kSampleBytes = 256 * 1024;

bool ContainsWord(std::string_view text, std::string_view word, bool wholeWords) {
  for (size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
    if (!wholeWords) return true;
    const size_t end = at + word.size();
    const bool freeBefore = at == 0 || !IsWordCharBefore(text, at);
    const bool freeAfter = end == text.size() || !IsWordCharAt(text, end);
    if (freeBefore && freeAfter) return true;
  }
  return false;
}

// The texts of distinct, non-empty items, folded unless case matters.
std::vector<std::string> Distinct(const std::vector<std::string>& items, bool caseSensitive) {
  std::set<std::string> seen;
  std::vector<std::string> distinct;
  for (const std::string& item : items) {
    std::string text = caseSensitive ? item : FoldCase(item);
    if (!text.empty() && seen.insert(text).second) distinct.push_back(std::move(text));
  }
  return distinct;
}

// One search over the index: the query compiled into words, patterns and folder sets.
class TSearchRun {
 public:
  TSearchRun(TNameIndex& index, const TSearchQuery& query) : index_(index), query_(query) {
    for (std::string& word : Distinct(SplitWords(query.text), query.caseSensitive)) {
      if (word.find('\0') != std::string::npos) {
        impossibleWord_ = true;  // no name or path holds a NUL
      } else if (word.find(kDelimiter) != std::string::npos) {
        pathWords_.push_back(std::move(word));
      } else {
        nameWords_.push_back(std::move(word));
      }
    }
    for (const std::string& pattern : Distinct(SplitList(query.filter), query.caseSensitive))
      patterns_.emplace_back(pattern);
    includeFiles_ = query.includeFiles || !query.includeDirs;
    tooLarge_ =
        nameWords_.size() + pathWords_.size() > kMaxQueryTerms || patterns_.size() > kMaxQueryTerms;
  }

  TSearchResult Run() {
    TSearchResult result;
    if (tooLarge_ || (impossibleWord_ && !query_.anyWord) || !ResolveFolders()) return result;
    std::vector<TEntryId> matches;
    ForEachCandidate([&](const TNameHit& hit) {
      if (Accepts(hit)) matches.push_back(hit.entry);
    });
    result.count = matches.size();
    result.paths = Page(matches);
    return result;
  }

 private:
  // False when folders were asked for and none of them is indexed, or when the folder the
  // results must lie in is not indexed: nothing can match.
  bool ResolveFolders() {
    if (!query_.within.empty()) {
      const auto path = NormalizeFolder(query_.within);
      withinAt_ = path ? ResolveFolder(index_, *path) : kNoEntry;
      if (withinAt_ == kNoEntry) return false;
    }
    for (const std::string& folder : query_.dirs) {
      if (const auto path = NormalizeFolder(folder)) {
        const TEntryId id = ResolveFolder(index_, *path);
        if (id != kNoEntry) includeUnder_.push_back(id);
      }
    }
    for (const std::string& folder : query_.excludeDirs) {
      if (const auto path = NormalizeFolder(folder)) {
        const TEntryId id = ResolveFolder(index_, *path);
        if (id != kNoEntry) excludeAt_.push_back(id);
      }
    }
    return query_.dirs.empty() || !includeUnder_.empty();
  }

  // The literals of which every match holds at least one in its folded name; empty when there
  // are none, and every entry is a candidate.
  std::vector<std::string> CandidateLiterals() const {
    std::vector<std::string> literals;
    if (!query_.anyWord && !nameWords_.empty()) {
      literals.push_back(RarestWord());
    } else if (query_.anyWord && !nameWords_.empty() && pathWords_.empty()) {
      for (const std::string& word : nameWords_) literals.push_back(FoldCase(word));
    } else if (!patterns_.empty()) {
      for (const TWildcard& pattern : patterns_) {
        if (pattern.LongestLiteral().empty()) return {};
        literals.push_back(FoldCase(pattern.LongestLiteral()));
      }
    }
    return literals;
  }

  // The folded name word that the fewest names hold, judged by a sample of the arena; the
  // longest one among equals.
  std::string RarestWord() const {
    std::string best;
    size_t bestHits = 0;
    for (const std::string& word : nameWords_) {
      std::string folded = FoldCase(word);
      const size_t hits = index_.SampleHits(folded, kSampleBytes);
      if (best.empty() || hits < bestHits || (hits == bestHits && folded.size() > best.size())) {
        best = std::move(folded);
        bestHits = hits;
      }
    }
    return best;
  }

  template <typename OnHit>
  void ForEachCandidate(OnHit onHit) const {
    const std::vector<std::string> literals = CandidateLiterals();
    if (literals.empty()) {
      index_.ForEachLive([&](TEntryId id) { onHit(index_.HitOf(id)); });
    } else if (literals.size() == 1) {
      index_.ForEachFoldedHit(literals.front(), onHit);
    } else {
      std::vector<bool> found(index_.IdLimit(), false);
      for (const std::string& literal : literals)
        index_.ForEachFoldedHit(literal,
                                [&found](const TNameHit& hit) { found[hit.entry] = true; });
      for (TEntryId id = 0; id < found.size(); ++id) {
        if (found[id]) onHit(index_.HitOf(id));
      }
    }
  }

  bool Accepts(const TNameHit& hit) {
    if (hit.isRoot) return false;
    if (hit.isDirectory ? !query_.includeDirs : !includeFiles_) return false;
    const TEntryId id = hit.entry;
    const std::string_view name = query_.caseSensitive ? index_.Name(id) : hit.folded;
    if (!patterns_.empty() && std::none_of(patterns_.begin(), patterns_.end(),
                                           [name](const TWildcard& p) { return p.Matches(name); }))
      return false;
    return MatchesWords(id, name) && InFolders(id);
  }

  bool MatchesWords(TEntryId id, std::string_view name) {
    if (nameWords_.empty() && pathWords_.empty()) return !impossibleWord_;
    const bool any = query_.anyWord;
    for (const std::string& word : nameWords_) {
      if (ContainsWord(name, word, query_.wholeWords) == any) return any;
    }
    if (!pathWords_.empty()) {
      path_.clear();
      if (query_.caseSensitive) {
        index_.AppendPath(id, path_);
      } else {
        index_.AppendFoldedPath(id, path_);
      }
      for (const std::string& word : pathWords_) {
        if (ContainsWord(path_, word, query_.wholeWords) == any) return any;
      }
    }
    return !any;
  }

  // Under one of the search folders (when any), under the narrowing folder (when given), and
  // under none of the excluded ones.
  bool InFolders(TEntryId id) const {
    if (includeUnder_.empty() && excludeAt_.empty() && withinAt_ == kNoEntry) return true;
    bool under = includeUnder_.empty();
    bool within = withinAt_ == kNoEntry;
    for (TEntryId up = id;; up = index_.Parent(up)) {
      if (std::find(excludeAt_.begin(), excludeAt_.end(), up) != excludeAt_.end()) return false;
      if (up != id && !under)
        under = std::find(includeUnder_.begin(), includeUnder_.end(), up) != includeUnder_.end();
      if (up != id && !within) within = up == withinAt_;
      if (index_.IsRoot(up)) return under && within;
    }
  }

  std::vector<std::string> Page(std::vector<TEntryId>& matches) {
    const size_t from = std::min<size_t>(static_cast<size_t>(query_.from), matches.size());
    const size_t end =
        from + std::min<size_t>(static_cast<size_t>(query_.count), matches.size() - from);
    std::vector<std::string> paths;
    if (from == end) return paths;
    if (matches.size() <= kDirectSortLimit) {
      std::vector<std::string> all;
      all.reserve(matches.size());
      for (const TEntryId id : matches) all.push_back(index_.Path(id));
      std::sort(all.begin(), all.end());
      paths.assign(std::make_move_iterator(all.begin() + from),
                   std::make_move_iterator(all.begin() + end));
      return paths;
    }
    const std::vector<uint32_t>& ranks = index_.PathRanks();
    const auto byRank = [&ranks](TEntryId a, TEntryId b) { return ranks[a] < ranks[b]; };
    if (end <= matches.size() / kHeapSelectShare) {
      // An early page: one pass keeps the first `end` in a heap, most matches are only compared
      // with its top.
      std::partial_sort(matches.begin(), matches.begin() + end, matches.end(), byRank);
    } else {
      std::nth_element(matches.begin(), matches.begin() + from, matches.end(), byRank);
      std::partial_sort(matches.begin() + from, matches.begin() + end, matches.end(), byRank);
    }
    for (size_t i = from; i < end; ++i) paths.push_back(index_.Path(matches[i]));
    return paths;
  }

  TNameIndex& index_;
  const TSearchQuery& query_;
  std::vector<std::string> nameWords_;
  std::vector<std::string> pathWords_;
  std::vector<TWildcard> patterns_;
  std::vector<TEntryId> includeUnder_;
  std::vector<TEntryId> excludeAt_;
  TEntryId withinAt_ = kNoEntry;
  bool includeFiles_ = true;
  bool impossibleWord_ = false;
  bool tooLarge_ = false;
  std::string path_;
};

}  // namespace

TSearchResult RunSearch(TNameIndex& index, const TSearchQuery& query) {
  return TSearchRun(index, query).Run();
}

}  // namespace webtessl
