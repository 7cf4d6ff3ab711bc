// tessel against plocate over one generated tree, measured in the same run: index build time
// (tessel's first full scan against updatedb: until a query by name is answered without
// "indexing"; updatedb's database holds names alone), the time until the sizes and dates are
// read too (until a query sorted by size is answered without "indexing"), tessel's resident
// memory and plocate's database size, and the median and p99 latency of a fixed set of queries, tessel asked through the
// message layer as the server asks it, plocate started as a process per query. Every query's
// count from tessel is checked against plocate's. Driven by bench/tessel_bench.sh.
//
// Usage: tessel_query_bench TESSEL TREE WORK [ENTRIES]
//   TESSEL   the tessel program;  TREE  the tree to index;  WORK  an empty private folder for the
//   run (tessel's configuration and desktop, plocate's database, tessel's log)
//   ENTRIES  entries in the tree, for the per-entry figures (default 1000000)
// Environment: ROUNDS (most rounds per query and program, default 200), BUDGET_S (seconds each
// query may take per program, default 10), PLOCATE and UPDATEDB (the programs, default from PATH).

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/tessel/BenchQueries.h"
#include "bench/tessel/ChildProcess.h"
#include "bench/tessel/TesselClient.h"
#include "bench/tessel/TreePlan.h"

namespace webtessl::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWarmUpRounds = 2;
constexpr int kMinRounds = 5;
constexpr uint32_t kQueryTimeoutMs = 65000;
constexpr auto kIndexPoll = std::chrono::milliseconds(10);
constexpr auto kIndexLimit = std::chrono::minutes(10);
constexpr double kMebibyte = 1024.0 * 1024.0;
// The goals the numbers are held against.
constexpr double kMedianGoalMs = 20;
constexpr double kBytesPerEntryGoal = 100;
constexpr double kIndexRatioGoal = 0.6;  // the first index (names) against updatedb

struct TSettings {
  std::string tessel, tree, work, plocate, updatedb;
  double entries = 1e6;
  int rounds = 200;
  double budgetSeconds = 10;
};

struct TStats {
  double median = 0;
  double p99 = 0;
  size_t rounds = 0;
};

TStats Summarize(std::vector<double> samples) {
  if (samples.empty()) return {};
  std::sort(samples.begin(), samples.end());
  const size_t p99 = std::min(samples.size() - 1, (samples.size() * 99 + 99) / 100 - 1);
  return {samples[samples.size() / 2], samples[p99], samples.size()};
}

// A run that cannot go on; thrown so that the tessel started for it is stopped on the way out.
class TBenchFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] void Quit(const std::string& why) { throw TBenchFailure(why); }

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

// Runs `measure` (giving milliseconds) until `rounds` samples or the time budget is spent, never
// fewer than kMinRounds, after kWarmUpRounds unmeasured ones.
template <typename Measure>
TStats Repeat(const TSettings& settings, Measure measure) {
  for (int i = 0; i < kWarmUpRounds; ++i) measure();
  std::vector<double> samples;
  const auto end = Clock::now() + std::chrono::duration<double>(settings.budgetSeconds);
  while (samples.size() < static_cast<size_t>(kMinRounds) ||
         (samples.size() < static_cast<size_t>(settings.rounds) && Clock::now() < end)) {
    samples.push_back(measure());
  }
  return Summarize(std::move(samples));
}

// --- plocate --------------------------------------------------------------------------------

std::vector<std::string> UpdatedbCommand(const TSettings& settings, const std::string& database) {
  // Every pruning rule of the system configuration off: the tree may lie below a pruned /tmp.
  return {settings.updatedb, "-U", settings.tree, "-o", database, "-l", "0", "--prunepaths", "",
          "--prunefs", "", "--prunenames", "", "--prune-bind-mounts", "no"};
}

// Seconds of a full database build; the first, unmeasured build warms the file-system caches
// that tessel's scan will find warm too.
double BuildPlocateDatabase(const TSettings& settings, const std::string& database) {
  const auto build = [&] {
    std::filesystem::remove(database);
    const TRunResult run = RunProgram(UpdatedbCommand(settings, database));
    if (run.exitCode != 0) Quit("updatedb failed: " + run.errors);
    return run.seconds;
  };
  build();
  return build();
}

struct TPlocateResult {
  TStats process;                    // wall time of the whole process, ms
  std::optional<TStats> inProcess;  // its own "Done in" time, when it prints one
  long long count = -1;
};

