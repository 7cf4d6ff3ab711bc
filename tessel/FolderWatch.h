#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace webtessl {

// What happened in a watched folder.
struct TFolderEvent {
  enum class TKind {
    Created,    // an entry appeared (created, or moved in from an unwatched place)
    Removed,    // an entry went (deleted, or moved out to an unwatched place)
    MovedFrom,  // first half of a move; the MovedTo with the same cookie may follow
    MovedTo,    // second half of a move
    Changed,    // an entry was written, truncated or had its attributes (times) changed
    WatchGone,  // the folder's watch ended (the folder was deleted or unmounted)
    Overflow    // events were lost: everything must be compared again
  };
  TKind kind = TKind::Overflow;
  int watch = -1;
  std::string_view name;
  bool isDirectory = false;
  uint32_t cookie = 0;
};

// Watches folders for entries that appear, go, move or change, through inotify. Add may run on
// several threads at once and beside the other members; those run on one thread.
class TFolderWatch {
 public:
  enum class TAddResult { Added, LimitReached, Failed };

  TFolderWatch();
  ~TFolderWatch();
  TFolderWatch(const TFolderWatch&) = delete;
  TFolderWatch& operator=(const TFolderWatch&) = delete;

  // Whether watching works at all on this system.
  bool Usable() const;
  // The descriptor to poll for readable events (-1 when there is none).
  int Fd() const;
  // Watches the folder at path (not through a symbolic link); the watch id goes to `watch`.
  TAddResult Add(const std::string& path, int& watch);
  void Remove(int watch);
  // Reads the events waiting now, without blocking, and hands each to onEvent.
  void ReadEvents(const std::function<void(const TFolderEvent&)>& onEvent);

 private:
  struct TImpl;
  const std::unique_ptr<TImpl> impl_;
};

}  // namespace webtessl
