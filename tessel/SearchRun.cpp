#include "tessel/SearchRun.h"

#include <algorithm>
#include <optional>
#include <set>
#include <span>
#include <system_error>
#include <thread>

#include "tessel/CaseFold.h"
#include "tessel/EntryOrder.h"
#include "tessel/FolderPaths.h"
#include "tessel/NameIndex.h"
#include "tessel/Wildcard.h"

namespace webtessl {
namespace {

constexpr char kDelimiter = '/';
// Up to this many matches are put in order by their paths; more by the index's path order.
constexpr size_t kDirectSortLimit = 2048;
// A page that ends within this many matches of a large set is looked for along the head of the
// index's presorted order; later pages are selected from all matches.
constexpr size_t kHeadPageLimit = 4096;
// A page ending within this share of the matches is selected from all of them in one pass.
constexpr size_t kHeapSelectShare = 8;
// The words of a query are weighed by their occurrences in this much of the name arena.
constexpr size_t kSampleBytes = 256 * 1024;
// An index with this many entry ids is searched in two halves at once.
constexpr size_t kParallelEntries = 1 << 18;
// Candidates looked at between two looks at the clock.
constexpr size_t kCandidatesPerClockLook = 4096;
// Candidates handed over at once when they are not found by the name search.
constexpr size_t kHitBatch = 256;

using Clock = std::chrono::steady_clock;

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
  TSearchRun(const TNameIndex& index, const TSearchQuery& query, Clock::time_point deadline)
      : index_(index), query_(query), deadline_(deadline) {
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
    const std::vector<std::string> literals = CandidateLiterals();
    literalDecides_ = literals.size() == 1 && nameWords_.size() == 1 && pathWords_.empty() &&
                      !query_.anyWord && !query_.caseSensitive && !query_.wholeWords &&
                      literals.front() == nameWords_.front();
    for (const TEntryId id : Answer(literals, result)) {
      result.paths.push_back(index_.Path(id));
      result.facts.push_back(index_.Facts(id));
    }
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

  // The page's matches in the query's order, with the count of all matches (or of those found
  // by the deadline) in `result`. A page early in a large set is taken from the head of the
  // index's presorted order, after a pass that only counts the matches.
  std::vector<TEntryId> Answer(const std::vector<std::string>& literals, TSearchResult& result) {
    const auto from = static_cast<size_t>(std::max<int64_t>(query_.from, 0));
    const size_t end = from + static_cast<size_t>(std::max<int64_t>(query_.count, 0));
    std::vector<TEntryId> matches;
    if (end <= kHeadPageLimit) {
      if (Unconditional()) {
        result.count = (includeFiles_ ? index_.FileCount() : 0) +
                       (query_.includeDirs ? index_.FolderCount() : 0);
        if (result.count > kDirectSortLimit) {
          if (auto page = PageFromHead(from, end)) return *page;
        }
      } else {
        result.cut = !GatherMatches(literals, kDirectSortLimit, matches, result.count);
        if (matches.size() == result.count || result.cut) return Page(matches);
        if (auto page = PageFromHead(from, end)) return *page;
      }
      matches.clear();  // the head is too short for this page: all matches are gathered
    }
    result.cut = !GatherMatches(literals, SIZE_MAX, matches, result.count);
    return Page(matches);
  }

  // Whether every entry of the asked kinds matches: no words, patterns or folders.
  bool Unconditional() const {
    return nameWords_.empty() && pathWords_.empty() && patterns_.empty() && !impossibleWord_ &&
           includeUnder_.empty() && excludeAt_.empty() && withinAt_ == kNoEntry;
  }

  // The page [from, end) looked for along the head of the index's presorted order of the query;
  // none when fewer than `end` matches lie in the head and the head is not the whole order.
  std::optional<std::vector<TEntryId>> PageFromHead(size_t from, size_t end) const {
    const auto head = index_.OrderHead(query_.sort, query_.ascending);
    std::vector<TEntryId> page;
    std::string pathBuffer;
    size_t seen = 0;
    for (const TEntryId id : *head) {
      if (!Accepts(index_.HitOf(id), false, pathBuffer)) continue;
      if (seen >= from) page.push_back(id);
      if (++seen == end) return page;
    }
    if (head->size() < TNameIndex::kOrderHeadLength) return page;  // the whole order: all seen
    return std::nullopt;
  }

  // Counts the matches into `count` and keeps up to `keep` of them (per half) in candidate order;
  // false when the deadline cut the search short. A large index is searched in two halves at
  // once, one on a thread of its own.
  bool GatherMatches(const std::vector<std::string>& literals, size_t keep,
                     std::vector<TEntryId>& matches, size_t& count) const {
    if (index_.IdLimit() < kParallelEntries || literals.size() > 1)
      return GatherPart(literals, 0, 1, keep, matches, count);
    std::vector<TEntryId> second;
    size_t secondCount = 0;
    bool secondComplete = true;
    std::optional<std::thread> helper;
    try {
      helper.emplace(
          [&] { secondComplete = GatherPart(literals, 1, 2, keep, second, secondCount); });
    } catch (const std::system_error&) {
      // No thread to be had: the second half is searched here after the first.
    }
    bool complete = GatherPart(literals, 0, 2, keep, matches, count);
    if (helper) {
      helper->join();
    } else {
      secondComplete = GatherPart(literals, 1, 2, keep, second, secondCount);
    }
    matches.insert(matches.end(), second.begin(), second.end());
    count += secondCount;
    return complete && secondComplete;
  }

  // The matches among one of `parts` shares of the candidates.
  bool GatherPart(const std::vector<std::string>& literals, size_t part, size_t parts,
                  size_t keep, std::vector<TEntryId>& matches, size_t& count) const {
    size_t sinceClockLook = 0;
    bool cut = false;
    count = 0;
    const bool fromLiteral = !literals.empty();
    std::string pathBuffer;
    const auto take = [&](std::span<const TNameHit> hits) {
      if (query_.caseSensitive) index_.PrefetchNames(hits);
      for (const TNameHit& hit : hits) {
        if (Accepts(hit, fromLiteral, pathBuffer) && count++ < keep) matches.push_back(hit.entry);
      }
      sinceClockLook += hits.size();
      if (sinceClockLook < kCandidatesPerClockLook) return true;
      sinceClockLook = 0;
      cut = Clock::now() >= deadline_;
      return !cut;
    };
    return ForEachCandidate(literals, part, parts, take) && !cut;
  }

  // Hands onHits every candidate of the part, a batch at a time, until it returns false. False
  // when it did, or when the deadline passed before all candidates were gathered (those gathered
  // are still looked at). Several literals are taken as one part.
  template <typename OnHits>
  bool ForEachCandidate(const std::vector<std::string>& literals, size_t part, size_t parts,
                        OnHits onHits) const {
    if (literals.size() == 1) {
      bool complete = true;
      index_.ForEachFoldedHitInPart(literals.front(), part, parts,
                                    [&](std::span<const TNameHit> hits) {
                                      return complete = onHits(hits);
                                    });
      return complete;
    }
    if (literals.empty()) {
      const size_t limit = index_.IdLimit();
      return ForEachLiveHit(limit * part / parts, limit * (part + 1) / parts,
                            [this](TEntryId id) { return index_.IsLive(id); }, onHits);
    }
    std::vector<bool> found(index_.IdLimit(), false);
    bool complete = true;
    for (const std::string& literal : literals) {
      index_.ForEachFoldedHit(literal, [&found](std::span<const TNameHit> hits) {
        for (const TNameHit& hit : hits) found[hit.entry] = true;
        return true;
      });
      if (Clock::now() >= deadline_) {
        complete = false;
        break;
      }
    }
    return ForEachLiveHit(0, found.size(), [&found](TEntryId id) { return found[id]; }, onHits) &&
           complete;
  }

  // Hands onHits the hits of the ids in [from, end) that are chosen, a batch at a time; false
  // when onHits returned false.
  template <typename Chosen, typename OnHits>
  bool ForEachLiveHit(size_t from, size_t end, Chosen chosen, OnHits onHits) const {
    std::vector<TNameHit> batch;
    for (auto id = static_cast<TEntryId>(from); id < end; ++id) {
      if (!chosen(id)) continue;
      batch.push_back(index_.HitOf(id));
      if (batch.size() == kHitBatch) {
        if (!onHits(std::span<const TNameHit>(batch))) return false;
        batch.clear();
      }
    }
    return batch.empty() || onHits(std::span<const TNameHit>(batch));
  }

  // Whether the candidate matches the query; `fromLiteral` when it was found by the candidate
  // literal, which then need not be looked for again when it is the only word. `pathBuffer` is
  // the caller's room for a full path, kept between calls (the halves of a search run at once,
  // each with its own).
  bool Accepts(const TNameHit& hit, bool fromLiteral, std::string& pathBuffer) const {
    if (hit.isRoot) return false;
    if (hit.isDirectory ? !query_.includeDirs : !includeFiles_) return false;
    const TEntryId id = hit.entry;
    const std::string_view name = query_.caseSensitive && hit.ownName ? index_.Name(id) : hit.folded;
    if (!patterns_.empty() && std::none_of(patterns_.begin(), patterns_.end(),
                                           [name](const TWildcard& p) { return p.Matches(name); }))
      return false;
    return ((fromLiteral && literalDecides_) || MatchesWords(id, name, pathBuffer)) &&
           InFolders(id);
  }

  bool MatchesWords(TEntryId id, std::string_view name, std::string& path) const {
    if (nameWords_.empty() && pathWords_.empty()) return !impossibleWord_;
    const bool any = query_.anyWord;
    for (const std::string& word : nameWords_) {
      if (ContainsWord(name, word, query_.wholeWords) == any) return any;
    }
    if (!pathWords_.empty()) {
      path.clear();
      if (query_.caseSensitive) {
        index_.AppendPath(id, path);
      } else {
        index_.AppendFoldedPath(id, path);
      }
      for (const std::string& word : pathWords_) {
        if (ContainsWord(path, word, query_.wholeWords) == any) return any;
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

  // The matches of the page asked for, in the query's order. A page of a large set is selected,
  // not sorted with all the others.
  std::vector<TEntryId> Page(std::vector<TEntryId>& matches) const {
    const size_t from = std::min<size_t>(static_cast<size_t>(query_.from), matches.size());
    const size_t end =
        from + std::min<size_t>(static_cast<size_t>(query_.count), matches.size() - from);
    if (from == end) return {};
    if (matches.size() <= kDirectSortLimit) {
      // The path ranks are not needed here (they may be out of date after a change).
      static const std::vector<uint32_t> kNoRanks;
      const TEntryOrder order(index_, query_.sort, query_.ascending, kNoRanks);
      const bool backwards = order.PathsBackwards();
      // Few matches: their paths are compared directly, without the index's path order.
      std::vector<std::pair<TEntryId, std::string>> all;
      all.reserve(matches.size());
      for (const TEntryId id : matches) all.emplace_back(id, index_.Path(id));
      std::sort(all.begin(), all.end(), [&](const auto& a, const auto& b) {
        if (const int byKey = order.CompareKeys(a.first, b.first); byKey != 0) return byKey < 0;
        return backwards ? b.second < a.second : a.second < b.second;
      });
      std::vector<TEntryId> page;
      for (size_t i = from; i < end; ++i) page.push_back(all[i].first);
      return page;
    }
    const auto ranks = index_.PathRanks();
    const TEntryOrder before(index_, query_.sort, query_.ascending, *ranks);
    if (end <= matches.size() / kHeapSelectShare) {
      // An early page: one pass keeps the first `end` in a heap, most matches are only compared
      // with its top.
      std::partial_sort(matches.begin(), matches.begin() + end, matches.end(), before);
    } else {
      std::nth_element(matches.begin(), matches.begin() + from, matches.end(), before);
      std::partial_sort(matches.begin() + from, matches.begin() + end, matches.end(), before);
    }
    return {matches.begin() + from, matches.begin() + end};
  }

  const TNameIndex& index_;
  const TSearchQuery& query_;
  const Clock::time_point deadline_;
  std::vector<std::string> nameWords_;
  std::vector<std::string> pathWords_;
  std::vector<TWildcard> patterns_;
  std::vector<TEntryId> includeUnder_;
  std::vector<TEntryId> excludeAt_;
  TEntryId withinAt_ = kNoEntry;
  bool includeFiles_ = true;
  bool impossibleWord_ = false;
  bool literalDecides_ = false;  // the candidate literal is the query's one word
  bool tooLarge_ = false;
};

}  // namespace

TSearchResult RunSearch(const TNameIndex& index, const TSearchQuery& query,
                        Clock::time_point deadline) {
  return TSearchRun(index, query, deadline).Run();
}

}  // namespace webtessl
