#include "net/WorkerPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "common/ThreadEnd.h"

namespace webtessl {
namespace {

using namespace std::chrono_literals;

// The owner of a pool may release, as soon as the pool is gone, what the work its workers left
// for their end still uses (a table of windows, say); so the pool's destruction waits for that
// work too, on pooled and on unpooled workers.
TEST(WorkerPoolConcurrencyTest, DestructionWaitsForTheWorkTheWorkersLeftForTheirEnd) {
  for (const int16_t spare : {int16_t{0}, int16_t{2}}) {
    std::atomic<int> released{0};
    std::atomic<int> ran{0};
    std::optional<TWorkerPool> pool(std::in_place);
    pool->SetSpareThreads(spare);
    for (int i = 0; i < 2; ++i) {
      // Each job waits for the other, so that they run on two threads.
      pool->RunInWorker([&](TSynThread&) {
        EXPECT_TRUE(AtThreadEnd([&released] {
          std::this_thread::sleep_for(50ms);
          released.fetch_add(1);
        }));
        ran.fetch_add(1);
        while (ran.load() < 2) std::this_thread::sleep_for(1ms);
      });
    }
    while (ran.load() < 2) std::this_thread::sleep_for(1ms);
    if (spare > 0) {
      EXPECT_EQ(released.load(), 0) << "a parked worker keeps it between jobs";
    }
    pool.reset();
    EXPECT_EQ(released.load(), 2) << "spare threads " << spare;
  }
}

}  // namespace
}  // namespace webtessl
