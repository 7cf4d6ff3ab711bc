// Round trip of a search exchange between two processes through TCommunicator: a 200-byte query
// answered with a 100 KB answer (or as many bytes as the first argument says), beside the same
// bytes over a bare Unix-domain socket pair (the floor), measured in the same run. Prints median
// and p99 of each and their ratio.

#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/DesktopMessages.h"
#include "search/ProcessCommunicator.h"

namespace webtessl {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kQueryBytes = 200;
constexpr size_t kDefaultAnswerBytes = 100 * 1024;
size_t answerBytes = kDefaultAnswerBytes;
constexpr int kWarmUp = 20;
constexpr int kRounds = 500;
constexpr char kResponderName[] = "BenchResponder";

struct TStats {
  double medianUs;
  double p99Us;
};

TStats Summarize(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return {samples[samples.size() / 2], samples[samples.size() * 99 / 100]};
}

// A child process running `body` until it is killed.
class TChild {
 public:
  explicit TChild(const std::function<void()>& body) {
    pid_ = ::fork();
    if (pid_ == 0) {
      body();
      ::_exit(0);
    }
  }
  ~TChild() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;

 private:
  pid_t pid_ = -1;
};

void Pump(TCommunicator& endpoint, const bool& done) {
  while (!done) {
    TMessage msg;
    while (!done && PeekMessage(msg, endpoint.Handle(), PM_REMOVE)) DispatchMessage(msg);
    if (!done) WaitMessageTimeout(endpoint.Handle(), 1000);
  }
}

void Responder() {
  const std::string answer(answerBytes, 'a');
  TCommunicator endpoint;
  endpoint.SetName(kResponderName);
  endpoint.OnData = [&](TCommunicator& self, const std::string& from, const TBytes&) {
    self.SendData(from, answer.data(), answer.size());
  };
  const bool never = false;
  Pump(endpoint, never);
}

std::vector<double> MeasureCommunicator() {
  TChild child(Responder);
  TCommunicator endpoint;
  endpoint.SetName("BenchAsker");
  size_t received = 0;
  endpoint.OnData = [&](TCommunicator&, const std::string&, const TBytes& buf) {
    received = buf.size();
  };
  while (!endpoint.PeerExists(kResponderName)) WaitMessageTimeout(endpoint.Handle(), 1);
  const std::string query(kQueryBytes, 'q');
  std::vector<double> samples;
  for (int round = 0; round < kWarmUp + kRounds; ++round) {
    received = 0;
    bool done = false;
    endpoint.OnData = [&](TCommunicator&, const std::string&, const TBytes& buf) {
      received = buf.size();
      done = true;
    };
    const auto start = Clock::now();
    if (!endpoint.SendText(kResponderName, query)) {
      std::fprintf(stderr, "query not delivered\n");
      std::exit(1);
    }
    Pump(endpoint, done);
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    if (received != answerBytes) std::exit(1);
    if (round >= kWarmUp) samples.push_back(us);
  }
  return samples;
}

bool Transfer(int fd, char* bytes, size_t size, bool sending) {
  while (size > 0) {
    const ssize_t done = sending ? ::write(fd, bytes, size) : ::read(fd, bytes, size);
    if (done <= 0) return false;
    bytes += done;
    size -= static_cast<size_t>(done);
  }
  return true;
}

std::vector<double> MeasureSocketPair() {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) std::exit(1);
  TChild child([&] {
    std::vector<char> query(kQueryBytes), answer(answerBytes, 'a');
    while (Transfer(fds[1], query.data(), query.size(), false) &&
           Transfer(fds[1], answer.data(), answer.size(), true)) {
    }
  });
  std::vector<char> query(kQueryBytes, 'q'), answer(answerBytes);
  std::vector<double> samples;
  for (int round = 0; round < kWarmUp + kRounds; ++round) {
    const auto start = Clock::now();
    if (!Transfer(fds[0], query.data(), query.size(), true) ||
        !Transfer(fds[0], answer.data(), answer.size(), false)) {
      std::exit(1);
    }
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    if (round >= kWarmUp) samples.push_back(us);
  }
  ::close(fds[0]);
  ::close(fds[1]);
  return samples;
}

}  // namespace
}  // namespace webtessl

int main(int argc, char** argv) {
  using namespace webtessl;
  if (argc > 1) answerBytes = std::strtoul(argv[1], nullptr, 10);
  std::string pattern = (std::filesystem::temp_directory_path() / "wt-bench-XXXXXX").string();
  const std::string desktop = ::mkdtemp(pattern.data());
  ::setenv("WEBTESSL_DESKTOP", desktop.c_str(), 1);

  const TStats floor = Summarize(MeasureSocketPair());
  const TStats communicator = Summarize(MeasureCommunicator());
  std::filesystem::remove_all(desktop);

  std::printf("round trip: %zu-byte query, %zu-byte answer, %d rounds each\n", kQueryBytes,
              answerBytes, kRounds);
  std::printf("%-34s median %8.1f us   p99 %8.1f us\n", "TCommunicator (two processes)",
              communicator.medianUs, communicator.p99Us);
  std::printf("%-34s median %8.1f us   p99 %8.1f us\n", "bare Unix-domain socket pair (floor)",
              floor.medianUs, floor.p99Us);
  std::printf("ratio to the floor: median %.2fx, p99 %.2fx (goal: median within 3x)\n",
              communicator.medianUs / floor.medianUs, communicator.p99Us / floor.p99Us);
  return 0;
}
