#include "tessel/Indexer.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "tessel/FolderListing.h"
#include "tessel/FolderPaths.h"
#include "tessel/FolderReader.h"
#include "tessel/NativePath.h"

namespace webtessl {
namespace {

using Clock = std::chrono::steady_clock;

// Folders read between two looks at the watch events and the folders asked for. A look first
// waits for every folder under way, which leaves the reading threads idle for a moment: this many
// folders (a few tens of milliseconds of a scan) keep that rare.
constexpr size_t kFoldersBetweenEvents = 1024;
// Folders asked of the reading threads and not yet added: enough that they never wait for the
// thread adding to the index, few enough that a listing is added soon after it is read.
constexpr size_t kReadsAhead = 128;
// Names of a listing whose place in the index is fetched ahead of adding them.
constexpr size_t kPrefetchAhead = 8;
// Reads by the facts pass that may miss a folder that has not moved before it is given up.
constexpr int kFactsMisses = 8;
// How long the index rests unchanged before the indexer brings its path order up to date.
constexpr auto kOrderSettle = std::chrono::milliseconds(500);

// Calls onEntry with the index, each entry of a folder's listing and its name, having asked the
// processor to fetch where the index keeps that name a few entries ahead: the looks into the
// child table then overlap instead of each waiting for memory in turn.
template <typename Fn>
void ForEachListed(TNameIndex& index, TEntryId folder, const TFolderListing& listing, Fn onEntry) {
  const std::vector<TListedEntry>& entries = listing.entries;
  for (size_t i = 0; i < std::min(kPrefetchAhead, entries.size()); ++i)
    index.PrefetchChild(folder, listing.NameOf(entries[i]));
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i + kPrefetchAhead < entries.size())
      index.PrefetchChild(folder, listing.NameOf(entries[i + kPrefetchAhead]));
    onEntry(index, entries[i], listing.NameOf(entries[i]));
  }
}

std::string JoinPath(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

}  // namespace

TIndexer::TIndexer(TTesselSettings settings) : settings_(std::move(settings)) {
  // The roots are known at once, so that queries can tell which folders they cover.
  for (const std::string& root : settings_.roots) index_.AddRoot(root);
}

TIndexer::~TIndexer() {
  stop_ = true;
  Wake();
  if (thread_.joinable()) thread_.join();
}

void TIndexer::Start() {
  thread_ = std::thread([this] { Run(); });
}

bool TIndexer::Indexing(TSortKey sort) const {
  if (!firstScanDone_ || openRequests_ > 0) return true;
  return (sort == TSortKey::Size || sort == TSortKey::Date) && !factsPassDone_;
}

void TIndexer::Wake() const {
  wake_.Wake();
}

void TIndexer::Run() {
  const auto start = Clock::now();
  FirstScan();
  ReadFactsOfFirstScan();
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  if (!stop_) {
    std::fprintf(stderr, "tessel: sizes and dates read in %lld ms\n",
                 static_cast<long long>(elapsed.count()));
  }
  auto nextRescan = Clock::now() + settings_.rescanInterval;
  while (!stop_) {
    int waitMs = -1;
    if (!unwatched_.empty()) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(nextRescan - Clock::now());
      waitMs = static_cast<int>(std::max<int64_t>(0, left.count()));
    }
    if (const int orderMs = OrderPathsWhenSettled(); orderMs >= 0)
      waitMs = waitMs < 0 ? orderMs : std::min(waitMs, orderMs);
    wake_.Wait(watch_.Usable() ? watch_.Fd() : -1, waitMs);
    std::vector<TFolderTask> toScan;
    HandleEvents(toScan);
    TakeRequests(toScan);
    ScanFolders(std::move(toScan));
    if (resyncNeeded_) {
      resyncNeeded_ = false;
      Resync(AllFolders());
    }
    if (!unwatched_.empty() && Clock::now() >= nextRescan) {
      Resync(std::vector<TEntryId>(unwatched_.begin(), unwatched_.end()));
      nextRescan = Clock::now() + settings_.rescanInterval;
    }
  }
}

