// Measures the system code page conversions (UTF-8 <-> UTF-16, the conversions every search
// result goes through) against glibc's iconv doing the same work in the same run, and prints the
// time ratio. Run: build/bench/CodePage_bench
#include <iconv.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/CodePage.h"

using namespace webtessl;

namespace {

constexpr int kRounds = 20;
constexpr int kPaths = 20000;

// File paths like those in search results: mostly ASCII, some accented and some CJK names.
std::vector<std::string> SamplePaths() {
  std::vector<std::string> paths;
  for (int i = 0; i < kPaths; ++i) {
    std::string path = "/home/user/Documents/projects/report-" + std::to_string(i);
    if (i % 3 == 0) path += "/r\xC3\xA9sum\xC3\xA9s/caf\xC3\xA9";
    if (i % 7 == 0) path += "/\xE4\xB8\xAD\xE6\x96\x87\xE6\x96\x87\xE4\xBB\xB6";
    paths.push_back(path + ".txt");
  }
  return paths;
}

// Runs the work kRounds times and returns the best round in microseconds.
template <typename Work>
double BestMicroseconds(Work work) {
  double best = 1e300;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  return best;
}

// One iconv conversion of the whole input; returns the output size so the work is not dropped.
size_t IconvConvert(iconv_t converter, const char* input, size_t inputSize, std::string& output) {
  output.resize(inputSize * 4 + 4);
  char* in = const_cast<char*>(input);
  char* out = output.data();
  size_t inLeft = inputSize;
  size_t outLeft = output.size();
  iconv(converter, &in, &inLeft, &out, &outLeft);
  return output.size() - outLeft;
}

void Report(const char* what, double ours, double peer) {
  std::printf("%-22s webtessl %8.0f us   iconv %8.0f us   ratio webtessl/iconv %.2f\n", what, ours,
              peer, ours / peer);
}

}  // namespace

int main() {
  const std::vector<std::string> paths = SamplePaths();
  std::vector<std::u16string> wide;
  for (const std::string& path : paths) wide.push_back(MultiByteToWide(kCodePageUtf8, path));
  size_t sink = 0;

  iconv_t toWide = iconv_open("UTF-16LE", "UTF-8");
  iconv_t fromWide = iconv_open("UTF-8", "UTF-16LE");
  std::string scratch;

  const double oursToWide = BestMicroseconds([&] {
    for (const std::string& path : paths) sink += MultiByteToWide(kCodePageUtf8, path).size();
  });
  const double peerToWide = BestMicroseconds([&] {
    for (const std::string& path : paths) {
      sink += IconvConvert(toWide, path.data(), path.size(), scratch);
    }
  });
  const double oursFromWide = BestMicroseconds([&] {
    for (const std::u16string& text : wide)
      sink += WideToMultiByte(kCodePageUtf8, text, '?').size();
  });
  const double peerFromWide = BestMicroseconds([&] {
    for (const std::u16string& text : wide) {
      sink += IconvConvert(fromWide, reinterpret_cast<const char*>(text.data()),
                           text.size() * sizeof(char16_t), scratch);
    }
  });
  iconv_close(toWide);
  iconv_close(fromWide);

  std::printf("%d paths per round, best of %d rounds\n", kPaths, kRounds);
  Report("UTF-8 to UTF-16", oursToWide, peerToWide);
  Report("UTF-16 to UTF-8", oursFromWide, peerFromWide);
  return sink == 0 ? 1 : 0;
}
