#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/Mutex.h"
#include "tessel/ChildTable.h"
#include "tessel/EntryFacts.h"
#include "tessel/SortKey.h"

namespace webtessl {

// An entry met by a search of the names, with what a query looks at first.
struct TNameHit {
  TEntryId entry = kNoEntry;
  bool isDirectory = false;
  bool isRoot = false;
  bool ownName = false;     // the name differs from its fold (else the fold is the name)
  std::string_view folded;  // the folded name
};

// Called with the hits of a search of the names, a batch at a time; false stops the search.
using TNameHitSink = std::function<bool(std::span<const TNameHit>)>;

// The names of the files and folders under the search roots, held compactly: every entry keeps
// its folder's id and the offsets of its name in two arenas, one with the case folds of all names
// and one with the names that differ from their folds, each name closed by a NUL byte. Searching
// runs a substring search over the contiguous folded arena; a hit is mapped to its entry through
// the list of name records, which follows the arena's order. Renamed and removed entries leave
// stale bytes in the arenas until the next compaction; entry ids of removed entries are reused. A
// root is an entry without a folder, whose full path is kept apart. Sizes and modification times
// lie in arrays of their own, by entry id, 4 bytes each (sizes of 4 GiB and more in a table).
// Names holding a NUL byte are refused. Not thread-safe: the owner serializes changes against
// everything else; the const members may run on several threads at once.
class TNameIndex {
 public:
  TNameIndex();
  TNameIndex(const TNameIndex&) = delete;
  TNameIndex& operator=(const TNameIndex&) = delete;

  // Adds a root folder with its absolute path (no trailing delimiter unless it is "/").
  TEntryId AddRoot(const std::string& path);
  // Adds the named entry to the folder with its facts (none known: size and date 0) and returns
  // it; when one of that name and kind exists there, it is kept, with the new facts when they are
  // given, and one of the other kind is replaced (onRemovedFolder is told of the folders removed
  // with it, as Remove tells). kNoEntry when the folder is not a live folder, the name is too long
  // or holds a NUL byte, or the index is full (kMaxEntries).
  TEntryId Add(TEntryId parent, std::string_view name, bool isDirectory,
               const std::optional<TEntryFacts>& facts = std::nullopt,
               const std::function<void(TEntryId)>& onRemovedFolder = {});
  // Replaces the size and modification time of a live entry (a folder's size stays 0). Times
  // before 1970 are kept as 1970, times after 2106 as 2106.
  void SetFacts(TEntryId entry, const TEntryFacts& facts);
  TEntryFacts Facts(TEntryId entry) const;
  uint64_t SizeOf(TEntryId entry) const {
    return sizes_[entry] != kLargeSize ? sizes_[entry] : largeSizes_.at(entry);
  }
  int64_t ModifiedOf(TEntryId entry) const { return times_[entry]; }
  // The entry of that name in the folder, or kNoEntry.
  TEntryId Find(TEntryId parent, std::string_view name) const;
  // Asks the processor to fetch where Find and Add will look for that name in the folder: a few
  // names asked for ahead of their Add are then waited for once rather than each in turn.
  void PrefetchChild(TEntryId parent, std::string_view name) const {
    children_.Prefetch({parent, name});
  }
  // Moves an entry, with everything under it, to another folder and name. An entry of the new
  // name that was there before is removed first.
  void Move(TEntryId entry, TEntryId newParent, std::string_view newName);
  // Removes the entries with everything under them. onRemovedFolder is told of every folder
  // removed (its id is still readable then).
  void Remove(std::span<const TEntryId> entries,
              const std::function<void(TEntryId)>& onRemovedFolder = {});

  bool IsLive(TEntryId entry) const;
  bool IsDirectory(TEntryId entry) const;
  bool IsRoot(TEntryId entry) const;
  TEntryId Parent(TEntryId entry) const;
  std::string_view Name(TEntryId entry) const;
  std::string_view FoldedName(TEntryId entry) const;
  // The full path: the root's path, then the names below it joined by "/".
  std::string Path(TEntryId entry) const;
  // Appends the full path made of the folded names (and the folded root path) to out.
  void AppendFoldedPath(TEntryId entry, std::string& out) const;
  // Appends the full path to out.
  void AppendPath(TEntryId entry, std::string& out) const;
  // The root's full path (empty for an entry that is not a root).
  const std::string& RootPath(TEntryId root) const;
  // The live roots.
  std::vector<TEntryId> Roots() const;