// The first scan lists every folder by names alone: names and kinds come with a folder's own
// entries, while a look at each entry for its size and date would cost most of the scan (the
// system call of each look, on top of the listing). Once every folder is listed, queries by name
// are answered in full; the facts pass follows.
void TIndexer::FirstScan() {
  const auto start = Clock::now();
  if (!watch_.Usable()) ReportUnwatched("inotify is not available");
  std::vector<TFolderTask> stack;
  WithIndex([&stack](TNameIndex& index) {
    for (const TEntryId root : index.Roots())
      stack.push_back({root, index.RootPath(root), kNoRequest, TReadKind::Names});
  });
  std::reverse(stack.begin(), stack.end());  // the first root first
  ScanFolders(std::move(stack));
  const size_t entries = WithIndexShared([](const TNameIndex& index) { return index.Size(); });
  firstScanDone_ = true;
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  std::fprintf(stderr, "tessel: indexed %zu entries in %lld ms\n", entries,
               static_cast<long long>(elapsed.count()));
}

// The facts pass: every folder the first scan listed by names alone is read again with the facts
// of its entries, which go to the entries the index still has there under the same names and
// kinds. It runs as any scan runs, events and folders asked for looked at between its reads.
void TIndexer::ReadFactsOfFirstScan() {
  std::vector<TFolderTask> tasks = std::move(factsToRead_);
  factsToRead_ = {};
  std::reverse(tasks.begin(), tasks.end());  // in the order they were listed
  if (!stop_) ScanFolders(std::move(tasks));
  // The room the scan grew into is given back and the path order made ready for the first large
  // answer only now: queries by name are answered meanwhile (one that needs the order makes it).
  WithIndex([](TNameIndex& index) { index.ShrinkToFit(); });
  ReturnFreeMemory();
  factsPassDone_ = true;
  WithIndexShared([](const TNameIndex& index) { index.PathRanks(); });
  ReturnFreeMemory();  // what ordering the paths held for a while
}

// After a burst of changes the path order is brought up to date here, once the index has rested,
// rather than by the first query that needs it (after many changes it is computed in full, which
// takes seconds at ten million entries). Queries go on meanwhile: only changes wait. Returns how
// long to wait before looking again, or -1 when the order is current.
int TIndexer::OrderPathsWhenSettled() {
  const auto [version, stale] = WithIndexShared([](const TNameIndex& index) {
    return std::pair(index.Version(), index.PathRanksStale());
  });
  const auto now = Clock::now();
  if (version != settledVersion_) {
    settledVersion_ = version;
    settledSince_ = now;
  }
  if (!stale) return -1;
  if (const auto rested = now - settledSince_; rested < kOrderSettle) {
    return static_cast<int>(
               std::chrono::duration_cast<std::chrono::milliseconds>(kOrderSettle - rested).count()) +
           1;
  }
  WithIndexShared([](const TNameIndex& index) { index.PathRanks(); });
  return -1;
}

