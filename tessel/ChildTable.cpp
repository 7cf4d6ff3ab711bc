#include "tessel/ChildTable.h"

#include <algorithm>
#include <cstring>

#include "tessel/Prefetch.h"

namespace webtessl {
namespace {

constexpr size_t kInitialSlots = 1024;
constexpr uint32_t kTagShift = 28;
constexpr uint32_t kIdMask = (1u << kTagShift) - 1;

// The four bits of a hash kept beside the id: the top ones, as the slot comes from the bottom.
uint32_t TagOf(size_t hash) {
  return static_cast<uint32_t>(hash >> (sizeof(size_t) * 8 - 4)) << kTagShift;
}

bool SameKey(const TStoredChildKey& stored, const TChildKey& key) {
  return stored.parent == key.parent &&
         std::strncmp(stored.name, key.name.data(), key.name.size()) == 0 &&
         stored.name[key.name.size()] == '\0';
}

}  // namespace

TChildTable::TChildTable(TKeyOf keyOf)
    : keyOf_(std::move(keyOf)), slots_(kInitialSlots, kNoEntry) {}

size_t TChildTable::Hash(const TChildKey& key) {
  const size_t nameHash = std::hash<std::string_view>{}(key.name);
  return nameHash ^ (static_cast<size_t>(key.parent) * 0x9E3779B97F4A7C15ULL);
}

size_t TChildTable::HashOf(TEntryId id) const {
  const TStoredChildKey stored = keyOf_(id);
  return Hash({stored.parent, stored.name});
}

TEntryId TChildTable::Find(const TChildKey& key) const {
  const size_t mask = slots_.size() - 1;
  const size_t hash = Hash(key);
  const uint32_t tag = TagOf(hash);
  for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const uint32_t stored = slots_[slot];
    if (stored == kNoEntry) return kNoEntry;
    if ((stored & ~kIdMask) == tag && SameKey(keyOf_(stored & kIdMask), key))
      return stored & kIdMask;
  }
}

void TChildTable::Insert(TEntryId id) {
  InsertHashed(id, HashOf(id));
}

void TChildTable::Insert(TEntryId id, const TChildKey& key) {
  InsertHashed(id, Hash(key));
}

void TChildTable::InsertHashed(TEntryId id, size_t hash) {
  if ((size_ + 1) * 4 > slots_.size() * 3) Grow();
  Place(id, hash);
  ++size_;
}

void TChildTable::Place(TEntryId id, size_t hash) {
  const size_t mask = slots_.size() - 1;
  size_t slot = hash & mask;
  while (slots_[slot] != kNoEntry) slot = (slot + 1) & mask;
  slots_[slot] = id | TagOf(hash);
}

size_t TChildTable::SlotOf(TEntryId id) const {
  const size_t mask = slots_.size() - 1;
  const size_t hash = HashOf(id);
  const uint32_t wanted = id | TagOf(hash);
  for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    if (slots_[slot] == wanted) return slot;
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
    const size_t home = HashOf(slots_[slot] & kIdMask) & mask;
    const bool homeInGap =
        hole <= slot ? (home <= hole || home > slot) : (home <= hole && home > slot);
    if (homeInGap) {
      slots_[hole] = slots_[slot];
      slots_[slot] = kNoEntry;
      hole = slot;
    }
  }
}

void TChildTable::Prefetch(const TChildKey& key) const {
  webtessl::Prefetch(&slots_[Hash(key) & (slots_.size() - 1)]);
}

// The keys are asked for in the order of the ids, not of the old slots: an owner that keeps its
// keys by id (as the index does) is then read front to back instead of at random places.
void TChildTable::Grow() {
  TEntryId idLimit = 0;
  for (const uint32_t stored : slots_) {
    if (stored != kNoEntry) idLimit = std::max(idLimit, (stored & kIdMask) + 1);
  }
  std::vector<bool> stored(idLimit);
  for (const uint32_t slot : slots_) {
    if (slot != kNoEntry) stored[slot & kIdMask] = true;
  }
  slots_.assign(slots_.size() * 2, kNoEntry);
  for (TEntryId id = 0; id < idLimit; ++id) {
    if (stored[id]) Place(id, HashOf(id));
  }
}

}  // namespace webtessl
