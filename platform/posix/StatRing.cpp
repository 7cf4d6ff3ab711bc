#include "platform/posix/StatRing.h"

#include <fcntl.h>
#include <linux/io_uring.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace webtessl {
namespace {

constexpr unsigned kLookedFields = STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME;
// How often a ring short of kernel resources is asked again before it counts as failed.
constexpr int kBusyRetries = 1000;

int SetUpRing(unsigned entries, io_uring_params& parameters) {
  return static_cast<int>(::syscall(__NR_io_uring_setup, entries, &parameters));
}

int EnterRing(int ring, unsigned submit, unsigned wait) {
  return static_cast<int>(
      ::syscall(__NR_io_uring_enter, ring, submit, wait, IORING_ENTER_GETEVENTS, nullptr, 0));
}

unsigned LoadAcquire(unsigned* field) {
  return std::atomic_ref<unsigned>(*field).load(std::memory_order_acquire);
}

void StoreRelease(unsigned* field, unsigned value) {
  std::atomic_ref<unsigned>(*field).store(value, std::memory_order_release);
}

template <typename T>
T* At(const void* base, unsigned offset) {
  return reinterpret_cast<T*>(static_cast<char*>(const_cast<void*>(base)) + offset);
}

// The thread's ring; a ring that failed is kept (its looks may still write into it) but unused.
thread_local std::unique_ptr<TStatRing> threadRing;
thread_local bool threadRingTried = false;

}  // namespace

TStatRing* TStatRing::ForThisThread() {
  if (!threadRingTried) {
    threadRingTried = true;
    threadRing = Open();
  }
  return threadRing && !threadRing->failed_ ? threadRing.get() : nullptr;
}

std::unique_ptr<TStatRing> TStatRing::Open() {
  // Completions wait for the thread that asks for them instead of each waking it (kernels
  // since 6.1; older ones refuse the flags and get a plain ring).
  io_uring_params parameters{};
  parameters.flags = IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_DEFER_TASKRUN;
  std::unique_ptr<TStatRing> ring(new TStatRing());
  ring->ring_.Reset(SetUpRing(kEntries, parameters));
  if (!ring->ring_.Valid()) {
    parameters = io_uring_params{};
    ring->ring_.Reset(SetUpRing(kEntries, parameters));
  }
  if (!ring->ring_.Valid() || parameters.sq_entries < kEntries ||
      !ring->Map(ring->submissions_,
                 parameters.sq_off.array + parameters.sq_entries * sizeof(unsigned),
                 IORING_OFF_SQ_RING) ||
      !ring->Map(ring->completions_,
                 parameters.cq_off.cqes + parameters.cq_entries * sizeof(io_uring_cqe),
                 IORING_OFF_CQ_RING) ||
      !ring->Map(ring->entries_, parameters.sq_entries * sizeof(io_uring_sqe), IORING_OFF_SQES)) {
    return nullptr;
  }
  const void* sq = ring->submissions_.address;
  const void* cq = ring->completions_.address;
  ring->submitTail_ = At<unsigned>(sq, parameters.sq_off.tail);
  ring->submitMask_ = At<unsigned>(sq, parameters.sq_off.ring_mask);
  ring->submitArray_ = At<unsigned>(sq, parameters.sq_off.array);
  ring->completeHead_ = At<unsigned>(cq, parameters.cq_off.head);
  ring->completeTail_ = At<unsigned>(cq, parameters.cq_off.tail);
  ring->completeMask_ = At<unsigned>(cq, parameters.cq_off.ring_mask);
  ring->completeEntries_ = At<void>(cq, parameters.cq_off.cqes);
  return ring;
}

TStatRing::~TStatRing() {
  for (const TMapping* mapping : {&entries_, &completions_, &submissions_}) {
    if (mapping->address != nullptr) ::munmap(mapping->address, mapping->size);
  }
}

bool TStatRing::Map(TMapping& mapping, size_t size, off_t offset) const {
  void* address =
      ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, ring_.Get(), offset);
  if (address == MAP_FAILED) return false;
  mapping = TMapping{address, size};
  return true;
}

bool TStatRing::Look(std::span<const char* const> paths,
                     std::span<std::optional<struct statx>> looked) {
  for (size_t start = 0; start < paths.size(); start += kEntries) {
    const size_t count = std::min<size_t>(kEntries, paths.size() - start);
    if (!LookBatch(paths.subspan(start, count), looked.subspan(start, count))) return false;
  }
  return true;
}

bool TStatRing::LookBatch(std::span<const char* const> paths,
                          std::span<std::optional<struct statx>> looked) {
  if (failed_) return false;
  auto* entries = static_cast<io_uring_sqe*>(entries_.address);
  unsigned tail = *submitTail_;
  for (unsigned i = 0; i < paths.size(); ++i, ++tail) {
    const unsigned slot = tail & *submitMask_;
    io_uring_sqe& entry = entries[slot];
    std::memset(&entry, 0, sizeof entry);
    entry.opcode = IORING_OP_STATX;
    entry.fd = AT_FDCWD;
    entry.addr = reinterpret_cast<uintptr_t>(paths[i]);
    entry.len = kLookedFields;
    entry.off = reinterpret_cast<uintptr_t>(&records_[i]);
    entry.user_data = i;
    submitArray_[slot] = slot;
  }
  StoreRelease(submitTail_, tail);
  if (!Submit(static_cast<unsigned>(paths.size()))) return false;
  const auto* completions = static_cast<const io_uring_cqe*>(completeEntries_);
  unsigned head = *completeHead_;
  for (unsigned taken = 0; taken < paths.size(); ++taken, ++head) {
    const io_uring_cqe& completion = completions[head & *completeMask_];
    const auto index = static_cast<size_t>(completion.user_data);
    if (index >= looked.size()) {
      failed_ = true;
      return false;
    }
    const bool whole =
        completion.res == 0 && (records_[index].stx_mask & kLookedFields) == kLookedFields;
    looked[index] = whole ? std::optional(records_[index]) : std::nullopt;
  }
  StoreRelease(completeHead_, head);
  return true;
}

bool TStatRing::Submit(unsigned count) {
  unsigned toSubmit = count;
  for (int busy = 0;;) {
    const unsigned ready = LoadAcquire(completeTail_) - *completeHead_;
    if (toSubmit == 0 && ready >= count) return true;
    const int entered = EnterRing(ring_.Get(), toSubmit, count - std::min(ready, count));
    if (entered >= 0) {
      toSubmit -= static_cast<unsigned>(entered);
    } else if (errno != EINTR && ((errno != EAGAIN && errno != EBUSY) || ++busy > kBusyRetries)) {
      failed_ = true;  // looks may still be under way: the ring and its records stay as they are
      return false;
    }
  }
}

}  // namespace webtessl