// The folders are listed on reading threads, a few ahead, and added here as their listings come
// in. Events and requests are looked at every so many folders, when every folder asked for is
// added: no event that followed a listing is handled before that listing is in the index. The
// same rule keeps facts fresh: facts are read for events (and set) only while no folder is being
// read, so a listing never carries facts older than those an event set before it was asked for,
// and a change after a listing's look brings an event handled after the listing is taken in. The
// facts pass therefore needs no record of the entries that events refreshed.
void TIndexer::ScanFolders(std::vector<TFolderTask> stack) {
  if (stack.empty()) return;
  TFolderReader reader(TFolderReader::ThreadsForMachine());
  std::unordered_map<uint64_t, TFolderTask> reading;  // by ticket
  std::vector<TUnread> unread;  // looked at again once the events since are handled
  uint64_t lastTicket = 0;
  size_t asked = 0;  // since the last look at events
  // Keeps the reading threads supplied; asked again before each listing is taken in, so that they
  // read on while this thread adds rather than wait for a whole batch to be added.
  const auto askAhead = [&] {
    while (asked < kFoldersBetweenEvents && reading.size() < kReadsAhead && !stack.empty()) {
      TFolderTask task = std::move(stack.back());
      stack.pop_back();
      bool followLink = false;
      bool watch = false;
      if (!StartRead(task, followLink, watch)) {
        Done(task);
        continue;
      }
      reader.Ask(++lastTicket, task.path, followLink, watch ? &watch_ : nullptr,
                 task.kind == TReadKind::Names ? TListingDetail::NamesOnly
                                               : TListingDetail::NamesAndFacts);
      if (watch) ++watchesAsked_;
      reading.emplace(lastTicket, std::move(task));
      ++asked;
    }
  };
  while (!stop_) {
    askAhead();
    if (reading.empty()) {
      if (stack.empty() && unread.empty()) break;
      asked = 0;
      HandleEvents(stack);
      TakeRequests(stack);
      ReadAgain(unread, stack);
      continue;
    }
    for (const TFolderReader::TRead& read : reader.Take()) {
      askAhead();
      const auto found = reading.find(read.ticket);
      TFolderTask task = std::move(found->second);
      reading.erase(found);
      if (task.kind == TReadKind::Facts) {
        if (!TakeFacts(task, read.listing)) unread.push_back({std::move(task), kNoEntry});
        continue;
      }
      const TEntryId readAs = AddRead(task, read, stack);
      if (!read.listing || (readAs != kNoEntry && readAs != task.folder)) {
        unread.push_back({std::move(task), readAs});
        continue;
      }
      Done(task);
    }
  }
  readFolders_.clear();
  identityOfRead_.clear();
}

// Readies a folder from the stack to be read, and says whether it is to be watched first: false
// when it went meanwhile. One moved meanwhile (or put on the stack without its path) is read at
// its current place.
bool TIndexer::StartRead(TFolderTask& task, bool& followLink, bool& watch) {
  {
    const TIndexReadLock lock(*this);
    if (!index_.IsLive(task.folder) || !index_.IsDirectory(task.folder)) return false;
    followLink = index_.IsRoot(task.folder);
    if (index_.Path(task.folder) != task.path) {
      task.path = index_.Path(task.folder);
      if (IsExcludedFolder(settings_, task.path, index_.Name(task.folder))) return false;
    }
  }
  watch = task.kind != TReadKind::Facts && WantsWatch(task.folder);  // read before: watched
  return true;
}

// Folders not read are read again, at their new place, when the events since say that they
// moved, or that the folder they were read as went (one moved away, where this one came in);
// the others are dropped: gone, not readable, or the same folder seen again through a loop.
void TIndexer::ReadAgain(std::vector<TUnread>& unread, std::vector<TFolderTask>& stack) {
  for (auto& [task, readAs] : unread) {
    bool again = false;
    {
      const TIndexReadLock lock(*this);
      if (index_.IsLive(task.folder) && index_.IsDirectory(task.folder)) {
        if (task.kind == TReadKind::Facts) {
          again = ReadFactsAgain(task);
        } else {
          again = readAs == kNoEntry ? index_.Path(task.folder) != task.path
                                     : !index_.IsLive(readAs) || !index_.IsDirectory(readAs);
        }
      }
    }
    if (again) {
      stack.push_back(std::move(task));
    } else {
      Done(task);
    }
  }
  unread.clear();
}

// A folder the facts pass could not take in is read again at its new place when the events since
// say that it moved, and otherwise a few times more where it is: it may have moved away and back
// meanwhile, and a folder mounted over it tells no event. One listed with its facts since (an
// event's scan) needs the pass no more.
bool TIndexer::ReadFactsAgain(TFolderTask& task) {
  if (identityOfRead_.contains(task.folder)) return false;
  return index_.Path(task.folder) != task.path || ++task.misses < kFactsMisses;
}

