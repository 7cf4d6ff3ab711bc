#include "tessel/SubstringSearch.h"

#include <algorithm>
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

#if defined(__SSE2__)
__m128i Load(const char* bytes) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
}
#endif

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
  const __m128i first = _mm_set1_epi8(needle[0]);
  const __m128i second = _mm_set1_epi8(needle[1]);
  const __m128i last = _mm_set1_epi8(needle.back());
  // The first, second and last bytes are tested at once, so needles of up to three bytes need no
  // further comparison and longer ones meet far fewer false candidates.
  const size_t checked = std::min<size_t>(length, 3);
  size_t at = from;
  for (; at + length - 1 + kBlock <= text.size(); at += kBlock) {
    const char* const block = data + at;
    const __m128i all = _mm_and_si128(
        _mm_and_si128(_mm_cmpeq_epi8(first, Load(block)), _mm_cmpeq_epi8(second, Load(block + 1))),
        _mm_cmpeq_epi8(last, Load(block + length - 1)));
    for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(all)); mask != 0; mask &= mask - 1) {
      const size_t candidate = at + static_cast<size_t>(__builtin_ctz(mask));
      if (length == checked ||
          std::memcmp(data + candidate + 2, needle.data() + 2, length - checked) == 0)
        return candidate;
    }
  }
  return FindPlain(text, needle, at);
#else
  return FindPlain(text, needle, from);
#endif
}

}  // namespace webtessl
