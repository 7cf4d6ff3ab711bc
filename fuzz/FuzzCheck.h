#pragma once

#include <cstdio>
#include <cstdlib>

namespace webtessl {

// Stops the fuzzer with a finding when a property of the code under test does not hold.
inline void FuzzCheck(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "Property violated: %s\n", property);
  std::abort();
}

}  // namespace webtessl