// The folder the listed one was read as before in this pass, or kNoEntry when it was not: a
// folder seen again through a loop is not read twice. One read as an entry that is gone since
// does not count.
TEntryId TIndexer::ReadBefore(TEntryId folder, const TFolderListing& listing) {
  const TFolderIdentity& identity = listing.identity;
  const auto [read, added] = readFolders_.emplace(identity, folder);
  if (!added) {
    if (index_.IsLive(read->second) && index_.IsDirectory(read->second)) return read->second;
    identityOfRead_.erase(read->second);
    read->second = folder;
  }
  identityOfRead_[folder] = identity;
  return kNoEntry;
}

// Takes in a folder read: its watch, then what it holds. Returns the folder it was read as before
// in this pass instead, or kNoEntry (also when it could not be read).
TEntryId TIndexer::AddRead(const TFolderTask& task, const TFolderReader::TRead& read,
                           std::vector<TFolderTask>& stack) {
  const TIndexWriteLock lock(*this);
  if (read.watched) {
    --watchesAsked_;
    RecordWatch(task.folder, *read.watched, read.watch);
  }
  return read.listing ? AddListing(task, *read.listing, stack) : kNoEntry;
}

// Adds what the folder holds; returns the folder it was read as before in this pass instead, or
// kNoEntry.
TEntryId TIndexer::AddListing(const TFolderTask& task, const TFolderListing& listing,
                              std::vector<TFolderTask>& stack) {
  const TEntryId folder = task.folder;
  const std::string& path = task.path;
  if (!index_.IsLive(folder) || index_.Path(folder) != path) return kNoEntry;
  if (const TEntryId readAs = ReadBefore(folder, listing); readAs != kNoEntry) return readAs;
  // Its path is found again when the facts pass comes to it (it may have moved by then).
  if (!listing.hasFacts)
    factsToRead_.push_back({folder, {}, kNoRequest, TReadKind::Facts, listing.identity});
  // An entry of the other kind under a listed name is replaced: its folders are forgotten.
  const std::function<void(TEntryId)> forget = [this](TEntryId gone) { ForgetFolder(gone); };
  const auto addEntry = [&](TNameIndex& index, const TListedEntry& entry, std::string_view name) {
    // Without facts an entry there before keeps its own (set by an event since it was listed).
    const auto facts = listing.hasFacts ? std::optional(entry.facts) : std::nullopt;
    if (!entry.isDirectory) {
      index.Add(folder, name, false, facts, forget);
      return;
    }
    std::string childPath = JoinPath(path, name);
    if (IsExcludedFolder(settings_, childPath, name)) return;
    const TEntryId child = index.Add(folder, name, true, facts, forget);
    if (child != kNoEntry) Push(stack, {child, std::move(childPath), task.request, task.kind});
  };
  ForEachListed(index_, folder, listing, addEntry);
  return kNoEntry;
}

// Gives the facts of a folder read again by the facts pass to the entries the index still has
// there under the same names and kinds (one that came since was added by its event, with its
// facts). False when the folder could not be read, or what was read at its place is another
// folder (moved, renamed or replaced since, which the events tell); true when taken in, or when
// its entry is gone.
bool TIndexer::TakeFacts(const TFolderTask& task, const std::optional<TFolderListing>& listing) {
  const TIndexWriteLock lock(*this);
  const TEntryId folder = task.folder;
  if (!index_.IsLive(folder) || !index_.IsDirectory(folder)) return true;
  if (!listing || listing->identity != task.listedAs || index_.Path(folder) != task.path)
    return false;
  const auto takeFacts = [folder](TNameIndex& index, const TListedEntry& entry,
                                  std::string_view name) {
    const TEntryId id = index.Find(folder, name);
    if (id != kNoEntry && index.IsDirectory(id) == entry.isDirectory) index.SetFacts(id, entry.facts);
  };
  ForEachListed(index_, folder, *listing, takeFacts);
  return true;
}

