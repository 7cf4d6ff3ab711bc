// What the server does with one search answer once it has arrived, stage by stage, as "/find"
// does it: the answer of 25 results naming real files (as bench/find_bench.sh's scripted peer
// sends it) parsed, completed from the file system and written as the indented JSON response
// (and, beside it, as the HTML fragment). Prints, per answer and stage, the memory allocations
// (counted by this program's own operator new) and the processor time.
// Usage: build/bench/json_answer_bench [answers]   (default 20000)
#include <stdlib.h>
#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include "json/superobject.h"
#include "search/ResultCompletion.h"
#include "search/ResultRendering.h"
#include "text/uEncoding.h"

namespace {

std::atomic<long> allocations{0};

}  // namespace

// Every allocation of the program goes through these, so the counts include the library's.
void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}

namespace {

using namespace webtessl;

constexpr int kResults = 25;

double ThreadCpuMicroseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

// The 25 files of the scripted peer's answer in a fresh folder, and the answer naming them.
std::string MakeAnswer(const std::filesystem::path& folder) {
  std::string answer = "{\"results\": [";
  for (int i = 0; i < kResults; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "report %02d.txt", i);
    const std::filesystem::path path = folder / name;
    std::ofstream(path, std::ios::binary) << std::string(static_cast<size_t>(i) * 997, 'x');
    if (i > 0) answer += ", ";
    answer += "{\"FileName\": \"" + path.string() + "\"}";
  }
  return answer + "], \"count\": 25000}";
}

struct TStage {
  const char* name;
  long allocations = 0;
  double micros = 0;
};

// Runs one stage, adding its allocations and processor time to the stage's totals.
template <typename Work>
auto Measure(TStage& stage, Work work) {
  const long before = allocations.load(std::memory_order_relaxed);
  const double start = ThreadCpuMicroseconds();
  auto result = work();
  stage.micros += ThreadCpuMicroseconds() - start;
  stage.allocations += allocations.load(std::memory_order_relaxed) - before;
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const int answers = argc > 1 ? std::atoi(argv[1]) : 20000;
  std::string folderName = (std::filesystem::temp_directory_path() / "answer-bench-XXXXXX").string();
  if (mkdtemp(folderName.data()) == nullptr) return 1;
  const std::filesystem::path folder(folderName);
  const std::string answerBytes = MakeAnswer(folder);

  TStage parse{"parse (bytes to UTF-16 to values)"};
  TStage complete{"complete 25 results"};
  TStage json{"write indented escaped JSON"};
  TStage html{"write the HTML fragment"};
  size_t jsonBytes = 0;
  for (int i = 0; i < answers; ++i) {
    const ISuperObject answer =
        Measure(parse, [&] { return ParseJsonText(FromSystemCodePage(answerBytes)); });
    const auto results = answer->MemberArray(u"results");
    Measure(complete, [&] {
      CompleteResults(*results);
      return 0;
    });
    jsonBytes = Measure(json, [&] { return RenderJson(*answer); }).size();
    Measure(html, [&] { return RenderHtml(*answer, 0, true); });
  }
  std::filesystem::remove_all(folder);

  std::printf("%d answers of %d results (%zu bytes of answer, %zu of JSON response each)\n",
              answers, kResults, answerBytes.size(), jsonBytes);
  std::printf("%-36s %14s %14s\n", "stage", "allocations", "CPU us");
  for (const TStage* stage : {&parse, &complete, &json, &html}) {
    std::printf("%-36s %14.1f %14.2f\n", stage->name,
                static_cast<double>(stage->allocations) / answers, stage->micros / answers);
  }
  return 0;
}