TPlocateResult MeasurePlocate(const TSettings& settings, const std::string& database,
                              const TBenchQuery& query) {
  static const std::regex kDoneLine("Done in ([0-9.]+) ms");
  const auto command = PlocateCountCommand(settings.plocate, database, query);
  TPlocateResult result;
  std::vector<double> own;
  result.process = Repeat(settings, [&] {
    const TRunResult run = RunProgram(command);
    if (run.exitCode != 0 && run.exitCode != 1) Quit("plocate failed: " + run.errors);
    result.count = std::atoll(run.output.c_str());
    if (std::smatch done; std::regex_search(run.errors, done, kDoneLine)) own.push_back(std::stod(done[1]));
    return run.seconds * 1000;
  });
  // The warm-up rounds printed their timing too; keep only the measured ones.
  own.erase(own.begin(), own.begin() + std::min<size_t>(own.size(), kWarmUpRounds));
  if (own.size() == result.process.rounds) result.inProcess = Summarize(std::move(own));
  return result;
}

// --- tessel ---------------------------------------------------------------------------------

// A private configuration and desktop for tessel; the returned variables go to its environment.
std::vector<std::string> PrepareTesselEnvironment(const TSettings& settings) {
  const std::string config = settings.work + "/config";
  const std::string desktop = settings.work + "/desktop";
  std::filesystem::create_directories(config + "/Tessel");
  std::filesystem::create_directories(desktop);
  ::chmod(desktop.c_str(), 0700);
  std::ofstream(config + "/Tessel/tessel.ini") << "[index]\nroots=" << settings.tree << "\n";
  ::setenv("WEBTESSL_DESKTOP", desktop.c_str(), 1);
  return {"XDG_CONFIG_HOME=" + config, "WEBTESSL_DESKTOP=" + desktop};
}

// tessel's own lines on its first scan (the names, then the sizes and dates).
std::vector<std::string> FirstScanLines(const std::string& logPath) {
  std::ifstream log(logPath);
  std::vector<std::string> lines;
  for (std::string line; std::getline(log, line);) {
    if (line.find("indexed") != std::string::npos || line.find("sizes and dates") != std::string::npos)
      lines.push_back(line);
  }
  return lines;
}

// Waits for tessel's window, then asks the probe until an answer no longer says "indexing".
double AwaitAnswerWithoutIndexing(TBackgroundProcess& tessel, TTesselClient& client,
                                  Clock::time_point started, const TTesselQuery& probe) {
  while (Clock::now() - started < kIndexLimit) {
    if (!tessel.Running()) Quit("tessel ended during its first scan");
    if (client.ServerExists()) {
      const TTesselAnswer answer = client.Ask(probe, kQueryTimeoutMs);
      if (answer.arrived && !answer.indexing) {
        return std::chrono::duration<double>(Clock::now() - started).count();
      }
    }
    std::this_thread::sleep_for(kIndexPoll);
  }
  Quit("tessel did not finish its first scan in time");
}

TStats MeasureTessel(const TSettings& settings, TTesselClient& client, const TBenchQuery& query,
                     long long& count) {
  return Repeat(settings, [&] {
    const TTesselAnswer answer = client.Ask(query.tessel, kQueryTimeoutMs);
    if (!answer.arrived) Quit("tessel gave no answer to " + query.label);
    count = answer.count;
    return answer.milliseconds;
  });
}

// --- report ---------------------------------------------------------------------------------

// The one-minute load average: measurements taken on a shared machine say how busy it was.
std::string LoadAverage() {
  std::ifstream file("/proc/loadavg");
  std::string oneMinute;
  file >> oneMinute;
  return oneMinute.empty() ? "unknown" : oneMinute;
}

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

// Seconds from tessel's start to the first answer by name, and by size, without "indexing".
struct TIndexTimes {
  double names = 0;
  double facts = 0;
};

void PrintIndex(const TSettings& settings, const TIndexTimes& tessel, double updatedbSeconds,
                const std::vector<std::string>& ownReport, const std::string& database) {
  std::printf("index build (warm cache)   tessel %7.2f s   updatedb %7.2f s   ratio %.2fx   goal "
              "<= %.1fx: %s\n",
              tessel.names, updatedbSeconds, tessel.names / updatedbSeconds, kIndexRatioGoal,
              Verdict(tessel.names <= kIndexRatioGoal * updatedbSeconds));
  std::printf("  with sizes and dates     tessel %7.2f s                        ratio %.2fx\n",
              tessel.facts, tessel.facts / updatedbSeconds);
  for (const std::string& line : ownReport) std::printf("  tessel's own report: %s\n", line.c_str());
  const double databaseBytes = static_cast<double>(std::filesystem::file_size(database));
  std::printf("plocate database           %7.1f MiB = %.1f bytes per entry\n", databaseBytes / kMebibyte,
              databaseBytes / settings.entries);
}

void PrintMemory(const TSettings& settings, const TResidentMemory& memory, const char* when) {
  const double perEntry = static_cast<double>(memory.currentBytes) / settings.entries;
  std::printf("tessel resident, %-10s VmRSS %7.1f MiB = %.1f bytes per entry (peak VmHWM %.1f MiB)"
              "   goal < %.0f bytes per entry: %s\n",
              when, static_cast<double>(memory.currentBytes) / kMebibyte, perEntry,
              static_cast<double>(memory.peakBytes) / kMebibyte, kBytesPerEntryGoal,
              Verdict(perEntry < kBytesPerEntryGoal));
}