// Puts a folder to read on the stack; the scan of a folder asked for waits for it too.
void TIndexer::Push(std::vector<TFolderTask>& stack, TFolderTask task) {
  if (task.request != kNoRequest) ++scanning_.at(task.request).pending;
  stack.push_back(std::move(task));
}

// A folder from the stack is read, or dropped: the scan of a folder asked for ends with its last.
void TIndexer::Done(const TFolderTask& task) {
  if (task.request == kNoRequest) return;
  const auto scan = scanning_.find(task.request);
  if (--scan->second.pending != 0) return;
  Finish(scan->second.folder);
  scanning_.erase(scan);
}

// Whether a folder about to be read is to be watched first: not when it is watched already, nor
// beyond the watch limit (counting the watches asked for and not yet taken in).
bool TIndexer::WantsWatch(TEntryId folder) {
  if (watchOfFolder_.contains(folder)) return false;
  if (!watch_.Usable() || (settings_.maxWatches != 0 &&
                           watchOfFolder_.size() + watchesAsked_ >= settings_.maxWatches)) {
    ReportUnwatched("the watch limit is reached");
    unwatched_.insert(folder);
    return false;
  }
  return true;
}

// Takes in how watching a folder went, on a reading thread before the folder was read.
void TIndexer::RecordWatch(TEntryId folder, TFolderWatch::TAddResult result, int watch) {
  switch (result) {
    case TFolderWatch::TAddResult::Added:
      if (static_cast<size_t>(watch) >= folderOfWatch_.size())
        folderOfWatch_.resize(static_cast<size_t>(watch) + 1, kNoEntry);
      // A folder seen again through a bound mount has the watch of the first place it was
      // seen: its events stay that folder's.
      if (const TEntryId holder = folderOfWatch_[watch]; holder != kNoEntry && holder != folder) {
        if (index_.IsLive(holder) && index_.IsDirectory(holder)) break;
        watchOfFolder_.erase(holder);
      }
      folderOfWatch_[watch] = folder;
      watchOfFolder_[folder] = watch;
      unwatched_.erase(folder);
      break;
    case TFolderWatch::TAddResult::LimitReached:
      ReportUnwatched("the system's inotify watch limit is reached");
      unwatched_.insert(folder);
      break;
    case TFolderWatch::TAddResult::Failed:
      break;  // gone or unreadable: its folder's events tell what becomes of it
  }
}

void TIndexer::ReportUnwatched(const char* reason) {
  if (unwatchedReported_) return;
  unwatchedReported_ = true;
  std::fprintf(
      stderr, "tessel: %s after %zu folders; the others are read again every %lld s\n", reason,
      watchOfFolder_.size(),
      static_cast<long long>(
          std::chrono::duration_cast<std::chrono::seconds>(settings_.rescanInterval).count()));
}

void TIndexer::HandleEvents(std::vector<TFolderTask>& toScan) {
  if (!watch_.Usable()) return;
  // The events are read first and handled after, with the index locked in this function's
  // own scope.
  std::vector<TFolderEvent> events;
  std::vector<std::string> names;
  bool overflow = false;
  watch_.ReadEvents([&](const TFolderEvent& event) {
    if (event.kind == TFolderEvent::TKind::Overflow) {
      overflow = true;
    } else {
      events.push_back(event);
      names.emplace_back(event.name);
    }
  });
  {
    const TIndexWriteLock lock(*this);
    for (size_t i = 0; i < events.size(); ++i) {
      events[i].name = names[i];
      HandleEvent(events[i], toScan);
    }
    // A move whose other half was not seen took the entry out of sight.
    for (const auto& [cookie, entry] : movedFrom_) {
      if (movingAway_.contains(entry)) pendingRemovals_.push_back(entry);
    }
    movedFrom_.clear();
    movingAway_.clear();
    FlushRemovals();
  }
  resyncNeeded_ = resyncNeeded_ || overflow;
  RefreshFacts();
}

