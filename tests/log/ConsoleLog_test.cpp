#include "log/ConsoleLog.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/Exception.h"

namespace webtessl {
namespace {

using namespace std::chrono_literals;

// Standard output goes to the descriptor while an instance lives.
class TStdoutRedirect {
 public:
  explicit TStdoutRedirect(int target) : saved_(dup(STDOUT_FILENO)) {
    std::fflush(stdout);
    dup2(target, STDOUT_FILENO);
  }
  ~TStdoutRedirect() {
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }
  TStdoutRedirect(const TStdoutRedirect&) = delete;
  TStdoutRedirect& operator=(const TStdoutRedirect&) = delete;

 private:
  const int saved_;
};

// Reads from the descriptor until the text has arrived or the time is up; what arrived.
std::string ReadUntil(int descriptor, const std::string& wanted, std::chrono::milliseconds limit) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (got.find(wanted) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd entry{descriptor, POLLIN, 0};
    if (poll(&entry, 1, 50) <= 0) continue;
    std::array<char, 256> buffer;
    const ssize_t count = read(descriptor, buffer.data(), buffer.size());
    if (count <= 0) break;
    got.append(buffer.data(), static_cast<std::size_t>(count));
  }
  return got;
}

// Many threads logging at once, lines written one by one and in batches (more than a batch may
// hold): every line comes out whole, none is lost, and each thread's lines keep their order.
TEST(ConsoleLogConcurrencyTest, LinesFromManyThreadsNeverInterleave) {
  constexpr int kThreads = 8;
  constexpr int kLinesPerThread = 2000;
  for (const bool batched : {false, true}) {
    testing::internal::CaptureStdout();
    {
      std::optional<TBatchedConsoleLog> batching;
      if (batched) batching.emplace();
      std::vector<std::thread> threads;
      for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
          const std::string body(100 + t, static_cast<char>('a' + t));
          for (int i = 0; i < kLinesPerThread; ++i) {
            if (i % 2 == 0) {
              ConsoleLog(body + std::to_string(i));
            } else {
              ConsoleLogFmt("%s%d", body.c_str(), i);
            }
          }
        });
      }
      for (auto& thread : threads) thread.join();
    }
    const std::string output = testing::internal::GetCapturedStdout();
    if (batched) {
      EXPECT_GT(output.size(), TBatchedConsoleLog::kMaxWaitingBytes);
    }

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
      EXPECT_EQ(line, std::string(100 + t, line[0]) + std::to_string(counts[t]));
      ++counts[t];
      start = end + 1;
    }
    for (int count : counts) EXPECT_EQ(count, kLinesPerThread) << "batched: " << batched;
  }
}

TEST(ConsoleLogTest, FormatsLikePrintf) {
  testing::internal::CaptureStdout();
  ConsoleLogFmt("%s %d %x %g", "port", 20800, 255, 1.5);
  ConsoleLog("");
  const std::string longText(5000, 'z');
  ConsoleLogFmt("<%s>", longText.c_str());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "port 20800 ff 1.5\n\n<" + longText + ">\n");
}

// Into a pipe, lines go out in batches, yet each shortly after it was logged, not only when the
// batching ends.
TEST(ConsoleLogTest, BatchedLinesArriveWhileTheBatchingLasts) {
  std::array<int, 2> pipeEnds{};
  ASSERT_EQ(pipe(pipeEnds.data()), 0);
  {
    const TStdoutRedirect redirect(pipeEnds[1]);
    const TBatchedConsoleLog batching;
    EXPECT_TRUE(batching.Batching());
    ConsoleLog("one");
    ConsoleLogFmt("%s %d", "two", 2);
    EXPECT_EQ(ReadUntil(pipeEnds[0], "two 2\n", 5s), "one\ntwo 2\n");
    ConsoleLog("three");
  }
  ConsoleLog("four");  // after the batching: directly, behind what it left
  std::fflush(stdout);
  EXPECT_EQ(ReadUntil(pipeEnds[0], "four\n", 5s), "three\n");
  close(pipeEnds[0]);
  close(pipeEnds[1]);
}

// A batch that cannot be written is reported to the next caller, as a direct write would be.
TEST(ConsoleLogTest, FailedBatchIsReportedByALaterCall) {
  const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
  if (full < 0) GTEST_SKIP() << "no /dev/full here";
  {
    const TStdoutRedirect redirect(full);
    const TBatchedConsoleLog batching;
    EXPECT_NO_THROW(ConsoleLog("lost"));
    bool reported = false;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!reported && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(TBatchedConsoleLog::kBatchInterval);
      try {
        ConsoleLog("next");
      } catch (const EInOutError&) {
        reported = true;
      }
    }
    EXPECT_TRUE(reported);
  }
  close(full);
}

// An operator's terminal sees every line the moment it is logged.
TEST(ConsoleLogTest, TerminalGetsEveryLineAtOnce) {
  const int controller = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (controller < 0 || grantpt(controller) != 0 || unlockpt(controller) != 0) {
    GTEST_SKIP() << "no pseudo-terminal here";
  }
  const int terminal = open(ptsname(controller), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(terminal, 0);
  {
    const TStdoutRedirect redirect(terminal);
    const TBatchedConsoleLog batching;
    EXPECT_FALSE(batching.Batching());
    ConsoleLog("now");
    pollfd entry{controller, POLLIN, 0};
    ASSERT_EQ(poll(&entry, 1, 0), 1);  // already there, without any wait
    EXPECT_NE(ReadUntil(controller, "now", 1s).find("now"), std::string::npos);
  }
  close(terminal);
  close(controller);
}

}  // namespace
}  // namespace webtessl
