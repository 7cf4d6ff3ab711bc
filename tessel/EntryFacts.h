#pragma once

#include <cstdint>

namespace webtessl {

// What the index keeps of an entry besides its name and kind.
struct TEntryFacts {
  uint64_t size = 0;     // bytes; 0 for folders
  int64_t modified = 0;  // last modification, seconds since 1970-01-01 00:00 UTC

  bool operator==(const TEntryFacts&) const = default;
};

}  // namespace webtessl
