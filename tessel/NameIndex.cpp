#include "tessel/NameIndex.h"

#include <climits>
#include <cstring>

#include "tessel/CaseFold.h"
#include "tessel/PathOrder.h"

namespace webtessl {
namespace {

constexpr char kDelimiter = '/';
constexpr size_t kMaxNameLength = 255;
// Stale arena bytes are dropped once they outweigh the live ones and pass this size.
constexpr size_t kCompactionFloor = 1 << 20;

std::string_view LastComponent(std::string_view path) {
  const size_t slash = path.rfind(kDelimiter);
  if (slash == std::string_view::npos || path.size() == 1) return path;
  return path.substr(slash + 1);
}

}  // namespace

TNameIndex::TNameIndex()
    : children_([this](TEntryId id) { return TChildKey{entries_[id].parent, Name(id)}; }) {}

TEntryId TNameIndex::AddRoot(const std::string& path) {
  const TEntryId id = NewEntry(kNoEntry, LastComponent(path), kDirectory | kRoot);
  rootPaths_.push_back({id, path, FoldCase(path)});
  return id;
}

TEntryId TNameIndex::Add(TEntryId parent, std::string_view name, bool isDirectory) {
  if (name.size() > kMaxNameLength) return kNoEntry;
  const uint8_t kind = isDirectory ? kDirectory : 0;
  const TEntryId existing = Find(parent, name);
  if (existing != kNoEntry) {
    if ((entries_[existing].flags & kDirectory) != kind) {
      entries_[existing].flags = (entries_[existing].flags & ~kDirectory) | kind;
      Changed();
    }
    return existing;
  }
  const TEntryId id = NewEntry(parent, name, kind);
  children_.Insert(id);
  return id;
}

TEntryId TNameIndex::NewEntry(TEntryId parent, std::string_view name, uint8_t flags) {
  TEntryId id = 0;
  if (!freeIds_.empty()) {
    id = freeIds_.back();
    freeIds_.pop_back();
  } else {
    id = static_cast<TEntryId>(entries_.size());
    entries_.emplace_back();
  }
  TEntry& entry = entries_[id];
  entry.parent = parent;
  entry.flags = flags | kLive;
  StoreName(entry, id, name);
  ++liveCount_;
  Changed();
  return id;
}

void TNameIndex::StoreName(TEntry& entry, TEntryId id, std::string_view name) {
  entry.name = static_cast<uint32_t>(names_.size());
  entry.nameLength = static_cast<uint8_t>(name.size());
  names_.append(name);
  names_ += '\0';
  entry.folded = static_cast<uint32_t>(folded_.size());
  AppendFolded(name, folded_);
  entry.foldedLength = static_cast<uint16_t>(folded_.size() - entry.folded);
  folded_ += '\0';
  recordOffsets_.push_back(entry.folded);
  recordEntries_.push_back(id);
}

TEntryId TNameIndex::Find(TEntryId parent, std::string_view name) const {
  return children_.Find({parent, name});
}

void TNameIndex::Move(TEntryId entry, TEntryId newParent, std::string_view newName) {
  if (!IsLive(entry) || newName.size() > kMaxNameLength) return;
  const TEntryId displaced = Find(newParent, newName);
  if (displaced == entry) return;
  if (displaced != kNoEntry) Remove(std::span(&displaced, 1));
  if (!IsLive(entry)) return;  // it lay under the entry it replaced
  children_.Erase(entry);
  TEntry& moved = entries_[entry];
  moved.parent = newParent;
  if (Name(entry) != newName) {
    staleBytes_ += moved.nameLength + moved.foldedLength + 2;
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
    // One pass over all entries decides, folder by folder, what lies under a removed one.
    constexpr uint8_t kUnknown = 0;
    constexpr uint8_t kKeep = 1;
    constexpr uint8_t kDrop = 2;
    std::vector<uint8_t> verdict(entries_.size(), kUnknown);
    for (const TEntryId id : entries) {
      if (IsLive(id)) verdict[id] = kDrop;
    }
    std::vector<TEntryId> chain;
    for (TEntryId id = 0; id < entries_.size(); ++id) {
      if (!IsLive(id)) continue;
      TEntryId up = id;
      while (up != kNoEntry && verdict[up] == kUnknown) {
        chain.push_back(up);
        up = entries_[up].parent;
      }
      const uint8_t found = up == kNoEntry ? kKeep : verdict[up];
      for (const TEntryId link : chain) verdict[link] = found;
      chain.clear();
    }
    for (TEntryId id = 0; id < entries_.size(); ++id) {
      if (IsLive(id) && verdict[id] == kDrop) MarkRemoved(id, onRemovedFolder);
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
  entry.flags = 0;
  staleBytes_ += entry.nameLength + entry.foldedLength + 2;
  freeIds_.push_back(id);
  --liveCount_;
  Changed();
}

bool TNameIndex::IsLive(TEntryId entry) const {
  return entry < entries_.size() && (entries_[entry].flags & kLive);
}

bool TNameIndex::IsDirectory(TEntryId entry) const { return entries_[entry].flags & kDirectory; }

bool TNameIndex::IsRoot(TEntryId entry) const { return entries_[entry].flags & kRoot; }

TEntryId TNameIndex::Parent(TEntryId entry) const { return entries_[entry].parent; }

std::string_view TNameIndex::Name(TEntryId entry) const {
  return std::string_view(names_).substr(entries_[entry].name, entries_[entry].nameLength);
}

std::string_view TNameIndex::FoldedName(TEntryId entry) const {
  return std::string_view(folded_).substr(entries_[entry].folded, entries_[entry].foldedLength);
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
    up = entries_[up].parent;
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

bool TNameIndex::HasLiveRecord(size_t record) const {
  const TEntryId id = recordEntries_[record];
  return IsLive(id) && entries_[id].folded == recordOffsets_[record];
}

void TNameIndex::ForEachFoldedHit(std::string_view foldedWord,
                                  const std::function<void(TEntryId)>& onEntry) const {
  if (foldedWord.empty() || recordOffsets_.empty()) return;
  const char* const arena = folded_.data();
  const size_t arenaSize = folded_.size();
  size_t pos = 0;
  size_t record = 0;
  while (pos < arenaSize) {
    const void* hit = ::memmem(arena + pos, arenaSize - pos, foldedWord.data(), foldedWord.size());
    if (hit == nullptr) return;
    const auto offset = static_cast<uint32_t>(static_cast<const char*>(hit) - arena);
    while (record + 1 < recordOffsets_.size() && recordOffsets_[record + 1] <= offset) ++record;
    if (HasLiveRecord(record)) onEntry(recordEntries_[record]);
    pos = record + 1 < recordOffsets_.size() ? recordOffsets_[record + 1] : arenaSize;
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
  recordOffsets_.clear();
  recordEntries_.clear();
  for (TEntryId id = 0; id < entries_.size(); ++id) {
    TEntry& entry = entries_[id];
    if (!(entry.flags & kLive)) continue;
    const std::string_view name = std::string_view(oldNames).substr(entry.name, entry.nameLength);
    StoreName(entry, id, name);
  }
  names_.shrink_to_fit();
  folded_.shrink_to_fit();
  staleBytes_ = 0;
}

void TNameIndex::Changed() { ++version_; }

const std::vector<uint32_t>& TNameIndex::PathRanks() {
  if (ranksVersion_ != version_) {
    ranks_ = ComputePathRanks(*this);
    ranksVersion_ = version_;
  }
  return ranks_;
}

}  // namespace webtessl
