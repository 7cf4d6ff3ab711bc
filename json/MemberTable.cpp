#include "json/MemberTable.h"

#include <algorithm>
#include <utility>

namespace webtessl {

namespace {

constexpr uint32_t kHashMultiplier = 129;
constexpr uint32_t kHashIncrement = 0x9E370001u;
constexpr TSuperEntryIndex TSuperAvlEntry::*kBefore = &TSuperAvlEntry::before;
constexpr TSuperEntryIndex TSuperAvlEntry::*kAfter = &TSuperAvlEntry::after;
// The pool's first room: most objects of a search answer hold a handful of members.
constexpr size_t kFirstRoom = 2;

}  // namespace

uint32_t MemberNameHash(std::u16string_view name) {
  uint32_t hash = 0;
  for (const char16_t c : name) hash = hash * kHashMultiplier + c + kHashIncrement;
  return hash;
}

bool MemberComesBefore(uint32_t hashA, std::u16string_view nameA, uint32_t hashB,
                       std::u16string_view nameB) {
  if (hashA != hashB) return hashA > hashB;
  return nameA < nameB;  // char16_t is unsigned, so this compares code units as unsigned
}

TSuperAvlIterator::TSuperAvlIterator(const TSuperAvlEntry* entries, TSuperEntryIndex root)
    : entries_(entries) {
  DescendBefore(root);
}

void TSuperAvlIterator::DescendBefore(TSuperEntryIndex entry) {
  for (; entry != kNoEntry; entry = entries_[entry].before) path_[depth_++] = &entries_[entry];
}

TSuperObjectIter TSuperAvlIterator::operator*() const {
  const TSuperAvlEntry* current = path_[depth_ - 1];
  return TSuperObjectIter{current->name, current->value};
}

TSuperAvlIterator& TSuperAvlIterator::operator++() {
  const TSuperAvlEntry* current = path_[--depth_];
  DescendBefore(current->after);
  return *this;
}

TSuperTableString::TSuperTableString(TSuperTableString&& other) noexcept
    : entries_(std::move(other.entries_)),
      root_(std::exchange(other.root_, kNoEntry)),
      free_(std::exchange(other.free_, kNoEntry)),
      count_(std::exchange(other.count_, 0)) {
  other.entries_.clear();
}

TSuperTableString& TSuperTableString::operator=(TSuperTableString&& other) noexcept {
  if (this != &other) {
    entries_ = std::move(other.entries_);
    other.entries_.clear();
    root_ = std::exchange(other.root_, kNoEntry);
    free_ = std::exchange(other.free_, kNoEntry);
    count_ = std::exchange(other.count_, 0);
  }
  return *this;
}

int TSuperTableString::HeightOf(TSuperEntryIndex entry) const {
  return entry == kNoEntry ? 0 : entries_[entry].height;
}

void TSuperTableString::UpdateHeight(TSuperAvlEntry& entry) const {
  entry.height = static_cast<int8_t>(1 + std::max(HeightOf(entry.before), HeightOf(entry.after)));
}

// Positive when the "before" side is taller.
int TSuperTableString::BalanceOf(const TSuperAvlEntry& entry) const {
  return HeightOf(entry.before) - HeightOf(entry.after);
}

// The child on the given side takes the place of the subtree's root, which becomes its child on
// the other side.
void TSuperTableString::Rotate(TSuperEntryIndex& root, TSide side, TSide other) {
  const TSuperEntryIndex old = root;
  const TSuperEntryIndex child = entries_[old].*side;
  entries_[old].*side = entries_[child].*other;
  UpdateHeight(entries_[old]);
  entries_[child].*other = old;
  UpdateHeight(entries_[child]);
  root = child;
}

// Restores the height balance of a subtree whose children differ by at most two levels.
void TSuperTableString::Rebalance(TSuperEntryIndex& root) {
  TSuperAvlEntry& entry = entries_[root];
  UpdateHeight(entry);
  const int balance = BalanceOf(entry);
  if (balance > 1) {
    if (BalanceOf(entries_[entry.before]) < 0) Rotate(entry.before, kAfter, kBefore);
    Rotate(root, kBefore, kAfter);
  } else if (balance < -1) {
    if (BalanceOf(entries_[entry.after]) > 0) Rotate(entry.after, kBefore, kAfter);
    Rotate(root, kAfter, kBefore);
  }
}

void TSuperTableString::MakeRoomForOne() {
  if (free_ != kNoEntry || entries_.size() < entries_.capacity()) return;
  entries_.reserve(std::max(kFirstRoom, entries_.capacity() * 2));
}

void TSuperTableString::Reserve(size_t members) {
  // Entries on the free list are room already.
  const size_t freeEntries = entries_.size() - count_;
  if (members > count_ + freeEntries) entries_.reserve(members - freeEntries);
}

// Takes a free entry or a new one at the end of the pool; the pool has room (MakeRoomForOne).
TSuperEntryIndex TSuperTableString::NewEntry(uint32_t hash) {
  TSuperEntryIndex index = free_;
  if (index != kNoEntry) {
    free_ = entries_[index].after;
  } else {
    index = static_cast<TSuperEntryIndex>(entries_.size());
    entries_.emplace_back();
  }
  TSuperAvlEntry& entry = entries_[index];
  entry.after = kNoEntry;
  entry.before = kNoEntry;
  entry.height = 1;
  entry.hash = hash;
  return index;  // the caller names it
}

TSuperEntryIndex TSuperTableString::Insert(TSuperEntryIndex& root, uint32_t hash,
                                           std::u16string_view name, bool& added) {
  if (root == kNoEntry) {
    root = NewEntry(hash);
    added = true;
    return root;
  }
  TSuperAvlEntry& entry = entries_[root];
  if (entry.hash == hash && entry.name == name) return root;
  const bool goesBefore = MemberComesBefore(hash, name, entry.hash, entry.name);
  const TSuperEntryIndex found = Insert(goesBefore ? entry.before : entry.after, hash, name, added);
  // The pool had room before the insertion began, so `entry` is still where it was.
  if (added) Rebalance(root);
  return found;
}

// Unlinks the first entry of a non-empty subtree and returns it.
TSuperEntryIndex TSuperTableString::TakeFirst(TSuperEntryIndex& root) {
  TSuperAvlEntry& entry = entries_[root];
  if (entry.before == kNoEntry) {
    const TSuperEntryIndex first = root;
    root = entry.after;
    return first;
  }
  const TSuperEntryIndex first = TakeFirst(entry.before);
  Rebalance(root);
  return first;
}

// Unlinks the named entry from the subtree and returns it, or kNoEntry when there is none.
TSuperEntryIndex TSuperTableString::Unlink(TSuperEntryIndex& root, uint32_t hash,
                                           std::u16string_view name) {
  if (root == kNoEntry) return kNoEntry;
  TSuperAvlEntry& entry = entries_[root];
  if (entry.hash != hash || entry.name != name) {
    const bool goesBefore = MemberComesBefore(hash, name, entry.hash, entry.name);
    const TSuperEntryIndex removed = Unlink(goesBefore ? entry.before : entry.after, hash, name);
    if (removed != kNoEntry) Rebalance(root);
    return removed;
  }
  const TSuperEntryIndex removed = root;
  if (entry.before == kNoEntry) {
    root = entry.after;
  } else if (entry.after == kNoEntry) {
    root = entry.before;
  } else {
    // The next member in order takes the removed entry's place.
    const TSuperEntryIndex next = TakeFirst(entry.after);
    entries_[next].before = entry.before;
    entries_[next].after = entry.after;
    root = next;
    Rebalance(root);
  }
  return removed;
}

int TSuperTableString::Height() const {
  return HeightOf(root_);
}

const ISuperObject* TSuperTableString::Find(std::u16string_view name) const {
  const uint32_t hash = MemberNameHash(name);
  TSuperEntryIndex index = root_;
  while (index != kNoEntry) {
    const TSuperAvlEntry& entry = entries_[index];
    if (entry.hash == hash && entry.name == name) return &entry.value;
    index = MemberComesBefore(hash, name, entry.hash, entry.name) ? entry.before : entry.after;
  }
  return nullptr;
}

void TSuperTableString::Put(std::u16string_view name, ISuperObject value) {
  MakeRoomForOne();
  bool added = false;
  TSuperAvlEntry& entry = entries_[Insert(root_, MemberNameHash(name), name, added)];
  if (added) {
    ++count_;
    entry.name = name;
  }
  // The old value is released only after the new one is in place, in case it holds the table.
  std::swap(entry.value, value);
}

void TSuperTableString::PutTakingName(std::u16string&& name, ISuperObject value) {
  MakeRoomForOne();
  bool added = false;
  TSuperAvlEntry& entry = entries_[Insert(root_, MemberNameHash(name), name, added)];
  if (added) {
    ++count_;
    entry.name = std::move(name);
  }
  std::swap(entry.value, value);
}

bool TSuperTableString::Remove(std::u16string_view name) {
  const TSuperEntryIndex removed = Unlink(root_, MemberNameHash(name), name);
  if (removed == kNoEntry) return false;
  --count_;
  TSuperAvlEntry& entry = entries_[removed];
  entry.after = free_;
  free_ = removed;
  entry.name.clear();
  // Released last: the value may hold this very table, which then goes with it.
  const ISuperObject value = std::move(entry.value);
  return true;
}

}  // namespace webtessl
