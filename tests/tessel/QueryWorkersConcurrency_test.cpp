// The query threads: a job that blocks leaves the others running. Also run under
// ThreadSanitizer.

#include "tessel/QueryWorkers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace webtessl {
namespace {

// Long enough never to pass on a working pool, however loaded the machine.
constexpr auto kGenerous = std::chrono::seconds(20);

TEST(QueryWorkersConcurrencyTest, AJobThatWaitsDoesNotHoldUpTheOthers) {
  std::promise<void> released;
  std::shared_future<void> release = released.get_future().share();
  std::promise<void> firstWaiting;
  std::promise<void> secondRan;
  TQueryWorkers workers(2, 8);  // ends, waiting for its jobs, before what they use
  ASSERT_TRUE(workers.Post([&] {
    firstWaiting.set_value();
    release.wait();  // an expensive query, until the second job has run
  }));
  firstWaiting.get_future().wait();
  ASSERT_TRUE(workers.Post([&] { secondRan.set_value(); }));
  EXPECT_EQ(secondRan.get_future().wait_for(kGenerous), std::future_status::ready);
  released.set_value();
}

TEST(QueryWorkersConcurrencyTest, EveryJobRunsOnceAndTheQueueIsBounded) {
  std::atomic<int> ran{0};
  std::promise<void> released;
  std::shared_future<void> release = released.get_future().share();
  {
    TQueryWorkers workers(1, 3);
    std::promise<void> blocking;
    ASSERT_TRUE(workers.Post([&] {
      blocking.set_value();
      release.wait();
      ++ran;
    }));
    blocking.get_future().wait();
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(workers.Post([&] { ++ran; }));
    EXPECT_FALSE(workers.Post([&] { ++ran; }));  // a fourth would wait beyond the bound
    released.set_value();
    // Leaving the scope drops what still waits and waits for the running job.
  }
  EXPECT_GE(ran.load(), 1);
  EXPECT_LE(ran.load(), 4);
  TQueryWorkers many(3, 1000);
  std::atomic<int> counted{0};
  for (int i = 0; i < 500; ++i) ASSERT_TRUE(many.Post([&] { ++counted; }));
  const auto end = std::chrono::steady_clock::now() + kGenerous;
  while (counted < 500 && std::chrono::steady_clock::now() < end) std::this_thread::yield();
  EXPECT_EQ(counted, 500);
}

}  // namespace
}  // namespace webtessl
