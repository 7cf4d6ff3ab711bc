#include "files/SmallFileCache.h"

namespace webtessl {

std::optional<TCachedFile> TSmallFileCache::Find(const TOpenFolder& folder,
                                                 const std::string& relative) {
  {
    TMutexLock lock(lock_);
    const auto found = entries_.find(relative);
    if (found == entries_.end() || !found->second.file.bytes) return std::nullopt;
  }
  const std::optional<TFileStamp> stamp = StampBeneath(folder, relative);
  TMutexLock lock(lock_);
  const auto found = entries_.find(relative);
  if (found == entries_.end() || !found->second.file.bytes) return std::nullopt;
  if (stamp && found->second.stamp == *stamp) return found->second.file;
  entries_.erase(found);
  return std::nullopt;
}

void TSmallFileCache::Offer(const std::string& relative, const TFileStream& file) {
  const int64_t size = file.Facts().size;
  if (size > kMaxFileBytes) {
    Put(relative, TEntry{});
    return;
  }
  // The last write, known already, rules out most fresh files without another look.
  TFileStamp written;
  written.modified = file.Facts().modified;
  if (!Settled(written, settledSeconds_)) return;
  const std::optional<TFileStamp> stamp = StampOf(file);
  if (!stamp || stamp->size != size || !Settled(*stamp, settledSeconds_)) return;
  auto bytes = std::make_shared<std::string>(static_cast<size_t>(size), '\0');
  if (size > 0 && ReadFileAt(file.Handle(), bytes->data(), size, 0) != size) return;
  Put(relative, TEntry{*stamp, TCachedFile{std::move(bytes), stamp->modified}});
}

void TSmallFileCache::Put(const std::string& relative, TEntry entry) {
  TMutexLock lock(lock_);
  if (entries_.size() >= kMaxFiles && !entries_.contains(relative)) entries_.clear();
  entries_.insert_or_assign(relative, std::move(entry));
}

}  // namespace webtessl
