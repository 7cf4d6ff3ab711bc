#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/Mutex.h"
#include "tessel/FolderListing.h"
#include "tessel/FolderWatch.h"

namespace webtessl {

// Lists folders on threads of its own, so that the system calls of a scan (watching each folder,
// opening it, reading it and looking at every entry: most of a scan's time) run beside the thread
// that adds the listings to the index, and beside each other. Folders are begun in the order asked for;
// their listings come back in the order they are done. One thread, the owner, asks and takes.
// The destructor drops the folders not yet begun and waits for those under way.
class TFolderReader {
 public:
  // A folder asked for, by the number the owner gave it, and its listing (nothing when it could
  // not be read); when it was to be watched, how adding the watch went and the watch's id.
  struct TRead {
    uint64_t ticket = 0;
    std::optional<TFolderListing> listing;
    std::optional<TFolderWatch::TAddResult> watched;
    int watch = -1;
  };

  // threads: at least one.
  explicit TFolderReader(size_t threads);
  ~TFolderReader();
  TFolderReader(const TFolderReader&) = delete;
  TFolderReader& operator=(const TFolderReader&) = delete;

  // The threads worth having on this machine.
  static size_t ThreadsForMachine();

  // Asks for the folder at path to be listed as ListFolder(path, followLink, detail) lists it.
  // With a watch, the folder is watched through it first, so that no change after the listing
  // is missed; the watch must outlive the reader.
  void Ask(uint64_t ticket, std::string path, bool followLink, TFolderWatch* watch = nullptr,
           TListingDetail detail = TListingDetail::NamesAndFacts);
  // Waits until a few folders asked for are read (or every one outstanding) and returns every
  // read not taken yet; empty when nothing is outstanding. A failure of a listing thread (out of memory) is raised here.
  std::vector<TRead> Take();
  // Folders asked for whose listing has not been taken.
  size_t Outstanding() const { return outstanding_; }

 private:
  struct TAsk {
    uint64_t ticket = 0;
    std::string path;
    bool followLink = false;
    TFolderWatch* watch = nullptr;
    TListingDetail detail = TListingDetail::NamesAndFacts;
  };

  void Work();
  static TRead Read(const TAsk& ask);
  void End();

  TMutex mutex_;
  std::condition_variable asked_;  // a folder was asked for, or the reader ends
  std::condition_variable read_;   // a folder was read, or a listing failed
  std::deque<TAsk> asks_ GUARDED_BY(mutex_);
  std::vector<TRead> reads_ GUARDED_BY(mutex_);
  std::exception_ptr failure_ GUARDED_BY(mutex_);
  size_t wanted_ GUARDED_BY(mutex_) = 1;  // reads the owner waits for
  bool ending_ GUARDED_BY(mutex_) = false;
  size_t outstanding_ = 0;  // the owner's own count
  std::vector<std::thread> threads_;
};

}  // namespace webtessl
