// Header lines as a client sends them: added one by one (with folding), then looked up, walked
// and changed by the names they carry.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/AsciiText.h"
#include "fuzz/FuzzCheck.h"
#include "http/HeaderList.h"

namespace webtessl {
namespace {

void CheckEntries(const THeaderList& list) {
  for (const std::string& line : list.Lines()) {
    FuzzCheck(!line.empty(), "no entry is empty");
    FuzzCheck(!IsWhiteSpace(line.front()), "entries never begin with white space");
    const bool emptyValue = line.size() >= 2 && line.compare(line.size() - 2, 2, ": ") == 0;
    FuzzCheck(!IsWhiteSpace(line.back()) || emptyValue,
              "only an empty value ends an entry in a blank");
  }
}

void WalkHeader(THeaderList& list, std::string_view name) {
  const int index = list.IndexOfHeader(name);
  FuzzCheck(index < list.Count(), "index inside the list");
  FuzzCheck(index >= 0 || list.GetValue(name).empty(), "an absent header has no value");
  int items = 0;
  list.EnumValues(name, [&items](const std::string& item) {
    FuzzCheck(!item.empty(), "walked items are not empty");
    return ++items > 1000;
  });
  if (index >= 0) static_cast<void>(list.ValueAt(index));
  static_cast<void>(list.HasValue(name, "close"));
  static_cast<void>(list.GetParam(name, "boundary"));
  list.SetParam(name, "boundary", "b\"x");
}

}  // namespace
}  // namespace webtessl

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace webtessl;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  THeaderList list;
  size_t start = 0;
  while (start <= input.size()) {
    size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    std::string_view line = input.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const int index = list.Add(line);
    FuzzCheck(index >= -1 && index < list.Count(), "Add returns an entry index or -1");
    start = end + 1;
  }
  CheckEntries(list);
  for (int i = 0; i < list.Count() && i < 16; ++i) {
    const std::string line = list[i];
    const std::string name = line.substr(0, line.find(':'));
    WalkHeader(list, name);
  }
  CheckEntries(list);
  if (list.Count() > 0) {
    const std::string line = list[0];
    const std::string name(Trim(line.substr(0, line.find(':'))));
    list.SetValue(name, "v");
    list.RemoveHeader(name);
    FuzzCheck(name.empty() || list.IndexOfHeader(name) < 0, "a removed header is gone");
  }
  return 0;
}
