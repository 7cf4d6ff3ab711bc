#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace webtessl {

using TEntryId = uint32_t;
constexpr TEntryId kNoEntry = 0xFFFFFFFF;

// The key of an entry in the child table: its folder and its name.
struct TChildKey {
  TEntryId parent = kNoEntry;
  std::string_view name;
};

// Finds an entry by its folder and name: an open-addressing hash table of entry ids (4 bytes a
// slot, linear probing, at most three quarters full). It stores no keys; it asks the index for
// the key of a stored id, so it costs a few bytes per entry. Not thread-safe.
class TChildTable {
 public:
  using TKeyOf = std::function<TChildKey(TEntryId)>;

  explicit TChildTable(TKeyOf keyOf);

  // The id stored under the key, or kNoEntry.
  TEntryId Find(const TChildKey& key) const;
  // Stores an id whose key is not yet stored.
  void Insert(TEntryId id);
  // Removes a stored id; nothing happens when it is not stored.
  void Erase(TEntryId id);
  size_t Size() const { return size_; }

 private:
  static size_t Hash(const TChildKey& key);
  size_t SlotOf(TEntryId id) const;
  void Grow();
  void Place(TEntryId id);

  TKeyOf keyOf_;
  std::vector<TEntryId> slots_;
  size_t size_ = 0;
};

}  // namespace webtessl