void TIndexer::RefreshFacts() {
  if (staleFacts_.empty()) return;
  // The paths under the lock, the file system without it, the new facts under it again.
  std::vector<std::pair<TEntryId, std::string>> stale;
  WithIndex([&](TNameIndex& index) {
    for (const TEntryId id : staleFacts_) {
      if (index.IsLive(id)) stale.emplace_back(id, index.Path(id));
    }
  });
  staleFacts_.clear();
  std::vector<std::pair<size_t, TEntryFacts>> read;
  for (size_t i = 0; i < stale.size(); ++i) {
    if (const auto facts = ReadFacts(stale[i].second)) read.emplace_back(i, *facts);
  }
  WithIndex([&](TNameIndex& index) {
    for (const auto& [at, facts] : read) {
      const auto& [id, path] = stale[at];
      // An entry removed or renamed meanwhile is left to the events that tell of it.
      if (index.IsLive(id) && index.Path(id) == path) index.SetFacts(id, facts);
    }
  });
}

void TIndexer::HandleEvent(const TFolderEvent& event, std::vector<TFolderTask>& toScan) {
  using TKind = TFolderEvent::TKind;
  if (event.watch < 0 || static_cast<size_t>(event.watch) >= folderOfWatch_.size()) return;
  const TEntryId folder = folderOfWatch_[event.watch];
  if (folder == kNoEntry) return;
  if (event.kind == TKind::WatchGone) {
    watchOfFolder_.erase(folder);
    folderOfWatch_[event.watch] = kNoEntry;
    return;
  }
  if (!index_.IsLive(folder) || IsHiddenName(event.name) || event.name.empty()) return;
  // Folder removals wait for one pass over the index; a later event may concern the same name.
  if (event.kind != TKind::Removed) FlushRemovals();
  const TEntryId existing = EntryNamed(folder, event.name);
  if (event.kind == TKind::Changed) {
    // Written, truncated or touched: its facts are read again once the events are handled.
    staleFacts_.insert(existing != kNoEntry
                           ? existing
                           : AddFromEvent(folder, event.name, event.isDirectory, toScan));
    return;
  }
  staleFacts_.insert(folder);  // an entry came or went: the folder's own date changed
  switch (event.kind) {
    case TKind::Removed:
      if (existing == kNoEntry) break;
      if (index_.IsDirectory(existing)) {
        pendingRemovals_.push_back(existing);
      } else {
        index_.Remove(std::span(&existing, 1));
      }
      break;
    case TKind::MovedFrom:
      if (existing != kNoEntry) {
        movedFrom_[event.cookie] = existing;
        movingAway_.insert(existing);
      }
      break;
    case TKind::MovedTo:
      if (const auto moved = movedFrom_.find(event.cookie); moved != movedFrom_.end()) {
        const TEntryId entry = moved->second;
        movedFrom_.erase(moved);
        if (movingAway_.erase(entry) != 0 && index_.IsLive(entry)) {
          // What had the name (a folder read since) is removed as any folder is.
          if (existing != kNoEntry && existing != entry)
            index_.Remove(std::span(&existing, 1), [this](TEntryId gone) { ForgetFolder(gone); });
          index_.Move(entry, folder, event.name);
          staleFacts_.insert(entry);
          break;
        }
      }
      staleFacts_.insert(AddFromEvent(folder, event.name, event.isDirectory, toScan));
      break;
    default:
      staleFacts_.insert(AddFromEvent(folder, event.name, event.isDirectory, toScan));
      break;
  }
}

