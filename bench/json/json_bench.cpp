// Parses and writes a search answer of 10,000 results (about 1 MB of JSON) with the server's JSON
// module and with a widely used C++ JSON library, and prints each time beside the peer's.
// Goals: parsing no slower than the peer, writing no more than 1.5 times slower.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "json/superobject.h"

namespace {

using webtessl::ISuperObject;
using webtessl::ParseJsonText;

constexpr int kResults = 10000;

// An answer as the desktop search application sends it: each result a "FileName" and a few
// members, a total count, and some escapes in the names.
const std::string& AnswerText() {
  static const std::string text = [] {
    std::string json = "{\"count\": 123456, \"elapsed\": 0.0125, \"results\": [";
    for (int i = 0; i < kResults; ++i) {
      if (i > 0) json += ", ";
      json += "{\"FileName\": \"C:\\\\Users\\\\someone\\\\Documents\\\\Project " +
              std::to_string(i % 97) + "\\\\r\\u00e9sum\\u00e9-" + std::to_string(i) +
              ".txt\", \"Size\": " + std::to_string(1000 + i * 37) +
              ", \"Rank\": " + std::to_string(i % 100) +
              ".25, \"Hidden\": " + (i % 7 == 0 ? "true" : "false") + "}";
    }
    json += "]}";
    return json;
  }();
  return text;
}

const std::u16string& AnswerText16() {
  static const std::u16string text(AnswerText().begin(), AnswerText().end());  // ASCII only
  return text;
}

void BM_Parse_superobject(benchmark::State& state) {
  for (auto _ : state) {
    ISuperObject answer = ParseJsonText(AnswerText16());
    benchmark::DoNotOptimize(answer);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(AnswerText().size()));
}

void BM_Parse_peer(benchmark::State& state) {
  for (auto _ : state) {
    nlohmann::json answer = nlohmann::json::parse(AnswerText());
    benchmark::DoNotOptimize(answer);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(AnswerText().size()));
}

// Compact and unescaped: the same work for both libraries.
void BM_WriteCompact_superobject(benchmark::State& state) {
  const ISuperObject answer = ParseJsonText(AnswerText16());
  for (auto _ : state) benchmark::DoNotOptimize(answer->ToJsonText(false, false));
}

void BM_WriteCompact_peer(benchmark::State& state) {
  const nlohmann::json answer = nlohmann::json::parse(AnswerText());
  for (auto _ : state) benchmark::DoNotOptimize(answer.dump());
}

// The server's answer to the browser: indented and escaped to pure ASCII. The peer's nearest
// mode indents by one space and escapes everything outside ASCII.
void BM_WriteAnswer_superobject(benchmark::State& state) {
  const ISuperObject answer = ParseJsonText(AnswerText16());
  for (auto _ : state) benchmark::DoNotOptimize(answer->ToJsonText(true, true));
}

void BM_WriteAnswer_peer(benchmark::State& state) {
  const nlohmann::json answer = nlohmann::json::parse(AnswerText());
  for (auto _ : state) benchmark::DoNotOptimize(answer.dump(1, ' ', true));
}

BENCHMARK(BM_Parse_superobject)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Parse_peer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteCompact_superobject)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteCompact_peer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteAnswer_superobject)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteAnswer_peer)->Unit(benchmark::kMillisecond);

// Keeps the time of every run so that main can set each beside the peer's.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) times_[run.benchmark_name()] = run.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatios() const {
    std::printf("\nsuperobject beside nlohmann-json, CPU time per run (%d results, %zu bytes):\n",
                kResults, AnswerText().size());
    for (const auto& [task, goal] : {std::pair<const char*, double>{"Parse", 1.0},
                                     {"WriteCompact", 1.5},
                                     {"WriteAnswer", 1.5}}) {
      const auto own = times_.find(std::string("BM_") + task + "_superobject");
      const auto peer = times_.find(std::string("BM_") + task + "_peer");
      if (own == times_.end() || peer == times_.end()) continue;
      const double ratio = own->second / peer->second;
      std::printf("  %-12s superobject %8.2f ms   peer %8.2f ms   ratio %.2f (goal <= %.1f) %s\n",
                  task, own->second, peer->second, ratio, goal, ratio <= goal ? "met" : "MISSED");
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
