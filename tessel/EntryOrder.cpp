#include "tessel/EntryOrder.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>

#include "tessel/NameIndex.h"

namespace webtessl {
namespace {

template <typename T>
int CompareValues(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// A bound is looked for in indexes of more than this many times the head's length.
constexpr size_t kBoundFromEntries = 4;
// Keys sampled for the bound, and how many times the head's length should reach it.
constexpr size_t kBoundSample = 4096;
constexpr size_t kBoundShare = 2;

// An entry whose key about kBoundShare * length live entries reach (are at least as good as), from
// a sample of the index spread over its ids; none for the path key, whose ties decide everything,
// and for small indexes.
std::optional<TEntryId> KeyBound(const TNameIndex& index, const TEntryOrder& order, size_t length) {
  const size_t live = index.Size();
  if (order.Key() == TSortKey::Path || live / kBoundFromEntries < length) return std::nullopt;
  std::vector<TEntryId> sample;
  const size_t step = std::max<size_t>(1, index.IdLimit() / kBoundSample);
  for (size_t id = 0; id < index.IdLimit(); id += step) {
    const auto entry = static_cast<TEntryId>(id);
    if (index.IsLive(entry) && !index.IsRoot(entry)) sample.push_back(entry);
  }
  if (sample.empty()) return std::nullopt;
  const size_t at = std::min(sample.size() - 1, kBoundShare * length * sample.size() / live);
  std::nth_element(sample.begin(), sample.begin() + static_cast<std::ptrdiff_t>(at), sample.end(),
                   [&order](TEntryId a, TEntryId b) { return order.CompareKeys(a, b) < 0; });
  return sample[at];
}

// The first `length` live entries (roots left out) among those whose key reaches the bound (all
// when there is none), in order: a heap keeps the best so far, its top the worst of them, the one
// a better entry replaces. None when fewer than `length` entries reach the bound, since the head
// may then hold entries beyond it.
std::optional<std::vector<TEntryId>> HeadWithin(const TNameIndex& index, const TEntryOrder& order,
                                                size_t length, std::optional<TEntryId> bound) {
  std::vector<TEntryId> best;
  best.reserve(std::min(length, index.Size()));
  size_t reaching = 0;
  index.ForEachLive([&](TEntryId id) {
    if (index.IsRoot(id) || (bound && order.CompareKeys(id, *bound) > 0)) return;
    ++reaching;
    if (best.size() < length) {
      best.push_back(id);
      std::push_heap(best.begin(), best.end(), order);
    } else if (order(id, best.front())) {
      std::pop_heap(best.begin(), best.end(), order);
      best.back() = id;
      std::push_heap(best.begin(), best.end(), order);
    }
  });
  if (bound && reaching < length) return std::nullopt;
  std::sort_heap(best.begin(), best.end(), order);
  return best;
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
  if (length == 0) return {};
  if (const std::optional<TEntryId> bound = KeyBound(index, order, length)) {
    if (auto head = HeadWithin(index, order, length, bound)) return std::move(*head);
  }
  return *HeadWithin(index, order, length, std::nullopt);
}

}  // namespace webtessl
