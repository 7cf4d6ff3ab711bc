#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "json/SuperObjectRef.h"

namespace webtessl {

// The hash that orders the members of an object: h := h * 129 + c + 0x9E370001 (modulo 2^32) over
// the 16-bit characters of the name, starting at 0.
uint32_t MemberNameHash(std::u16string_view name);

// Whether the member (hashA, nameA) comes before the member (hashB, nameB) in member order: the
// larger hash first; on equal hashes the smaller name (16-bit characters compared unsigned, a
// prefix before the longer name).
bool MemberComesBefore(uint32_t hashA, std::u16string_view nameA, uint32_t hashB,
                       std::u16string_view nameB);

// Where an entry stands in its table's entry pool; kNoEntry marks a missing child or root.
using TSuperEntryIndex = int32_t;
constexpr TSuperEntryIndex kNoEntry = -1;

// One member of an object: a node of the member table's search tree. The nodes of one table lie
// side by side in its entry pool and name their children by index, so that an object costs one
// allocation for all its members instead of one per member.
struct TSuperAvlEntry {
  TSuperEntryIndex after = kNoEntry;   // subtree of members that come later
  TSuperEntryIndex before = kNoEntry;  // subtree of members that come earlier
  int8_t height = 1;                   // levels of the subtree rooted here
  uint32_t hash = 0;
  std::u16string name;
  ISuperObject value;  // may be none
};

// What the member iterator shows of the current member.
struct TSuperObjectIter {
  const std::u16string& name;
  const ISuperObject& value;
};

// Visits the members of a table in member order (an in-order walk with its own stack); it equals
// std::default_sentinel once past the last member. Valid while the table is not changed. Not
// thread-safe.
class TSuperAvlIterator final {
 public:
  // Positioned on the first member of the tree rooted at `root` in the entry pool.
  TSuperAvlIterator(const TSuperAvlEntry* entries, TSuperEntryIndex root);

  TSuperObjectIter operator*() const;  // the current member
  TSuperAvlIterator& operator++();     // moves to the next member
  bool operator==(std::default_sentinel_t) const { return depth_ == 0; }  // past the last member

 private:
  // An AVL tree of height h holds at least Fib(h + 2) - 1 entries; 64 levels exceed any memory.
  static constexpr size_t kMaxHeight = 64;
  void DescendBefore(TSuperEntryIndex entry);

  const TSuperAvlEntry* entries_;
  // The current entry on top, below it the entries whose later side is still to be visited.
  std::array<const TSuperAvlEntry*, kMaxHeight> path_;
  size_t depth_ = 0;
};

// The members of one object: a height-balanced (AVL) search tree ordered by (MemberNameHash,
// name), so that lookup, insertion and removal take logarithmic time and iteration yields member
// order. Its entries live in one pool that grows by doubling; a removed member's entry is reused
// by the next insertion. Holds a reference to each member value. Not thread-safe.
class TSuperTableString final {
 public:
  TSuperTableString() = default;
  TSuperTableString(const TSuperTableString&) = delete;
  TSuperTableString& operator=(const TSuperTableString&) = delete;
  // The table moved from is left empty.
  TSuperTableString(TSuperTableString&& other) noexcept;
  TSuperTableString& operator=(TSuperTableString&& other) noexcept;

  size_t Count() const { return count_; }  // number of members
  int Height() const;                      // levels of the tree (0 when empty)
  // Makes room for this many members in all, so that adding up to that many allocates no entry.
  void Reserve(size_t members);

  // The value slot of the named member, or nullptr when there is no such member.
  const ISuperObject* Find(std::u16string_view name) const;
  // Puts the value under the name: a present member keeps its entry and takes the new value.
  void Put(std::u16string_view name, ISuperObject value);
  // Put for a name the caller gives up: a new member takes the name's storage instead of a copy.
  void PutTakingName(std::u16string&& name, ISuperObject value);
  // Takes the named member out; false when there was none.
  bool Remove(std::u16string_view name);

  // The tree's top entry, or nullptr when empty.
  const TSuperAvlEntry* Root() const { return root_ == kNoEntry ? nullptr : &entries_[root_]; }
  TSuperAvlIterator begin() const { return TSuperAvlIterator(entries_.data(), root_); }
  std::default_sentinel_t end() const { return std::default_sentinel; }

 private:
  // Finds the named entry below `root`, or links a new one there without its name yet (`added`);
  // returns the entry's index.
  TSuperEntryIndex Insert(TSuperEntryIndex& root, uint32_t hash, std::u16string_view name,
                          bool& added);
  TSuperEntryIndex NewEntry(uint32_t hash);  // a fresh entry without a name
  TSuperEntryIndex TakeFirst(TSuperEntryIndex& root);
  TSuperEntryIndex Unlink(TSuperEntryIndex& root, uint32_t hash, std::u16string_view name);
  void Rebalance(TSuperEntryIndex& root);
  using TSide = TSuperEntryIndex TSuperAvlEntry::*;  // an entry's child on one side
  void Rotate(TSuperEntryIndex& root, TSide side, TSide other);
  void UpdateHeight(TSuperAvlEntry& entry) const;
  int HeightOf(TSuperEntryIndex entry) const;
  int BalanceOf(const TSuperAvlEntry& entry) const;
  // One more entry fits without the pool moving (so indices and references stay valid).
  void MakeRoomForOne();

  std::vector<TSuperAvlEntry> entries_;  // the pool: tree entries and free ones
  TSuperEntryIndex root_ = kNoEntry;
  TSuperEntryIndex free_ = kNoEntry;  // the free entries, chained through `after`
  size_t count_ = 0;
};

}  // namespace webtessl