// The entry of that name in the folder as the events so far leave it. One whose move away was
// seen in this batch (and whose arrival was not) lost the name: an event for the name now concerns
// a new entry. The old one is removed at once, as a move out of sight is at the batch's end, so
// that its id cannot pass to the new entry while the move is still open and be removed with it.
TEntryId TIndexer::EntryNamed(TEntryId folder, std::string_view name) {
  const TEntryId existing = index_.Find(folder, name);
  if (existing == kNoEntry || movingAway_.erase(existing) == 0) return existing;
  index_.Remove(std::span(&existing, 1), [this](TEntryId gone) { ForgetFolder(gone); });
  return kNoEntry;
}

// Adds an entry an event told of; one of the other kind under the name is replaced, its folders
// forgotten as any removed folder is (their watches would otherwise stay theirs).
TEntryId TIndexer::AddFromEvent(TEntryId folder, std::string_view name, bool isDirectory,
                                std::vector<TFolderTask>& toScan) {
  std::string path = JoinPath(index_.Path(folder), name);
  if (isDirectory && IsExcludedFolder(settings_, path, name)) return kNoEntry;
  const TEntryId entry =
      index_.Add(folder, name, isDirectory, {}, [this](TEntryId gone) { ForgetFolder(gone); });
  if (entry != kNoEntry && isDirectory) toScan.push_back({entry, std::move(path)});
  return entry;
}

void TIndexer::FlushRemovals() {
  if (pendingRemovals_.empty()) return;
  index_.Remove(pendingRemovals_, [this](TEntryId folder) { ForgetFolder(folder); });
  pendingRemovals_.clear();
  // Entries moving away that lay under a removed folder are gone too: their ids may be taken by
  // the next entry added, which the end of the batch must not remove.
  for (auto entry = movingAway_.begin(); entry != movingAway_.end();)
    entry = index_.IsLive(*entry) ? std::next(entry) : movingAway_.erase(entry);
}

void TIndexer::ForgetFolder(TEntryId folder) {
  unwatched_.erase(folder);
  if (const auto read = identityOfRead_.find(folder); read != identityOfRead_.end()) {
    readFolders_.erase(read->second);
    identityOfRead_.erase(read);
  }
  const auto watched = watchOfFolder_.find(folder);
  if (watched == watchOfFolder_.end()) return;
  watch_.Remove(watched->second);
  folderOfWatch_[watched->second] = kNoEntry;
  watchOfFolder_.erase(watched);
}

void TIndexer::Resync(const std::vector<TEntryId>& folders) {
  std::unordered_map<TEntryId, std::vector<TEntryId>> known;
  std::vector<TFolderTask> tasks;
  WithIndex([&](TNameIndex& index) {
    for (const TEntryId folder : folders) {
      if (!index.IsLive(folder)) continue;
      known[folder];
      tasks.push_back({folder, index.Path(folder)});
    }
    index.ForEachLive([&](TEntryId id) {
      if (index.IsRoot(id)) return;
      if (const auto found = known.find(index.Parent(id)); found != known.end())
        found->second.push_back(id);
    });
  });
  std::vector<TFolderTask> toScan;
  for (const TFolderTask& task : tasks) {
    if (stop_) return;
    ResyncFolder(task.folder, task.path, known[task.folder], toScan);
  }
  ScanFolders(std::move(toScan));
}

std::vector<TEntryId> TIndexer::AllFolders() {
  std::vector<TEntryId> folders;
  WithIndex([&folders](TNameIndex& index) {
    index.ForEachLive([&](TEntryId id) {
      if (index.IsDirectory(id)) folders.push_back(id);
    });
  });
  return folders;
}

