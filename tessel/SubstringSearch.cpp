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

size_t CountByte(std::string_view text, char byte) {
  size_t count = 0;
  size_t at = 0;
#if defined(__SSE2__)
  constexpr size_t kBlock = 16;
  // Each lane of `lanes` counts the matches of its byte position (a match compares as -1, and is
  // subtracted); the lanes are summed before any of them can overflow.
  constexpr size_t kBlocksPerSum = 255;
  const __m128i wanted = _mm_set1_epi8(byte);
  while (at + kBlock <= text.size()) {
    __m128i lanes = _mm_setzero_si128();
    for (size_t blocks = 0; blocks < kBlocksPerSum && at + kBlock <= text.size();
         ++blocks, at += kBlock)
      lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(wanted, Load(text.data() + at)));
    const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    count += static_cast<size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<size_t>(_mm_extract_epi16(sums, 4));
  }
#endif
  for (; at < text.size(); ++at) count += text[at] == byte ? 1 : 0;
  return count;
}

}  // namespace webtessl
