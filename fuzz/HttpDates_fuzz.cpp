// Date headers as a client sends them ("If-Modified-Since", "If-Range", cookie expiry dates).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/DateTimeValue.h"
#include "fuzz/FuzzCheck.h"
#include "http/HttpDates.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace webtessl;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  double value = -1;
  if (!ParseHttpDate(input, value)) {
    FuzzCheck(value == 0, "a failed parse gives 0");
    return 0;
  }
  FuzzCheck(std::isfinite(value) && value > 0, "a parsed date is a positive value");
  const std::string text = FormatHttpDate(value, false);
  const auto parts = DecodeDateTime(value);
  // Written years outside 1900..2200 are not read back as years; hyphenated input may reach them.
  if (text.empty() || !parts || parts->year < 1900 || parts->year > 2200) return 0;
  double again = 0;
  FuzzCheck(ParseHttpDate(text, again), "a formatted date parses");
  FuzzCheck(std::fabs(again - value) < 1.001 / 86400, "format and parse agree to the second");
  return 0;
}
