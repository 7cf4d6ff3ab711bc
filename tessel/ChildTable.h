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

// The key of a stored entry as its owner keeps it: the name closed by a NUL byte, so that
// comparing it needs no length.
struct TStoredChildKey {
  TEntryId parent = kNoEntry;
  const char* name = "";
};

// Finds an entry by its folder and name: an open-addressing hash table of entry ids (4 bytes a
// slot, linear probing, at most three quarters full). It stores no keys; it asks the owner for the
// key of a stored id, so it costs a few bytes per entry. Ids are below kMostIds: the slot's top
// four bits hold four bits of the key's hash, so that a search asks for the keys of few of the ids it
// passes (each such look reads two places of memory that are rarely cached). Not thread-safe.
class TChildTable {
 public:
  using TKeyOf = std::function<TStoredChildKey(TEntryId)>;
  // One below 2^28, so that no id with its bits can be the empty slot's kNoEntry.
  static constexpr TEntryId kMostIds = (1u << 28) - 1;

  explicit TChildTable(TKeyOf keyOf);

  // The id stored under the key, or kNoEntry.
  TEntryId Find(const TChildKey& key) const;
  // Asks the processor to fetch where the key would be found, ahead of a Find or Insert of it.
  void Prefetch(const TChildKey& key) const;
  // Stores an id (below kMostIds) whose key is not yet stored.
  void Insert(TEntryId id);
  // The same, with the id's key given by the caller, who knows it already.
  void Insert(TEntryId id, const TChildKey& key);
  // Removes a stored id; nothing happens when it is not stored.
  void Erase(TEntryId id);
  size_t Size() const { return size_; }

 private:
  static size_t Hash(const TChildKey& key);
  size_t HashOf(TEntryId id) const;
  size_t SlotOf(TEntryId id) const;
  void InsertHashed(TEntryId id, size_t hash);
  void Grow();
  void Place(TEntryId id, size_t hash);

  TKeyOf keyOf_;
  std::vector<uint32_t> slots_;  // an id with its hash's tag, or kNoEntry
  size_t size_ = 0;
};

}  // namespace webtessl
