#include "tessel/EntryOrder.h"

#include <algorithm>
#include <string>

#include "tessel/NameIndex.h"

namespace webtessl {
namespace {

template <typename T>
int CompareValues(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

TEntryOrder::TEntryOrder(const TNameIndex& index, TSortKey key, bool ascending,
                         const std::vector<uint32_t>& ranks)
    : index_(index),
      key_(key),
      ascending_(ascending),
      pathsBackwards_(key == TSortKey::Path && !ascending),
      ranks_(ranks) {}

int TEntryOrder::CompareKeys(TEntryId a, TEntryId b) const {
  int order = 0;
  switch (key_) {
    case TSortKey::Path:
      return 0;
    case TSortKey::Name:
      order = index_.FoldedName(a).compare(index_.FoldedName(b));
      break;
    case TSortKey::Size:
      order = CompareValues(index_.SizeOf(a), index_.SizeOf(b));
      break;
    case TSortKey::Date:
      order = CompareValues(index_.ModifiedOf(a), index_.ModifiedOf(b));
      break;
  }
  return ascending_ ? order : -order;
}

bool TEntryOrder::PathBefore(TEntryId a, TEntryId b) const {
  static_assert(kUnrankedPath == TNameIndex::kUnranked);
  if (a == b) return false;
  const std::string pathA = index_.Path(a);
  const std::string pathB = index_.Path(b);
  return pathsBackwards_ ? pathB < pathA : pathA < pathB;
}

std::vector<TEntryId> ComputeOrderHead(const TNameIndex& index, const TEntryOrder& order,
                                       size_t length) {
  // A max-heap of the best so far: its top is the worst of them, the one a better entry replaces.
  std::vector<TEntryId> best;
  if (length == 0) return best;
  best.reserve(std::min(length, index.Size()));
  index.ForEachLive([&](TEntryId id) {
    if (index.IsRoot(id)) return;
    if (best.size() < length) {
      best.push_back(id);
      std::push_heap(best.begin(), best.end(), order);
    } else if (order(id, best.front())) {
      std::pop_heap(best.begin(), best.end(), order);
      best.back() = id;
      std::push_heap(best.begin(), best.end(), order);
    }
  });
  std::sort_heap(best.begin(), best.end(), order);
  return best;
}

}  // namespace webtessl