void TIndexer::ResyncFolder(TEntryId folder, const std::string& path,
                            const std::vector<TEntryId>& known, std::vector<TFolderTask>& toScan) {
  bool isRoot = false;
  WithIndex([&](TNameIndex& index) { isRoot = index.IsLive(folder) && index.IsRoot(folder); });
  const auto listing = ListFolder(path, isRoot);
  if (!listing) return;  // gone: the folder above it tells
  const TIndexWriteLock lock(*this);
  if (!index_.IsLive(folder) || index_.Path(folder) != path) return;
  std::set<std::string_view> present;
  for (const TListedEntry& entry : listing->entries) {
    const std::string_view name = listing->NameOf(entry);
    std::string childPath = JoinPath(path, name);
    if (entry.isDirectory && IsExcludedFolder(settings_, childPath, name)) continue;
    present.insert(name);
    const TEntryId existing = index_.Find(folder, name);
    if (existing != kNoEntry && index_.IsDirectory(existing) == entry.isDirectory) {
      index_.SetFacts(existing, entry.facts);
      continue;
    }
    const TEntryId child = index_.Add(folder, name, entry.isDirectory, entry.facts,
                                      [this](TEntryId gone) { ForgetFolder(gone); });
    if (child != kNoEntry && entry.isDirectory) toScan.push_back({child, std::move(childPath)});
  }
  std::vector<TEntryId> gone;
  for (const TEntryId child : known) {
    if (index_.IsLive(child) && index_.Parent(child) == folder &&
        !present.contains(index_.Name(child)))
      gone.push_back(child);
  }
  index_.Remove(gone, [this](TEntryId removed) { ForgetFolder(removed); });
}

bool TIndexer::Covers(const std::string& folder) const {
  for (const TEntryId root : index_.Roots()) {
    const std::string& rootPath = index_.RootPath(root);
    if (!IsSameOrUnder(folder, rootPath)) continue;
    // Hidden and excluded folders below the root are not indexed.
    size_t start = rootPath.size();
    while (start < folder.size()) {
      if (folder[start] == '/') ++start;
      size_t end = folder.find('/', start);
      if (end == std::string::npos) end = folder.size();
      const std::string_view name = std::string_view(folder).substr(start, end - start);
      if (IsHiddenName(name) || IsExcludedFolder(settings_, folder.substr(0, end), name))
        return false;
      start = end;
    }
    return true;
  }
  return false;
}

bool TIndexer::EnsureFolder(const std::string& folder, std::chrono::milliseconds wait) {
  std::error_code error;
  if (!std::filesystem::is_directory(ToNativePath(folder), error)) return false;
  {
    const TIndexReadLock lock(*this);
    if (Covers(folder)) return true;
  }
  // Hidden entries are never answered: a folder asked for by a query does not make them visible.
  if (HasHiddenName(folder)) return false;
  const auto deadline = Clock::now() + wait;
  TMutexLock lock(requestMutex_);
  if (!finished_.contains(folder) &&
      std::find(requested_.begin(), requested_.end(), folder) == requested_.end()) {
    requested_.push_back(folder);
    ++openRequests_;
    Wake();
  }
  while (!finished_.contains(folder)) {
    if (!lock.WaitUntil(requestDone_, deadline)) return finished_.contains(folder);
  }
  return true;
}

void TIndexer::TakeRequests(std::vector<TFolderTask>& stack) {
  std::vector<std::string> folders;
  {
    const TMutexLock lock(requestMutex_);
    folders.swap(requested_);
  }
  for (const std::string& folder : folders) {
    const TIndexWriteLock lock(*this);
    if (Covers(folder)) {
      Finish(folder);
      continue;
    }
    // Roots inside the new one are read again as part of it.
    std::vector<TEntryId> inside;
    for (const TEntryId root : index_.Roots()) {
      if (IsSameOrUnder(index_.RootPath(root), folder)) inside.push_back(root);
    }
    index_.Remove(inside, [this](TEntryId removed) { ForgetFolder(removed); });
    scanning_[++lastRequest_].folder = folder;
    Push(stack, {index_.AddRoot(folder), folder, lastRequest_});
  }
}

void TIndexer::Finish(const std::string& folder) {
  {
    const TMutexLock lock(requestMutex_);
    finished_.insert(folder);
  }
  --openRequests_;
  requestDone_.notify_all();
}

}  // namespace webtessl