  // The most entries an index holds (entry ids share a word with flags).
  static constexpr size_t kMaxEntries = (1u << 28) - 1;
  static_assert(kMaxEntries <= TChildTable::kMostIds);
  // Number of live entries, roots included.
  size_t Size() const { return liveCount_; }
  // Number of live folders that are not roots.
  size_t FolderCount() const { return liveFolders_; }
  // Number of live files.
  size_t FileCount() const { return liveCount_ - liveFolders_ - rootPaths_.size(); }
  // One past the largest entry id in use: ids run from 0 below it.
  size_t IdLimit() const { return entries_.size(); }
  // Changes since creation; any addition, move or removal counts.
  uint64_t Version() const { return version_; }

  // Hands onHits every live entry whose folded name contains the folded word, once each, in
  // arena order and in batches, until onHits returns false. Reads only the arena and the name
  // records, not the entries.
  void ForEachFoldedHit(std::string_view foldedWord, const TNameHitSink& onHits) const;
  // The same over one of `parts` stretches of the arena of about equal size, split between
  // names: the parts together give the hits of the whole, in order.
  void ForEachFoldedHitInPart(std::string_view foldedWord, size_t part, size_t parts,
                              const TNameHitSink& onHits) const;
  // Occurrences of the folded word in the first sampleBytes of the arena: a cheap measure of how
  // common it is.
  size_t SampleHits(std::string_view foldedWord, size_t sampleBytes) const;
  // The hit of a live entry.
  TNameHit HitOf(TEntryId entry) const;
  // Asks the processor to fetch the names of the hits whose name differs from its fold, all at
  // once: reading them one after another then waits far less for memory.
  void PrefetchNames(std::span<const TNameHit> hits) const;
  // Calls onEntry for every live entry.
  void ForEachLive(const std::function<void(TEntryId)>& onEntry) const;

  // Gives back the room the arrays grew into beyond what they hold (after a large scan).
  void ShrinkToFit();

  // The position of each entry in the order of full paths compared byte by byte, by entry id;
  // brought up to date when first asked after a change. Entries that are not live have no
  // meaningful rank. An entry added, moved or renamed since the order was last computed in full,
  // or lying under a folder moved or renamed since, is kUnranked: its path is compared itself (the
  // others keep their order among themselves), so that a change costs a pass over the ranks
  // rather than a new sort of all paths. The order is computed in full again once more than
  // kUnrankedLimit paths are new. Safe to call from several threads at once (one computes, the
  // others wait for it).
  std::shared_ptr<const std::vector<uint32_t>> PathRanks() const;
  // Whether the index changed since the path order was last brought up to date, so that the next
  // PathRanks call has work to do (in full, when kUnrankedLimit paths are new). Thread-safe.
  bool PathRanksStale() const;
  static constexpr uint32_t kUnranked = UINT32_MAX;
  static constexpr size_t kUnrankedLimit = 1 << 16;
  // The first kOrderHeadLength live entries (roots left out) in the order of a sort key and
  // direction, ties in full-path order (see TEntryOrder): where an early page of a sorted answer
  // is looked for. Computed when first asked after a change; thread-safe as PathRanks.
  std::shared_ptr<const std::vector<TEntryId>> OrderHead(TSortKey key, bool ascending) const;
  static constexpr size_t kOrderHeadLength = 1 << 16;

 private:
  // kOwnName: the name differs from its fold and is kept in names_ too.
  enum TFlags : uint8_t { kDirectory = 1, kRoot = 2, kLive = 4, kOwnName = 8 };

