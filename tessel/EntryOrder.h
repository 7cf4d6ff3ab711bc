#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tessel/ChildTable.h"
#include "tessel/SortKey.h"

namespace webtessl {

class TNameIndex;

// The order of an answer over the live entries of an index: the sort key in its direction, ties
// in forward full-path order so that pages follow each other stably (the path key itself runs in
// either direction). Reads the index and its path ranks (TNameIndex::PathRanks), which must stay
// unchanged while it is used. Thread-safe because immutable.
class TEntryOrder {
 public:
  TEntryOrder(const TNameIndex& index, TSortKey key, bool ascending,
              const std::vector<uint32_t>& ranks);

  // Whether a comes before b.
  bool operator()(TEntryId a, TEntryId b) const {
    if (const int order = CompareKeys(a, b); order != 0) return order < 0;
    const uint32_t rankA = ranks_[a];
    const uint32_t rankB = ranks_[b];
    if (rankA == kUnrankedPath || rankB == kUnrankedPath) return PathBefore(a, b);
    return pathsBackwards_ ? rankB < rankA : rankA < rankB;
  }

  // The key of a and b compared in the asked direction: below 0 when a comes first, 0 when the key
  // does not tell them apart (always so for the path key).
  int CompareKeys(TEntryId a, TEntryId b) const;
  // Whether ties are in backwards path order (the path key asked descending).
  bool PathsBackwards() const { return pathsBackwards_; }
  TSortKey Key() const { return key_; }

 private:
  static constexpr uint32_t kUnrankedPath = UINT32_MAX;  // TNameIndex::kUnranked

  // The ties of two entries decided by their full paths, for an entry without a rank.
  bool PathBefore(TEntryId a, TEntryId b) const;

  const TNameIndex& index_;
  const TSortKey key_;
  const bool ascending_;
  const bool pathsBackwards_;
  const std::vector<uint32_t>& ranks_;
};

// The first `length` live entries of the order (roots left out), in order: one pass over the
// index that keeps the best ones in a heap. In a large index sorted by name, size or date, the
// heap only sees the entries whose key reaches a bound taken from a sample of the keys, about
// twice `length` of them (all of them again when fewer reach it). Thread-safe for an index that
// does not change.
std::vector<TEntryId> ComputeOrderHead(const TNameIndex& index, const TEntryOrder& order,
                                       size_t length);

}  // namespace webtessl
