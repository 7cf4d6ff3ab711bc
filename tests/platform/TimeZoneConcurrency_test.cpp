#include "platform/TimeZone.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "tests/support/EnvironmentScope.h"

namespace webtessl {
namespace {

// Searches read the zone at the same moment and share one read of it: each of them must still
// get the zone's bias, whichever thread read it, and so must a plain read beside them.
TEST(TimeZoneConcurrencyTest, ThreadsReadingAtOnceAllGetTheZonesBias) {
  const testing_support::EnvironmentScope zone("TZ", "ABC-5:30");
  constexpr int kThreads = 8;
  constexpr int kReads = 2000;
  std::atomic<int> wrong{0};
  std::vector<std::thread> readers;
  for (int i = 0; i < kThreads; ++i) {
    readers.emplace_back([&] {
      for (int read = 0; read < kReads; ++read) {
        if (RecentUtcBiasMinutes() != -330 || (read % 100 == 0 && UtcBiasMinutes() != -330)) {
          ++wrong;
        }
      }
    });
  }
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace webtessl
