#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "common/Mutex.h"
#include "tessel/FolderListing.h"
#include "tessel/FolderReader.h"
#include "tessel/FolderWatch.h"
#include "tessel/IndexerWake.h"
#include "tessel/NameIndex.h"
#include "tessel/SortKey.h"
#include "tessel/TesselSettings.h"

namespace webtessl {

// Builds the index of the configured roots on a thread of its own and keeps it fresh: folders
// are watched through inotify as they are read; when no more watches can be had, it says so once
// on stderr and reads the unwatched folders again every rescan interval. Sizes and modification
// times follow writes, truncations, attribute changes and moves. Queries read the index under
// WithIndexShared meanwhile, several at once. Thread-safe: WithIndex, WithIndexShared, Indexing
// and EnsureFolder may be called from any thread; Start once, from the owner.
class TIndexer {
 public:
  explicit TIndexer(TTesselSettings settings);
  // Stops the thread and waits for it.
  ~TIndexer();
  TIndexer(const TIndexer&) = delete;
  TIndexer& operator=(const TIndexer&) = delete;

  // Starts building the index.
  void Start();

  // Calls fn with the index, locked against every other use for the call.
  template <typename Fn>
  auto WithIndex(Fn fn) {
    const TIndexWriteLock lock(*this);
    return fn(index_);
  }

  // Calls fn with the index, locked against changes for the call; other readers may read it at
  // the same time.
  template <typename Fn>
  auto WithIndexShared(Fn fn) const {
    const TIndexReadLock lock(*this);
    return fn(static_cast<const TNameIndex&>(index_));
  }

  // True while the first scan, or the scan of a folder asked for, is running; for answers sorted
  // by size or date also while the sizes and dates of the first scan are read (the first scan
  // lists the names alone and reads the facts in a second pass: until that pass ends, entries it
  // has not reached have size 0 and date 0).
  bool Indexing(TSortKey sort = TSortKey::Path) const;

  // Makes sure the folder (normalized) is indexed when it lies outside the roots: it becomes a
  // root of its own, kept from then on. Waits at most `wait` for its scan; true when the folder
  // was covered already or is indexed by then.
  bool EnsureFolder(const std::string& folder, std::chrono::milliseconds wait);

 private:
  // The index locked for a change, or for reading beside other readers. Both pass a gate before
  // they wait for the lock itself, so a writer that waits holds the gate and later readers queue
  // behind it: a steady stream of queries cannot keep the indexer out.
  class SCOPED_CAPABILITY TIndexWriteLock final {
   public:
    explicit TIndexWriteLock(const TIndexer& indexer) ACQUIRE(indexer.indexMutex_)
        : mutex_(indexer.indexMutex_) {
      const TMutexLock gate(indexer.gateMutex_);
      mutex_.Lock();
    }
    ~TIndexWriteLock() RELEASE() { mutex_.Unlock(); }
    TIndexWriteLock(const TIndexWriteLock&) = delete;
    TIndexWriteLock& operator=(const TIndexWriteLock&) = delete;

   private:
    TSharedMutex& mutex_;
  };
  class SCOPED_CAPABILITY TIndexReadLock final {
   public:
    explicit TIndexReadLock(const TIndexer& indexer) ACQUIRE_SHARED(indexer.indexMutex_)
        : mutex_(indexer.indexMutex_) {
      const TMutexLock gate(indexer.gateMutex_);
      mutex_.LockShared();
    }
    ~TIndexReadLock() RELEASE() { mutex_.UnlockShared(); }
    TIndexReadLock(const TIndexReadLock&) = delete;
    TIndexReadLock& operator=(const TIndexReadLock&) = delete;

   private:
    TSharedMutex& mutex_;
  };

  static constexpr size_t kNoRequest = 0;
  // How a folder is read: listed with the facts of its entries; listed by names alone, its facts
  // read by the facts pass; or read again by the facts pass for the facts of what it holds.
  enum class TReadKind { Full, Names, Facts };
  // A folder to read, its path when it was put on the stack, the folder asked for whose scan
  // the read belongs to (kNoRequest when none), how it is read, and for the facts pass the
  // identity the folder had when its names were listed and the reads that did not find it.
  struct TFolderTask {
    TEntryId folder = kNoEntry;
    std::string path;
    size_t request = kNoRequest;
    TReadKind kind = TReadKind::Full;
    TFolderIdentity listedAs = {};
    int misses = 0;
  };
  struct TFolderIdentityHash {
    size_t operator()(const TFolderIdentity& identity) const {
      return std::hash<uint64_t>{}(identity.device * 0x9E3779B97F4A7C15ULL ^ identity.inode);
    }
  };
  // A folder asked for whose scan runs, and the reads of it still to do.
  struct TRequestScan {
    std::string folder;
    size_t pending = 0;
  };

