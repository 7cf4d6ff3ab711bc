#include "tessel/NameIndex.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "tessel/CaseFold.h"
#include "tessel/EntryOrder.h"
#include "tessel/PathOrder.h"
#include "tessel/Prefetch.h"
#include "tessel/RecordScan.h"
#include "tessel/SubstringSearch.h"

namespace webtessl {
namespace {

constexpr char kDelimiter = '/';
constexpr size_t kMaxNameLength = 255;
// Stale arena bytes are dropped once they outweigh the live ones and pass this size.
constexpr size_t kCompactionFloor = 1 << 20;

// A name record's tag: the entry id with its kind bits, or stale.
constexpr uint32_t kRecordStale = 0xFFFFFFFF;
constexpr uint32_t kRecordDirectory = 1u << 30;
constexpr uint32_t kRecordRoot = 1u << 31;
constexpr uint32_t kRecordOwnName = 1u << 29;
constexpr uint32_t kRecordIdMask = kRecordOwnName - 1;

std::string_view LastComponent(std::string_view path) {
  const size_t slash = path.rfind(kDelimiter);
  if (slash == std::string_view::npos || path.size() == 1) return path;
  return path.substr(slash + 1);
}

// Names are stored closed by a NUL byte, so none may hold one.
bool IsStorableName(std::string_view name) {
  return name.size() <= kMaxNameLength && name.find('\0') == std::string_view::npos;
}

}  // namespace

TNameIndex::TNameIndex()
    : children_([this](TEntryId id) {
        const TEntry& entry = entries_[id];
        return TStoredChildKey{Parent(id), (entry.flags & kOwnName) ? names_.data() + entry.name
                                                                    : folded_.data() + entry.folded};
      }) {}

TEntryId TNameIndex::AddRoot(const std::string& path) {
  // A NUL byte would end the name's record early: no file system name holds one.
  const std::string_view name = LastComponent(path);
  const TEntryId id = NewEntry(kNoEntry, name.substr(0, name.find('\0')), kDirectory | kRoot);
  rootPaths_.push_back({id, path, FoldCase(path)});
  return id;
}

TEntryId TNameIndex::Add(TEntryId parent, std::string_view name, bool isDirectory,
                         const std::optional<TEntryFacts>& facts,
                         const std::function<void(TEntryId)>& onRemovedFolder) {
  // Only folders hold entries, so that removing a file never leaves entries without a folder.
  if (!IsStorableName(name) || !IsLive(parent) || !IsDirectory(parent)) return kNoEntry;
  if (freeIds_.empty() && entries_.size() >= kMaxEntries) return kNoEntry;
  TEntryId id = Find(parent, name);
  if (id != kNoEntry && IsDirectory(id) != isDirectory) {
    Remove(std::span(&id, 1), onRemovedFolder);  // a new entry of the other kind took the name
    id = kNoEntry;
  }
  if (id == kNoEntry) {
    id = NewEntry(parent, name, isDirectory ? kDirectory : 0);
    children_.Insert(id, {parent, name});
  }
  if (facts) SetFacts(id, *facts);
  return id;
}

void TNameIndex::SetFacts(TEntryId entry, const TEntryFacts& facts) {
  if (!IsLive(entry)) return;
  ForgetSize(entry);
  const uint64_t size = IsDirectory(entry) ? 0 : facts.size;
  if (size >= kLargeSize) {
    sizes_[entry] = kLargeSize;
    largeSizes_[entry] = size;
  } else {
    sizes_[entry] = static_cast<uint32_t>(size);
  }
  times_[entry] = static_cast<uint32_t>(std::clamp<int64_t>(facts.modified, 0, UINT32_MAX));
  ++factChanges_;
}

TEntryFacts TNameIndex::Facts(TEntryId entry) const {
  return {SizeOf(entry), times_[entry]};
}

void TNameIndex::ForgetSize(TEntryId entry) {
  if (sizes_[entry] == kLargeSize) largeSizes_.erase(entry);
  sizes_[entry] = 0;
}

TEntryId TNameIndex::NewEntry(TEntryId parent, std::string_view name, uint8_t flags) {
  TEntryId id = 0;
  if (!freeIds_.empty()) {
    id = freeIds_.back();
    freeIds_.pop_back();
  } else {
    id = static_cast<TEntryId>(entries_.size());
    entries_.emplace_back();
    sizes_.push_back(0);
    times_.push_back(0);
  }
  ForgetSize(id);
  times_[id] = 0;
  TEntry& entry = entries_[id];
  entry.parent = parent == kNoEntry ? kNoParent : parent;
  entry.flags = flags | kLive;
  StoreName(entry, id, name);
  PathChanged(id);
  ++liveCount_;
  if ((flags & (kDirectory | kRoot)) == kDirectory) ++liveFolders_;
  Changed();
  return id;
}

void TNameIndex::StoreName(TEntry& entry, TEntryId id, std::string_view name) {
  entry.folded = static_cast<uint32_t>(folded_.size());
  AppendFolded(name, folded_);
  // Most names are their own fold: those are read from the folded arena.
  if (std::string_view(folded_).substr(entry.folded) == name) {
    entry.flags &= ~kOwnName;
  } else {
    entry.flags |= kOwnName;
    entry.name = static_cast<uint32_t>(names_.size());
    names_.append(name);
    names_ += '\0';
  }
  folded_ += '\0';
  if (recordTags_.size() % kRecordsPerMark == 0) recordMarks_.push_back(entry.folded);
  recordTags_.push_back(id | ((entry.flags & kDirectory) ? kRecordDirectory : 0) |
                        ((entry.flags & kRoot) ? kRecordRoot : 0) |
                        ((entry.flags & kOwnName) ? kRecordOwnName : 0));
}

size_t TNameIndex::StoredBytes(const TEntry& entry) const {
  return std::strlen(folded_.data() + entry.folded) + 1 +
         ((entry.flags & kOwnName) ? std::strlen(names_.data() + entry.name) + 1 : 0);
}

TEntryId TNameIndex::Find(TEntryId parent, std::string_view name) const {
  return children_.Find({parent, name});
}

void TNameIndex::Move(TEntryId entry, TEntryId newParent, std::string_view newName) {
  if (!IsLive(entry) || !IsStorableName(newName)) return;
  const TEntryId displaced = Find(newParent, newName);
  if (displaced == entry) return;
  if (displaced != kNoEntry) Remove(std::span(&displaced, 1));
  if (!IsLive(entry)) return;  // it lay under the entry it replaced
  children_.Erase(entry);
  TEntry& moved = entries_[entry];
  if (moved.flags & kDirectory) {
    movedFolders_.push_back(entry);  // every path under it changed
  } else {
    PathChanged(entry);
  }
  moved.parent = newParent;  // a live folder's id: below kMaxEntries
  if (Name(entry) != newName) {
    MarkRecordStale(moved);
    staleBytes_ += StoredBytes(moved);
    StoreName(moved, entry, newName);
  }
  children_.Insert(entry);
  Changed();
  CompactIfWasteful();
}

void TNameIndex::Remove(std::span<const TEntryId> entries,
                        const std::function<void(TEntryId)>& onRemovedFolder) {
  bool anyFolder = false;
  for (const TEntryId id : entries) {
    if (!IsLive(id)) continue;
    if (IsDirectory(id)) {
      anyFolder = true;
    } else {
      MarkRemoved(id, onRemovedFolder);
    }
  }
  if (anyFolder) {
    const std::vector<bool> dropped = LiveAtOrUnder(entries);
    for (TEntryId id = 0; id < entries_.size(); ++id) {
      if (dropped[id]) MarkRemoved(id, onRemovedFolder);
    }
  }
  CompactIfWasteful();
}

void TNameIndex::MarkRemoved(TEntryId id, const std::function<void(TEntryId)>& onRemovedFolder) {
  TEntry& entry = entries_[id];
  if ((entry.flags & kDirectory) && onRemovedFolder) onRemovedFolder(id);
  if (entry.flags & kRoot) {
    std::erase_if(rootPaths_, [id](const TRootPath& root) { return root.root == id; });
  } else {
    children_.Erase(id);
  }
  MarkRecordStale(entry);
  staleBytes_ += StoredBytes(entry);
  ForgetSize(id);
  if ((entry.flags & (kDirectory | kRoot)) == kDirectory) --liveFolders_;
  entry.flags = 0;
  freeIds_.push_back(id);
  --liveCount_;
  Changed();
}

bool TNameIndex::IsLive(TEntryId entry) const {
  return entry < entries_.size() && (entries_[entry].flags & kLive);
}

bool TNameIndex::IsDirectory(TEntryId entry) const {
  return entries_[entry].flags & kDirectory;
}

bool TNameIndex::IsRoot(TEntryId entry) const {
  return entries_[entry].flags & kRoot;
}

TEntryId TNameIndex::Parent(TEntryId entry) const {
  const uint32_t parent = entries_[entry].parent;
  return parent == kNoParent ? kNoEntry : parent;
}

std::string_view TNameIndex::Name(TEntryId entry) const {
  const TEntry& stored = entries_[entry];
  if (!(stored.flags & kOwnName)) return FoldedName(entry);
  return names_.data() + stored.name;  // closed by its NUL
}

std::string_view TNameIndex::FoldedName(TEntryId entry) const {
  return folded_.data() + entries_[entry].folded;  // closed by its NUL
}

const std::string& TNameIndex::RootPath(TEntryId root) const {
  static const std::string kNone;
  for (const TRootPath& entry : rootPaths_) {
    if (entry.root == root) return entry.path;
  }
  return kNone;
}

std::vector<TEntryId> TNameIndex::Roots() const {
  std::vector<TEntryId> roots;
  for (const TRootPath& root : rootPaths_) roots.push_back(root.root);
  return roots;
}

void TNameIndex::AppendPathOf(TEntryId entry, std::string& out, bool folded) const {
  TEntryId chain[PATH_MAX / 2];
  size_t depth = 0;
  TEntryId up = entry;
  while (!IsRoot(up) && depth < std::size(chain)) {
    chain[depth++] = up;
    up = Parent(up);
  }
  for (const TRootPath& root : rootPaths_) {
    if (root.root == up) out += folded ? root.folded : root.path;
  }
  const bool atSlash = !out.empty() && out.back() == kDelimiter;
  for (size_t i = depth; i-- > 0;) {
    if (i + 1 != depth || !atSlash) out += kDelimiter;
    out += folded ? FoldedName(chain[i]) : Name(chain[i]);
  }
}

void TNameIndex::AppendPath(TEntryId entry, std::string& out) const {
  AppendPathOf(entry, out, false);
}

void TNameIndex::AppendFoldedPath(TEntryId entry, std::string& out) const {
  AppendPathOf(entry, out, true);
}

std::string TNameIndex::Path(TEntryId entry) const {
  std::string path;
  AppendPath(entry, path);
  return path;
}

void TNameIndex::MarkRecordStale(const TEntry& entry) {
  recordTags_[RecordAt(entry.folded)] = kRecordStale;
}

size_t TNameIndex::RecordStart(size_t record) const {
  size_t start = recordMarks_[record / kRecordsPerMark];
  for (size_t skip = record % kRecordsPerMark; skip > 0; --skip)
    start += std::strlen(folded_.data() + start) + 1;
  return start;
}

size_t TNameIndex::RecordAt(size_t offset) const {
  const auto after = std::upper_bound(recordMarks_.begin(), recordMarks_.end(), offset);
  const auto mark = static_cast<size_t>(after - recordMarks_.begin()) - 1;
  const size_t from = recordMarks_[mark];
  return mark * kRecordsPerMark +
         CountByte(std::string_view(folded_).substr(from, offset - from), '\0');
}

void TNameIndex::ForEachFoldedHit(std::string_view foldedWord, const TNameHitSink& onHits) const {
  ForEachFoldedHitInPart(foldedWord, 0, 1, onHits);
}

void TNameIndex::ForEachFoldedHitInPart(std::string_view foldedWord, size_t part, size_t parts,
                                        const TNameHitSink& onHits) const {
  if (foldedWord.empty() || recordTags_.empty()) return;
  // The part's records, from its first to the next part's first.
  const size_t records = recordTags_.size();
  const size_t firstRecord = records * part / parts;
  const size_t endRecord = records * (part + 1) / parts;
  if (firstRecord == endRecord) return;
  const size_t from = RecordStart(firstRecord);
  const size_t limit = endRecord < records ? RecordStart(endRecord) : folded_.size();
  const std::string_view text = std::string_view(folded_).substr(from, limit - from);
  std::vector<TNameHit> live;
  ScanRecords(text, foldedWord, [&](std::span<const TRecordHit> found) {
    live.clear();
    for (const TRecordHit& hit : found) {
      const uint32_t tag = recordTags_[firstRecord + hit.record];
      if (tag == kRecordStale) continue;
      live.push_back({tag & kRecordIdMask, (tag & kRecordDirectory) != 0,
                      (tag & kRecordRoot) != 0, (tag & kRecordOwnName) != 0,
                      text.substr(hit.start, hit.end - hit.start)});
    }
    return live.empty() || onHits(live);
  });
}

size_t TNameIndex::SampleHits(std::string_view foldedWord, size_t sampleBytes) const {
  const std::string_view sample = std::string_view(folded_).substr(0, sampleBytes);
  size_t hits = 0;
  for (size_t at = FindSubstring(sample, foldedWord, 0); at != std::string_view::npos;
       at = FindSubstring(sample, foldedWord, at + 1))
    ++hits;
  return hits;
}

TNameHit TNameIndex::HitOf(TEntryId entry) const {
  const TEntry& stored = entries_[entry];
  return {entry, (stored.flags & kDirectory) != 0, (stored.flags & kRoot) != 0,
          (stored.flags & kOwnName) != 0, FoldedName(entry)};
}

void TNameIndex::PrefetchNames(std::span<const TNameHit> hits) const {
  // First the records, which tell where the names lie, then the names.
  for (const TNameHit& hit : hits) {
    if (hit.ownName) Prefetch(&entries_[hit.entry]);
  }
  for (const TNameHit& hit : hits) {
    if (hit.ownName) Prefetch(names_.data() + entries_[hit.entry].name);
  }
}

void TNameIndex::ForEachLive(const std::function<void(TEntryId)>& onEntry) const {
  for (TEntryId id = 0; id < entries_.size(); ++id) {
    if (entries_[id].flags & kLive) onEntry(id);
  }
}

void TNameIndex::CompactIfWasteful() {
  if (staleBytes_ < kCompactionFloor || staleBytes_ < names_.size() + folded_.size() - staleBytes_)
    return;
  std::string oldNames;
  std::string oldFolded;
  oldNames.swap(names_);
  oldFolded.swap(folded_);
  recordMarks_.clear();
  recordTags_.clear();
  for (TEntryId id = 0; id < entries_.size(); ++id) {
    TEntry& entry = entries_[id];
    if (!(entry.flags & kLive)) continue;
    const std::string_view name =
        (entry.flags & kOwnName) ? oldNames.data() + entry.name : oldFolded.data() + entry.folded;
    StoreName(entry, id, name);
  }
  names_.shrink_to_fit();
  folded_.shrink_to_fit();
  staleBytes_ = 0;
}

void TNameIndex::ShrinkToFit() {
  entries_.shrink_to_fit();
  sizes_.shrink_to_fit();
  times_.shrink_to_fit();
  names_.shrink_to_fit();
  folded_.shrink_to_fit();
  recordMarks_.shrink_to_fit();
  recordTags_.shrink_to_fit();
  freeIds_.shrink_to_fit();
}

void TNameIndex::Changed() {
  ++version_;
}

void TNameIndex::PathChanged(TEntryId entry) {
  if (unranked_.size() < kUnrankedLimit) {
    unranked_.push_back(entry);
  } else {
    NewRankEpoch();
  }
}

void TNameIndex::NewRankEpoch() {
  ++rankEpoch_;
  unranked_.clear();
  movedFolders_.clear();
}

size_t TNameIndex::MarkUnderMovedFolders(std::vector<uint32_t>& ranks, size_t from) const {
  const std::vector<bool> moved =
      LiveAtOrUnder(std::span<const TEntryId>(movedFolders_).subspan(from));
  size_t marked = 0;
  for (TEntryId id = 0; id < entries_.size(); ++id) {
    if (!moved[id]) continue;
    ranks[id] = kUnranked;
    ++marked;
  }
  return marked;
}

std::vector<bool> TNameIndex::LiveAtOrUnder(std::span<const TEntryId> tops) const {
  // One pass over all entries decides, folder by folder, what lies under one of the tops: each
  // walk up stops at the first entry already decided, and decides every entry it passed.
  constexpr uint8_t kUnknown = 0;
  constexpr uint8_t kOutside = 1;
  constexpr uint8_t kUnder = 2;
  std::vector<uint8_t> verdict(entries_.size(), kUnknown);
  for (const TEntryId top : tops) {
    if (IsLive(top)) verdict[top] = kUnder;
  }
  std::vector<bool> under(entries_.size(), false);
  std::vector<TEntryId> chain;
  for (TEntryId id = 0; id < entries_.size(); ++id) {
    if (!IsLive(id)) continue;
    TEntryId up = id;
    while (up != kNoEntry && verdict[up] == kUnknown) {
      chain.push_back(up);
      up = Parent(up);
    }
    const uint8_t found = up == kNoEntry ? kOutside : verdict[up];
    for (const TEntryId link : chain) verdict[link] = found;
    chain.clear();
    under[id] = verdict[id] == kUnder;
  }
  return under;
}

std::shared_ptr<const std::vector<uint32_t>> TNameIndex::CurrentRanks() const {
  if (ranksVersion_ == version_) return ranks_;
  bool inFull = !ranks_ || ranksEpoch_ != rankEpoch_;
  if (!inFull) {
    // Only new paths since: the others keep their order. The ranks are changed in place unless
    // an answer still holds them (none can while the index changed, but that is cheap to check).
    if (ranks_.use_count() > 1) ranks_ = std::make_shared<std::vector<uint32_t>>(*ranks_);
    ranks_->resize(entries_.size(), kUnranked);
    for (const TEntryId entry : unranked_) (*ranks_)[entry] = kUnranked;
    if (movedApplied_ < movedFolders_.size()) {
      // Too many paths to compare one by one: the order is computed in full instead.
      inFull = MarkUnderMovedFolders(*ranks_, movedApplied_) + unranked_.size() > kUnrankedLimit;
      movedApplied_ = movedFolders_.size();
    }
  }
  if (inFull) {
    ranks_.reset();  // the old ranks' memory goes before the new ones are made
    ranks_ = std::make_shared<std::vector<uint32_t>>(ComputePathRanks(*this));
    ranksEpoch_ = rankEpoch_;
    movedApplied_ = movedFolders_.size();
  }
  ranksVersion_ = version_;
  return ranks_;
}

std::shared_ptr<const std::vector<uint32_t>> TNameIndex::PathRanks() const {
  const TMutexLock lock(ordersMutex_);
  return CurrentRanks();
}

bool TNameIndex::PathRanksStale() const {
  const TMutexLock lock(ordersMutex_);
  return ranksVersion_ != version_;
}

std::shared_ptr<const std::vector<TEntryId>> TNameIndex::OrderHead(TSortKey key,
                                                                   bool ascending) const {
  const TMutexLock lock(ordersMutex_);
  TCached<std::vector<TEntryId>>& head =
      heads_[static_cast<size_t>(key) * 2 + (ascending ? 1 : 0)];
  // The path and name orders follow the names alone; the others also the facts.
  const bool byFacts = key == TSortKey::Size || key == TSortKey::Date;
  const uint64_t version = byFacts ? version_ + factChanges_ : version_;
  if (head.version != version) {
    const auto ranks = CurrentRanks();
    head.value.reset();
    head.value = std::make_shared<const std::vector<TEntryId>>(
        ComputeOrderHead(*this, TEntryOrder(*this, key, ascending, *ranks), kOrderHeadLength));
    head.version = version;
  }
  return head.value;
}

}  // namespace webtessl
