#include "tessel/FolderReader.h"

#include <algorithm>

namespace webtessl {
namespace {

// Beyond this many listing threads the one thread adding to the index is the limit.
constexpr size_t kMostThreads = 4;
// The owner is woken when this many reads wait for it (or every outstanding one): it then takes
// them all at once rather than sleeping and waking again for each folder.
constexpr size_t kReadsPerWake = 8;

}  // namespace

TFolderReader::TFolderReader(size_t threads) {
  try {
    for (size_t i = 0; i < std::max<size_t>(threads, 1); ++i)
      threads_.emplace_back([this] { Work(); });
  } catch (...) {
    End();  // the threads made so far
    throw;
  }
}

TFolderReader::~TFolderReader() {
  End();
}

size_t TFolderReader::ThreadsForMachine() {
  return std::clamp<size_t>(std::thread::hardware_concurrency(), 1, kMostThreads);
}

void TFolderReader::End() {
  {
    const TMutexLock lock(mutex_);
    ending_ = true;
    asks_.clear();
  }
  asked_.notify_all();
  for (std::thread& thread : threads_) thread.join();
  threads_.clear();
}

void TFolderReader::Ask(uint64_t ticket, std::string path, bool followLink, TFolderWatch* watch,
                        TListingDetail detail) {
  {
    const TMutexLock lock(mutex_);
    asks_.push_back(TAsk{ticket, std::move(path), followLink, watch, detail});
  }
  ++outstanding_;
  asked_.notify_one();
}

std::vector<TFolderReader::TRead> TFolderReader::Take() {
  std::vector<TRead> reads;
  if (outstanding_ == 0) return reads;
  TMutexLock lock(mutex_);
  wanted_ = std::min(kReadsPerWake, outstanding_);
  while (reads_.size() < wanted_ && !failure_) lock.Wait(read_);
  if (failure_) std::rethrow_exception(failure_);
  reads.swap(reads_);
  outstanding_ -= reads.size();
  return reads;
}

TFolderReader::TRead TFolderReader::Read(const TAsk& ask) {
  TRead read;
  read.ticket = ask.ticket;
  if (ask.watch) read.watched = ask.watch->Add(ask.path, read.watch);
  read.listing = ListFolder(ask.path, ask.followLink, ask.detail);
  return read;
}

void TFolderReader::Work() {
  for (;;) {
    TAsk ask;
    {
      TMutexLock lock(mutex_);
      while (!ending_ && asks_.empty()) lock.Wait(asked_);
      if (ending_) return;
      ask = std::move(asks_.front());
      asks_.pop_front();
    }
    bool wake = true;
    try {
      TRead read = Read(ask);
      const TMutexLock lock(mutex_);
      reads_.push_back(std::move(read));
      wake = reads_.size() >= wanted_;
    } catch (...) {
      const TMutexLock lock(mutex_);
      failure_ = std::current_exception();
    }
    if (wake) read_.notify_one();
  }
}

}  // namespace webtessl