  // 12 bytes per entry: the folder's id shares a word with the flags, and the lengths of the
  // names are where their closing NUL bytes are.
  static constexpr uint32_t kParentBits = 28;
  static constexpr uint32_t kNoParent = (1u << kParentBits) - 1;
  struct TEntry {
    uint32_t parent : kParentBits = kNoParent;
    uint32_t flags : 4 = 0;
    uint32_t name = 0;    // offset in names_ (with kOwnName)
    uint32_t folded = 0;  // offset in folded_
  };
  static_assert(sizeof(TEntry) == 12);

  TEntryId NewEntry(TEntryId parent, std::string_view name, uint8_t flags);
  void StoreName(TEntry& entry, TEntryId id, std::string_view name);
  size_t StoredBytes(const TEntry& entry) const;
  void MarkRemoved(TEntryId id, const std::function<void(TEntryId)>& onRemovedFolder);
  void MarkRecordStale(const TEntry& entry);
  void ForgetSize(TEntryId entry);
  // The start of a name record in folded_, and the record that holds an arena offset.
  size_t RecordStart(size_t record) const;
  size_t RecordAt(size_t offset) const;
  void CompactIfWasteful();
  void Changed();
  void AppendPathOf(TEntryId entry, std::string& out, bool folded) const;
  std::shared_ptr<const std::vector<uint32_t>> CurrentRanks() const REQUIRES(ordersMutex_);
  void PathChanged(TEntryId entry);
  void NewRankEpoch();
  size_t MarkUnderMovedFolders(std::vector<uint32_t>& ranks, size_t from) const;
  // For every entry, whether it is live and is one of the live `tops` or lies below one.
  std::vector<bool> LiveAtOrUnder(std::span<const TEntryId> tops) const;

  std::vector<TEntry> entries_;
  std::string names_;
  std::string folded_;
  // Name records in the order of folded_: whose name each is, with its kind (kRecordStale once the
  // entry is gone or renamed). Each record is one NUL-closed name in folded_, so a record's number
  // is the count of NUL bytes before it; where every kRecordsPerMark-th record starts is kept to
  // count from.
  static constexpr size_t kRecordsPerMark = 64;
  std::vector<uint32_t> recordMarks_;
  std::vector<uint32_t> recordTags_;
  std::vector<TEntryId> freeIds_;
  struct TRootPath {
    TEntryId root;
    std::string path;
    std::string folded;
  };
  std::vector<TRootPath> rootPaths_;
  TChildTable children_;
  size_t liveCount_ = 0;
  size_t liveFolders_ = 0;
  size_t staleBytes_ = 0;
  uint64_t version_ = 0;
  uint64_t factChanges_ = 0;  // SetFacts calls; both counts only grow, so their sum tells change
  // Sizes below 4 GiB, by entry id; the rare larger ones are kLargeSize there and kept apart.
  static constexpr uint32_t kLargeSize = UINT32_MAX;
  std::vector<uint32_t> sizes_;
  std::unordered_map<TEntryId, uint64_t> largeSizes_;
  std::vector<uint32_t> times_;  // by entry id: seconds since 1970
  // Entries whose path is new, and folders moved or renamed, since the path order's epoch began;
  // a new epoch (which orders every path anew) begins when the list of new paths grows too long.
  std::vector<TEntryId> unranked_;
  std::vector<TEntryId> movedFolders_;
  uint64_t rankEpoch_ = 0;
  // The order heads, each with the version it was computed for, and the path ranks.
  template <typename T>
  struct TCached {
    std::shared_ptr<const T> value;
    uint64_t version = ~0ULL;
  };
  static constexpr size_t kOrderHeads = 8;  // four keys, two directions
  mutable TMutex ordersMutex_;
  mutable std::shared_ptr<std::vector<uint32_t>> ranks_ GUARDED_BY(ordersMutex_);
  mutable uint64_t ranksVersion_ GUARDED_BY(ordersMutex_) = ~0ULL;
  mutable uint64_t ranksEpoch_ GUARDED_BY(ordersMutex_) = ~0ULL;  // of the last full computing
  mutable size_t movedApplied_ GUARDED_BY(ordersMutex_) = 0;  // of movedFolders_, in ranks_
  mutable std::array<TCached<std::vector<TEntryId>>, kOrderHeads> heads_
      GUARDED_BY(ordersMutex_);
};

}  // namespace webtessl
