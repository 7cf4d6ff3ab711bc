#include "files/SizeText.h"

#include <array>
#include <cstdio>

#include "platform/Locale.h"

namespace webtessl {
namespace {

struct TSizeUnit {
  double bound;  // the largest size shown in this unit
  double divisor;
  const char* suffix;
  const char* format;
};

constexpr double kKiB = 1024.0;
constexpr double kMiB = kKiB * 1024.0;
constexpr double kGiB = kMiB * 1024.0;
constexpr double kTiB = kGiB * 1024.0;

// Bytes keep a blank in their suffix so that " b" lines up under "kb", "Mb" and the others.
constexpr std::array<TSizeUnit, 4> kUnits = {{{kKiB, 1.0, " b", "%.0f %s"},
                                              {kMiB, kKiB, "kb", "%.1f %s"},
                                              {kGiB, kMiB, "Mb", "%.1f %s"},
                                              {kTiB, kGiB, "Gb", "%.1f %s"}}};
constexpr TSizeUnit kLargest = {0.0, kTiB, "Tb", "%.1f %s"};

}  // namespace

std::string SizeToText(int64_t size) {
  const double value = static_cast<double>(size);
  TSizeUnit unit = kLargest;
  for (const TSizeUnit& candidate : kUnits) {
    if (value <= candidate.bound) {
      unit = candidate;
      break;
    }
  }
  std::array<char, 64> text{};
  std::snprintf(text.data(), text.size(), unit.format, value / unit.divisor, unit.suffix);
  std::string result(text.data());
  // snprintf writes the C locale's point; the page shows the user's separator.
  const size_t point = result.find('.');
  if (point != std::string::npos) result[point] = DecimalSeparator();
  return result;
}

}  // namespace webtessl