void PrintQueryHeader() {
  std::printf("\n%-30s %35s %36s %14s\n", "", "tessel (message layer)", "plocate (process per query)",
              "median ratio");
  std::printf("%-30s %9s %9s %8s %6s  %9s %9s %9s %6s %14s  goal (< %.0f ms, <= plocate)\n", "query",
              "median ms", "p99 ms", "count", "rounds", "median ms", "p99 ms", "own ms", "rounds",
              "tessel/plocate", kMedianGoalMs);
}

bool PrintQuery(const TBenchQuery& query, const TStats& tessel, long long tesselCount,
                const TPlocateResult& plocate) {
  const double ratio = tessel.median / plocate.process.median;
  const bool met = tessel.median < kMedianGoalMs && tessel.median <= plocate.process.median;
  char own[32] = "-";
  if (plocate.inProcess) std::snprintf(own, sizeof own, "%.1f", plocate.inProcess->median);
  std::printf("%-30s %9.2f %9.2f %8lld %6zu  %9.2f %9.2f %9s %6zu %13.3fx  %s\n",
              query.label.c_str(), tessel.median, tessel.p99, tesselCount, tessel.rounds,
              plocate.process.median, plocate.process.p99, own, plocate.process.rounds, ratio,
              Verdict(met));
  if (tesselCount == plocate.count) return true;
  std::printf("  COUNT MISMATCH: tessel %lld, plocate %lld\n", tesselCount, plocate.count);
  return false;
}

int Run(const TSettings& settings) {
  const std::string database = settings.work + "/plocate.db";
  const std::string log = settings.work + "/tessel.log";
  const std::string load = LoadAverage();
  const double updatedbSeconds = BuildPlocateDatabase(settings, database);

  const auto environment = PrepareTesselEnvironment(settings);
  TTesselClient client;
  const auto started = Clock::now();
  TBackgroundProcess tessel({settings.tessel}, environment, log);
  if (tessel.Pid() < 0) Quit("cannot start " + settings.tessel);
  TTesselQuery byName;
  byName.term = kRareWord;
  const double indexSeconds = AwaitAnswerWithoutIndexing(tessel, client, started, byName);
  TTesselQuery bySize = byName;
  bySize.sort = "size";
  const double factsSeconds = AwaitAnswerWithoutIndexing(tessel, client, started, bySize);
  const TResidentMemory indexed = ReadResidentMemory(tessel.Pid());

  std::printf("tree %s: %.0f entries; tessel %s; %s\n", settings.tree.c_str(), settings.entries,
              settings.tessel.c_str(), settings.plocate.c_str());
  std::printf("machine: %u cores, load average %s before the run\n\n", std::thread::hardware_concurrency(),
              load.c_str());
  PrintIndex(settings, {indexSeconds, factsSeconds}, updatedbSeconds, FirstScanLines(log),
             database);
  PrintMemory(settings, indexed, "indexed:");  // with the sizes and dates
  PrintQueryHeader();
  bool countsAgree = true;
  for (const TBenchQuery& query : BenchQueries()) {
    long long tesselCount = -1;
    const TStats tesselStats = MeasureTessel(settings, client, query, tesselCount);
    const TPlocateResult plocate = MeasurePlocate(settings, database, query);
    countsAgree = PrintQuery(query, tesselStats, tesselCount, plocate) && countsAgree;
  }
  std::printf("\n");
  PrintMemory(settings, ReadResidentMemory(tessel.Pid()), "queried:");
  std::printf("tessel: pages of 25, files and folders, time from sending the query to the answer's "
              "arrival;\nplocate: -c -b (count, names only), time from spawn to exit; own ms: its "
              "--debug \"Done in\" time.\n");
  return countsAgree ? 0 : 1;
}

TSettings ReadSettings(int argc, char** argv) {
  if (argc < 4 || argc > 5) Quit("usage: tessel_query_bench TESSEL TREE WORK [ENTRIES]");
  TSettings settings;
  settings.tessel = argv[1];
  settings.tree = argv[2];
  settings.work = argv[3];
  if (argc == 5) settings.entries = std::atof(argv[4]);
  settings.plocate = EnvOr("PLOCATE", "/usr/bin/plocate");
  settings.updatedb = EnvOr("UPDATEDB", "/usr/bin/updatedb");
  settings.rounds = std::max(kMinRounds, std::atoi(EnvOr("ROUNDS", "200").c_str()));
  settings.budgetSeconds = std::atof(EnvOr("BUDGET_S", "10").c_str());
  return settings;
}

}  // namespace
}  // namespace webtessl::bench

int main(int argc, char** argv) {
  try {
    return webtessl::bench::Run(webtessl::bench::ReadSettings(argc, argv));
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "tessel_query_bench: %s\n", failure.what());
    return 1;
  }
}
