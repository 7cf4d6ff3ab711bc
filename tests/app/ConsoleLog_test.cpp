#include "app/ConsoleLog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace webtessl {
namespace {

// Many threads logging at once: every line comes out whole, none lost.
TEST(ConsoleLogConcurrencyTest, LinesFromManyThreadsNeverInterleave) {
  constexpr int kThreads = 8;
  constexpr int kLinesPerThread = 500;
  testing::internal::CaptureStdout();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      const std::string body(100 + t, static_cast<char>('a' + t));
      for (int i = 0; i < kLinesPerThread; ++i) {
        if (i % 2 == 0) {
          ConsoleLog(body);
        } else {
          ConsoleLogFmt("%s", body.c_str());
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  const std::string output = testing::internal::GetCapturedStdout();

  std::vector<int> counts(kThreads, 0);
  size_t start = 0;
  while (start < output.size()) {
    const size_t end = output.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    const std::string line = output.substr(start, end - start);
    ASSERT_FALSE(line.empty());
    const int t = line[0] - 'a';
    ASSERT_GE(t, 0);
    ASSERT_LT(t, kThreads);
    EXPECT_EQ(line, std::string(100 + t, line[0]));
    ++counts[t];
    start = end + 1;
  }
  for (int count : counts) EXPECT_EQ(count, kLinesPerThread);
}

TEST(ConsoleLogTest, FormatsLikePrintf) {
  testing::internal::CaptureStdout();
  ConsoleLogFmt("%s %d %x %g", "port", 20800, 255, 1.5);
  ConsoleLog("");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "port 20800 ff 1.5\n\n");
}

}  // namespace
}  // namespace webtessl
