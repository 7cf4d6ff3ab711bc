#pragma once

namespace webtessl {

// Starts fetching the memory at `address` into the cache, where the compiler can ask for that:
// several places read one after another then wait for memory once rather than each in turn.
inline void Prefetch(const void* address) {
#if defined(__GNUC__)
  __builtin_prefetch(address);
#else
  (void)address;
#endif
}

}  // namespace webtessl
