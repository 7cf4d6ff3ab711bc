#include "json/MemberTable.h"

#include <algorithm>
#include <utility>

namespace webtessl {

namespace {

constexpr uint32_t kHashMultiplier = 129;
constexpr uint32_t kHashIncrement = 0x9E370001u;

using EntryPtr = std::unique_ptr<TSuperAvlEntry>;

int HeightOf(const EntryPtr& entry) {
  return entry ? entry->height : 0;
}

void UpdateHeight(TSuperAvlEntry& entry) {
  entry.height = static_cast<int8_t>(1 + std::max(HeightOf(entry.before), HeightOf(entry.after)));
}

// Positive when the "before" side is taller.
int BalanceOf(const TSuperAvlEntry& entry) {
  return HeightOf(entry.before) - HeightOf(entry.after);
}

// The "before" child takes the place of the subtree's root.
void RotateTowardAfter(EntryPtr& root) {
  EntryPtr child = std::move(root->before);
  root->before = std::move(child->after);
  UpdateHeight(*root);
  child->after = std::move(root);
  UpdateHeight(*child);
  root = std::move(child);
}

// The "after" child takes the place of the subtree's root.
void RotateTowardBefore(EntryPtr& root) {
  EntryPtr child = std::move(root->after);
  root->after = std::move(child->before);
  UpdateHeight(*root);
  child->before = std::move(root);
  UpdateHeight(*child);
  root = std::move(child);
}

// Restores the height balance of a subtree whose children differ by at most two levels.
void Rebalance(EntryPtr& root) {
  UpdateHeight(*root);
  const int balance = BalanceOf(*root);
  if (balance > 1) {
    if (BalanceOf(*root->before) < 0) RotateTowardBefore(root->before);
    RotateTowardAfter(root);
  } else if (balance < -1) {
    if (BalanceOf(*root->after) > 0) RotateTowardAfter(root->after);
    RotateTowardBefore(root);
  }
}

// Inserts a new entry or finds the present one; returns its value slot.
ISuperObject& InsertEntry(EntryPtr& root, uint32_t hash, std::u16string_view name, bool& added) {
  if (!root) {
    root = std::make_unique<TSuperAvlEntry>();
    root->hash = hash;
    root->name = name;
    added = true;
    return root->value;
  }
  if (root->hash == hash && root->name == name) return root->value;
  const bool goesBefore = MemberComesBefore(hash, name, root->hash, root->name);
  ISuperObject& slot = InsertEntry(goesBefore ? root->before : root->after, hash, name, added);
  // The slot lives in a heap entry, so rotations above it leave the reference valid.
  if (added) Rebalance(root);
  return slot;
}

// Unlinks the first entry of a non-empty subtree and returns it.
EntryPtr TakeFirst(EntryPtr& root) {
  if (!root->before) {
    EntryPtr first = std::move(root);
    root = std::move(first->after);
    return first;
  }
  EntryPtr first = TakeFirst(root->before);
  Rebalance(root);
  return first;
}

bool RemoveEntry(EntryPtr& root, uint32_t hash, std::u16string_view name) {
  if (!root) return false;
  if (root->hash != hash || root->name != name) {
    const bool goesBefore = MemberComesBefore(hash, name, root->hash, root->name);
    if (!RemoveEntry(goesBefore ? root->before : root->after, hash, name)) return false;
    Rebalance(root);
    return true;
  }
  EntryPtr removed = std::move(root);
  if (!removed->before) {
    root = std::move(removed->after);
  } else if (!removed->after) {
    root = std::move(removed->before);
  } else {
    // The next member in order takes the removed entry's place.
    root = TakeFirst(removed->after);
    root->before = std::move(removed->before);
    root->after = std::move(removed->after);
    Rebalance(root);
  }
  return true;
}

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

TSuperAvlIterator::TSuperAvlIterator(const TSuperAvlEntry* root) {
  DescendBefore(root);
}

void TSuperAvlIterator::DescendBefore(const TSuperAvlEntry* entry) {
  for (; entry != nullptr; entry = entry->before.get()) path_[depth_++] = entry;
}

TSuperObjectIter TSuperAvlIterator::operator*() const {
  const TSuperAvlEntry* current = path_[depth_ - 1];
  return TSuperObjectIter{current->name, current->value};
}

TSuperAvlIterator& TSuperAvlIterator::operator++() {
  const TSuperAvlEntry* current = path_[--depth_];
  DescendBefore(current->after.get());
  return *this;
}

int TSuperTableString::Height() const {
  return HeightOf(root_);
}

const ISuperObject* TSuperTableString::Find(std::u16string_view name) const {
  const uint32_t hash = MemberNameHash(name);
  const TSuperAvlEntry* entry = root_.get();
  while (entry != nullptr) {
    if (entry->hash == hash && entry->name == name) return &entry->value;
    entry = MemberComesBefore(hash, name, entry->hash, entry->name) ? entry->before.get()
                                                                    : entry->after.get();
  }
  return nullptr;
}

void TSuperTableString::Put(std::u16string_view name, ISuperObject value) {
  bool added = false;
  ISuperObject& slot = InsertEntry(root_, MemberNameHash(name), name, added);
  if (added) ++count_;
  // The old value is released only after the new one is in place, in case it holds the table.
  std::swap(slot, value);
}

bool TSuperTableString::Remove(std::u16string_view name) {
  if (!RemoveEntry(root_, MemberNameHash(name), name)) return false;
  --count_;
  return true;
}

}  // namespace webtessl
