// tessel_test_peer: a scripted stand-in for the desktop search application, for tests. It opens
// the application's IPC window and answers every query with a given text, at the moment and in
// the way its options say. Usage: tests/search/TestPeer.md.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "common/Mutex.h"
#include "platform/DesktopMessages.h"
#include "search/ProcessCommunicator.h"

namespace webtessl {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kDefaultTitle[] = "AI_Tessel_RPC_Server";
constexpr uint32_t kPumpSliceMs = 20;
constexpr char kQueryPlaceholder[] = "@QUERY@";

enum class TWhen { Now, Late, Never, Early };

struct TOptions {
  std::string title = kDefaultTitle;
  std::string answer = "{\"results\":[],\"count\":0}";
  bool echo = false;  // answer with the query's own bytes instead
  bool embedQuery = false;  // put the query's bytes in the answer in place of kQueryPlaceholder
  uint32_t copies = 1;      // how many times each answer is sent
  TWhen when = TWhen::Now;
  uint32_t delayMs = 0;
  intptr_t result = 1;
  uint32_t ackDelayMs = 0;
  uintptr_t marker = kCommunicatorMarker;
  std::string recordFile;
  long queries = -1;  // answer this many queries, then leave; -1: no limit
  uint32_t lifetimeMs = 60000;
  uint32_t threads = 0;  // answering threads; 0: the window's own thread answers
  bool idleInline = false;  // with threads: a lone answer goes out from the window's thread
  bool quiet = false;       // print only the ready line
};

struct TPendingAnswer {
  TWindowHandle to;
  Clock::time_point due;
  std::string text;
};

volatile std::sig_atomic_t stopRequested = 0;

[[noreturn]] void Usage(const std::string& problem) {
  std::cerr << "tessel_test_peer: " << problem << " (see tests/search/TestPeer.md)\n";
  std::exit(2);
}

std::string ReplaceAll(std::string text, const std::string& placeholder, const std::string& value) {
  for (size_t at = text.find(placeholder); at != std::string::npos;
       at = text.find(placeholder, at + value.size())) {
    text.replace(at, placeholder.size(), value);
  }
  return text;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) Usage("cannot read " + path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TWhen ParseWhen(const std::string& word) {
  if (word == "now") return TWhen::Now;
  if (word == "late") return TWhen::Late;
  if (word == "never") return TWhen::Never;
  if (word == "early") return TWhen::Early;
  Usage("unknown --when " + word);
}

TOptions ParseOptions(int argc, char** argv) {
  TOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (i + 1 >= argc) Usage("missing value after " + name);
    const std::string value = argv[++i];
    if (name == "--title") options.title = value;
    else if (name == "--answer") options.answer = value;
    else if (name == "--answer-file") options.answer = ReadFile(value);
    else if (name == "--echo") options.echo = value == "1";
    else if (name == "--embed-query") options.embedQuery = value == "1";
    else if (name == "--copies") options.copies = std::stoul(value);
    else if (name == "--when") options.when = ParseWhen(value);
    else if (name == "--delay-ms") options.delayMs = std::stoul(value);
    else if (name == "--result") options.result = std::stol(value);
    else if (name == "--ack-delay-ms") options.ackDelayMs = std::stoul(value);
    else if (name == "--marker") options.marker = std::stoul(value);
    else if (name == "--record") options.recordFile = value;
    else if (name == "--queries") options.queries = std::stol(value);
    else if (name == "--lifetime-ms") options.lifetimeMs = std::stoul(value);
    else if (name == "--threads") options.threads = std::stoul(value);
    else if (name == "--idle-inline") options.idleInline = value == "1";
    else if (name == "--quiet") options.quiet = value == "1";
    else Usage("unknown option " + name);
  }
  return options;
}

TMutex sayLock;

void Say(const std::string& line) {
  TMutexLock lock(sayLock);
  std::cout << line << std::endl;
}

// Threads that run jobs in the order they were posted, as the application's query threads send
// its answers; the jobs posted are all run before the threads end.
class TAnsweringThreads {
 public:
  explicit TAnsweringThreads(uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) threads_.emplace_back([this] { Work(); });
  }
  ~TAnsweringThreads() {
    {
      TMutexLock lock(lock_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }
  TAnsweringThreads(const TAnsweringThreads&) = delete;
  TAnsweringThreads& operator=(const TAnsweringThreads&) = delete;

  void Post(std::function<void()> job) {
    {
      TMutexLock lock(lock_);
      jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
  }

 private:
  void Work() {
    for (;;) {
      std::function<void()> job;
      {
        TMutexLock lock(lock_);
        while (jobs_.empty() && !stopping_) lock.Wait(wake_);
        if (jobs_.empty()) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job();
    }
  }

  TMutex lock_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_ GUARDED_BY(lock_);
  bool stopping_ GUARDED_BY(lock_) = false;
  std::vector<std::thread> threads_;
};

// The peer's window and what it owes: queries are recorded and acknowledged in the window
// procedure, answers go out from there (early), from the pump loop, or from answering threads.
class TPeer {
 public:
  explicit TPeer(TOptions options) : options_(std::move(options)) {
    window_ = CreateWindow(kUtilWindowClass, options_.title,
                           [this](uint32_t message, uintptr_t wParam, intptr_t lParam) {
                             return WndProc(message, wParam, lParam);
                           });
    if (options_.threads > 0) answering_.emplace(options_.threads);
  }
  ~TPeer() {
    answering_.reset();  // the answers under way go out first
    if (window_ != 0) DestroyWindow(window_);
  }
  TPeer(const TPeer&) = delete;
  TPeer& operator=(const TPeer&) = delete;

  int Run() {
    if (window_ == 0) {
      Say("no window");
      return 1;
    }
    Say("ready " + std::to_string(window_));
    const auto end = Clock::now() + std::chrono::milliseconds(options_.lifetimeMs);
    while (!stopRequested && Clock::now() < end && !Finished()) {
      WaitMessageTimeout(window_, kPumpSliceMs);
      TMessage msg;
      while (PeekMessage(msg, window_, PM_REMOVE)) DispatchMessage(msg);
      SendDueAnswers();
    }
    return 0;
  }

 private:
  bool Finished() const {
    return options_.queries >= 0 && answered_ >= options_.queries && pending_.empty();
  }

  intptr_t WndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message != WM_COPYDATA) return 0;
    const auto& data = *reinterpret_cast<const TCopyDataStruct*>(lParam);
    const std::string query(static_cast<const char*>(data.lpData), data.cbData);
    Record(query);
    if (!options_.quiet) {
      Say("query " + std::to_string(query.size()) + " from " + std::to_string(wParam) +
          " titled " + GetWindowText(static_cast<TWindowHandle>(wParam)));
    }
    TPendingAnswer answer{static_cast<TWindowHandle>(wParam), Clock::now(), AnswerTo(query)};
    switch (options_.when) {
      case TWhen::Early: Answer(answer); break;
      case TWhen::Now: pending_.push_back(std::move(answer)); break;
      case TWhen::Late:
        answer.due += std::chrono::milliseconds(options_.delayMs);
        pending_.push_back(std::move(answer));
        break;
      case TWhen::Never: ++answered_; break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(options_.ackDelayMs));
    return options_.result;
  }

  std::string AnswerTo(const std::string& query) const {
    if (options_.echo) return query;
    if (options_.embedQuery) return ReplaceAll(options_.answer, kQueryPlaceholder, query);
    return options_.answer;
  }

  void Record(const std::string& query) const {
    if (options_.recordFile.empty()) return;
    std::ofstream(options_.recordFile, std::ios::binary | std::ios::app) << query << '\n';
  }

  void Answer(const TPendingAnswer& answer) {
    const TCopyDataStruct data{options_.marker, static_cast<uint32_t>(answer.text.size()),
                               answer.text.data()};
    for (uint32_t copy = 0; copy < options_.copies; ++copy) {
      intptr_t result = 0;
      const bool sent =
          SendMessageTimeout(answer.to, WM_COPYDATA, window_, data, kSendLimitMs, result);
      if (!options_.quiet) {
        Say(sent ? "answered " + std::to_string(result) : std::string("answer failed"));
      }
    }
    ++answered_;
  }

  // With answering threads, an answer that is the only one due goes out from the window's own
  // thread when --idle-inline says so: no other query waited behind it, and handing it over would
  // cost a thread's wake-up on the way of every answer of a lone asker.
  void SendDueAnswers() {
    const auto now = Clock::now();
    const bool inlineLone = options_.idleInline &&
                            std::count_if(pending_.begin(), pending_.end(), [&](const auto& each) {
                              return each.due <= now;
                            }) == 1;
    std::vector<TPendingAnswer> later;
    for (const auto& pending : pending_) {
      if (pending.due > now) later.push_back(pending);
      else if (answering_ && !inlineLone) answering_->Post([this, pending] { Answer(pending); });
      else Answer(pending);
    }
    pending_ = std::move(later);
  }

  const TOptions options_;
  TWindowHandle window_ = 0;
  std::vector<TPendingAnswer> pending_;
  std::atomic<long> answered_ = 0;
  std::optional<TAnsweringThreads> answering_;
};

}  // namespace
}  // namespace webtessl

int main(int argc, char** argv) {
  std::signal(SIGTERM, [](int) { webtessl::stopRequested = 1; });
  webtessl::TPeer peer(webtessl::ParseOptions(argc, argv));
  return peer.Run();
}
