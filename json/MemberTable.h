#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

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

// One member of an object: a node of the member table's search tree.
struct TSuperAvlEntry {
  std::unique_ptr<TSuperAvlEntry> after;   // subtree of members that come later
  std::unique_ptr<TSuperAvlEntry> before;  // subtree of members that come earlier
  int8_t height = 1;                       // levels of the subtree rooted here
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
  explicit TSuperAvlIterator(const TSuperAvlEntry* root);  // positioned on the first member

  TSuperObjectIter operator*() const;  // the current member
  TSuperAvlIterator& operator++();     // moves to the next member
  bool operator==(std::default_sentinel_t) const { return depth_ == 0; }  // past the last member

 private:
  // An AVL tree of height h holds at least Fib(h + 2) - 1 entries; 64 levels exceed any memory.
  static constexpr size_t kMaxHeight = 64;
  void DescendBefore(const TSuperAvlEntry* entry);

  // The current entry on top, below it the entries whose later side is still to be visited.
  std::array<const TSuperAvlEntry*, kMaxHeight> path_;
  size_t depth_ = 0;
};

// The members of one object: a height-balanced (AVL) search tree ordered by (MemberNameHash,
// name), so that lookup, insertion and removal take logarithmic time and iteration yields member
// order. Owns its entries and holds a reference to each member value. Not thread-safe.
class TSuperTableString final {
 public:
  TSuperTableString() = default;
  TSuperTableString(const TSuperTableString&) = delete;
  TSuperTableString& operator=(const TSuperTableString&) = delete;
  TSuperTableString(TSuperTableString&&) noexcept = default;
  TSuperTableString& operator=(TSuperTableString&&) noexcept = default;

  size_t Count() const { return count_; }  // number of members
  int Height() const;                      // levels of the tree (0 when empty)

  // The value slot of the named member, or nullptr when there is no such member.
  const ISuperObject* Find(std::u16string_view name) const;
  // Puts the value under the name: a present member keeps its entry and takes the new value.
  void Put(std::u16string_view name, ISuperObject value);
  // Takes the named member out; false when there was none.
  bool Remove(std::u16string_view name);

  const TSuperAvlEntry* Root() const { return root_.get(); }  // the tree's top entry, or nullptr
  TSuperAvlIterator begin() const { return TSuperAvlIterator(root_.get()); }
  std::default_sentinel_t end() const { return std::default_sentinel; }

 private:
  std::unique_ptr<TSuperAvlEntry> root_;
  size_t count_ = 0;
};

}  // namespace webtessl
