#include "tessel/ChildTable.h"

namespace webtessl {
namespace {

constexpr size_t kInitialSlots = 1024;

}  // namespace

TChildTable::TChildTable(TKeyOf keyOf)
    : keyOf_(std::move(keyOf)), slots_(kInitialSlots, kNoEntry) {}

size_t TChildTable::Hash(const TChildKey& key) {
  const size_t nameHash = std::hash<std::string_view>{}(key.name);
  return nameHash ^ (static_cast<size_t>(key.parent) * 0x9E3779B97F4A7C15ULL);
}

TEntryId TChildTable::Find(const TChildKey& key) const {
  const size_t mask = slots_.size() - 1;
  for (size_t slot = Hash(key) & mask;; slot = (slot + 1) & mask) {
    const TEntryId id = slots_[slot];
    if (id == kNoEntry) return kNoEntry;
    const TChildKey stored = keyOf_(id);
    if (stored.parent == key.parent && stored.name == key.name) return id;
  }
}

void TChildTable::Insert(TEntryId id) {
  if ((size_ + 1) * 4 > slots_.size() * 3) Grow();
  Place(id);
  ++size_;
}

void TChildTable::Place(TEntryId id) {
  const size_t mask = slots_.size() - 1;
  size_t slot = Hash(keyOf_(id)) & mask;
  while (slots_[slot] != kNoEntry) slot = (slot + 1) & mask;
  slots_[slot] = id;
}

size_t TChildTable::SlotOf(TEntryId id) const {
  const size_t mask = slots_.size() - 1;
  for (size_t slot = Hash(keyOf_(id)) & mask;; slot = (slot + 1) & mask) {
    if (slots_[slot] == id) return slot;
    if (slots_[slot] == kNoEntry) return slots_.size();
  }
}

void TChildTable::Erase(TEntryId id) {
  const size_t mask = slots_.size() - 1;
  size_t hole = SlotOf(id);
  if (hole == slots_.size()) return;
  slots_[hole] = kNoEntry;
  --size_;
  // Shift later members of the probe run back, so that no search stops early at the hole.
  for (size_t slot = (hole + 1) & mask; slots_[slot] != kNoEntry; slot = (slot + 1) & mask) {
    const size_t home = Hash(keyOf_(slots_[slot])) & mask;
    const bool homeInGap =
        hole <= slot ? (home <= hole || home > slot) : (home <= hole && home > slot);
    if (homeInGap) {
      slots_[hole] = slots_[slot];
      slots_[slot] = kNoEntry;
      hole = slot;
    }
  }
}

void TChildTable::Grow() {
  std::vector<TEntryId> old(slots_.size() * 2, kNoEntry);
  old.swap(slots_);
  for (const TEntryId id : old) {
    if (id != kNoEntry) Place(id);
  }
}

}  // namespace webtessl
