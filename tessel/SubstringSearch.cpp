#include "tessel/SubstringSearch.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace webtessl {
namespace {

constexpr size_t kNotFound = std::string_view::npos;

// Byte by byte from `at`, for the rest that no whole block covers (the standard search: the
// Windows C library has no memmem).
size_t FindPlain(std::string_view text, std::string_view needle, size_t at) {
  return text.find(needle, at);
}

}  // namespace

size_t FindSubstring(std::string_view text, std::string_view needle, size_t from) {
  const size_t length = needle.size();
  if (from > text.size() || text.size() - from < length) return kNotFound;
  if (length == 0) return from;
  if (length == 1) {
    const void* found = std::memchr(text.data() + from, needle[0], text.size() - from);
    return found == nullptr ? kNotFound : static_cast<const char*>(found) - text.data();
  }
#if defined(__SSE2__)
  constexpr size_t kBlock = 16;
  const char* const data = text.data();
  const __m128i first = _mm_set1_epi8(needle.front());
  const __m128i last = _mm_set1_epi8(needle.back());
  size_t at = from;
  for (; at + length - 1 + kBlock <= text.size(); at += kBlock) {
    const auto* starts = reinterpret_cast<const __m128i*>(data + at);
    const auto* ends = reinterpret_cast<const __m128i*>(data + at + length - 1);
    const __m128i both = _mm_and_si128(_mm_cmpeq_epi8(first, _mm_loadu_si128(starts)),
                                       _mm_cmpeq_epi8(last, _mm_loadu_si128(ends)));
    for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(both)); mask != 0; mask &= mask - 1) {
      const size_t candidate = at + static_cast<size_t>(__builtin_ctz(mask));
      if (std::memcmp(data + candidate + 1, needle.data() + 1, length - 2) == 0) return candidate;
    }
  }
  return FindPlain(text, needle, at);
#else
  return FindPlain(text, needle, from);
#endif
}

}  // namespace webtessl