  void Run();
  void FirstScan();
  void ReadFactsOfFirstScan();
  int OrderPathsWhenSettled();
  void ScanFolders(std::vector<TFolderTask> stack);
  bool StartRead(TFolderTask& task, bool& followLink, bool& watch);
  TEntryId AddRead(const TFolderTask& task, const TFolderReader::TRead& read,
                   std::vector<TFolderTask>& stack);
  TEntryId AddListing(const TFolderTask& task, const TFolderListing& listing,
                      std::vector<TFolderTask>& stack) REQUIRES(indexMutex_);
  bool TakeFacts(const TFolderTask& task, const std::optional<TFolderListing>& listing);
  // A folder not read: it could not be opened, or (for the facts pass) what was read at its place
  // was another folder (readAs kNoEntry); or it was read before in this pass as another folder.
  struct TUnread {
    TFolderTask task;
    TEntryId readAs = kNoEntry;
  };
  void ReadAgain(std::vector<TUnread>& unread, std::vector<TFolderTask>& stack);
  bool ReadFactsAgain(TFolderTask& task) REQUIRES_SHARED(indexMutex_);
  TEntryId ReadBefore(TEntryId folder, const TFolderListing& listing) REQUIRES_SHARED(indexMutex_);
  void Push(std::vector<TFolderTask>& stack, TFolderTask task);
  void Done(const TFolderTask& task);
  bool WantsWatch(TEntryId folder);
  void RecordWatch(TEntryId folder, TFolderWatch::TAddResult result, int watch)
      REQUIRES_SHARED(indexMutex_);
  void ReportUnwatched(const char* reason);
  void HandleEvents(std::vector<TFolderTask>& toScan);
  void HandleEvent(const TFolderEvent& event, std::vector<TFolderTask>& toScan)
      REQUIRES(indexMutex_);
  TEntryId EntryNamed(TEntryId folder, std::string_view name) REQUIRES(indexMutex_);
  TEntryId AddFromEvent(TEntryId folder, std::string_view name, bool isDirectory,
                        std::vector<TFolderTask>& toScan) REQUIRES(indexMutex_);
  void RefreshFacts();
  void FlushRemovals() REQUIRES(indexMutex_);
  void Resync(const std::vector<TEntryId>& folders);
  std::vector<TEntryId> AllFolders();
  void ResyncFolder(TEntryId folder, const std::string& path, const std::vector<TEntryId>& known,
                    std::vector<TFolderTask>& toScan);
  void ForgetFolder(TEntryId folder);
  void TakeRequests(std::vector<TFolderTask>& stack);
  bool Covers(const std::string& folder) const REQUIRES_SHARED(indexMutex_);
  void Finish(const std::string& folder);
  void Wake() const;

  const TTesselSettings settings_;

  mutable TMutex gateMutex_;
  mutable TSharedMutex indexMutex_;
  TNameIndex index_ GUARDED_BY(indexMutex_);

  // The indexer thread's own state.
  TFolderWatch watch_;
  std::vector<TEntryId> folderOfWatch_;  // by watch id (small numbers counted up)
  std::unordered_map<TEntryId, int> watchOfFolder_;
  std::unordered_set<TEntryId> unwatched_;
  size_t watchesAsked_ = 0;  // of the reading threads, not yet taken in
  bool unwatchedReported_ = false;
  bool resyncNeeded_ = false;  // watch events were lost
  std::vector<TEntryId> pendingRemovals_;
  std::unordered_map<uint32_t, TEntryId> movedFrom_;
  std::unordered_set<TEntryId> movingAway_;  // of movedFrom_, still live and not arrived
  std::unordered_set<TEntryId> staleFacts_;  // entries whose size or date may have changed
  // The index's version when last looked at, and when it was first seen: how long it has rested.
  uint64_t settledVersion_ = 0;
  std::chrono::steady_clock::time_point settledSince_;
  // Folders asked for whose scan runs, by number.
  std::unordered_map<size_t, TRequestScan> scanning_;
  size_t lastRequest_ = kNoRequest;
  // The folders read in this pass, both ways: none is read twice (a loop through a bound
  // mount), and one removed from the index meanwhile no longer counts (its inode may come back).
  std::unordered_map<TFolderIdentity, TEntryId, TFolderIdentityHash> readFolders_;
  std::unordered_map<TEntryId, TFolderIdentity> identityOfRead_;
  // Folders listed by names alone, for the facts pass.
  std::vector<TFolderTask> factsToRead_;

  // Folders asked for by queries: waiting, and done.
  mutable TMutex requestMutex_;
  std::condition_variable requestDone_;
  std::vector<std::string> requested_ GUARDED_BY(requestMutex_);
  std::set<std::string> finished_ GUARDED_BY(requestMutex_);

  std::atomic<int> openRequests_{0};
  std::atomic<bool> firstScanDone_{false};
  std::atomic<bool> factsPassDone_{false};
  std::atomic<bool> stop_{false};
  const TIndexerWake wake_;
  std::thread thread_;
};

}  // namespace webtessl
