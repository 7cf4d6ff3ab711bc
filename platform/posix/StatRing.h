#pragma once

#include <linux/stat.h>
#include <sys/stat.h>

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>

#include "platform/posix/UniqueFd.h"

namespace webtessl {

// A thread's queue of file looks handed to the kernel together (an io_uring): a batch of looks
// by path costs one system call instead of one each, which is most of what a look costs on a
// virtual machine. Each look follows links as stat does. Not thread-safe: every thread has its
// own (ForThisThread).
class TStatRing final {
 public:
  // The calling thread's ring, made at its first use and closed with the thread; null when the
  // system gives none (an older kernel, a sandbox that refuses rings) or this one has failed.
  static TStatRing* ForThisThread();

  ~TStatRing();
  TStatRing(const TStatRing&) = delete;
  TStatRing& operator=(const TStatRing&) = delete;

  // Looks at every path; looked[i] gets the record of paths[i] (kind, rights, size and last
  // write), or nothing when that look failed (no such file, no access, a field the file system
  // did not give). False when the ring itself failed, and nothing is known.
  bool Look(std::span<const char* const> paths, std::span<std::optional<struct statx>> looked);

 private:
  static constexpr unsigned kEntries = 32;
  struct TMapping {
    void* address = nullptr;
    size_t size = 0;
  };

  TStatRing() = default;
  static std::unique_ptr<TStatRing> Open();
  bool Map(TMapping& mapping, size_t size, off_t offset) const;
  // Looks at up to kEntries paths in one call.
  bool LookBatch(std::span<const char* const> paths, std::span<std::optional<struct statx>> looked);
  // Waits until `count` completions have come; false when the ring failed.
  bool Submit(unsigned count);

  TUniqueFd ring_;
  TMapping submissions_;
  TMapping completions_;
  TMapping entries_;
  // The ring's fields, inside the mappings.
  unsigned* submitTail_ = nullptr;
  unsigned* submitMask_ = nullptr;
  unsigned* submitArray_ = nullptr;
  unsigned* completeHead_ = nullptr;
  unsigned* completeTail_ = nullptr;
  unsigned* completeMask_ = nullptr;
  void* completeEntries_ = nullptr;
  // Where the kernel writes each look's record; owned here, so that a look still under way when
  // the ring fails never writes into memory given back.
  std::array<struct statx, kEntries> records_{};
  bool failed_ = false;
};

}  // namespace webtessl
