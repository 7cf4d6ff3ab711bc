// Query value decoding and integer text on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/IntegerText.h"
#include "common/QueryValue.h"

using namespace webtessl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  if (DecodeQueryValue(raw).size() > raw.size()) std::abort();
  const std::optional<int32_t> value = TryStrToInt(raw);
  if (value && StrToIntDef(raw, *value == 0 ? 1 : 0) != *value) std::abort();
  return 0;
}
