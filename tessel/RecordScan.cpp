#include "tessel/RecordScan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace webtessl {
namespace {

constexpr size_t kBlock = 64;
// Hits handed over at once: the sink's call is paid once per batch, not once per hit.
constexpr size_t kBatch = 256;

// The set bits of a word (no population-count instruction is assumed of the processor).
unsigned PopCount(uint64_t bits) {
  bits = bits - ((bits >> 1) & 0x5555555555555555ULL);
  bits = (bits & 0x3333333333333333ULL) + ((bits >> 2) & 0x3333333333333333ULL);
  bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
  return static_cast<unsigned>((bits * 0x0101010101010101ULL) >> 56);
}

// The bits of one block: places where the needle's tested bytes fit, and NUL bytes.
struct TBlockMasks {
  uint64_t places = 0;
  uint64_t ends = 0;
};

// The needle's bytes tested at every place: its first, its second and its last (the same byte
// more than once for needles of one or two bytes).
struct TProbe {
  explicit TProbe(std::string_view needle)
      : first(needle.front()),
        second(needle[std::min<size_t>(1, needle.size() - 1)]),
        last(needle.back()),
        secondAt(std::min<size_t>(1, needle.size() - 1)),
        lastAt(needle.size() - 1) {}

  char first;
  char second;
  char last;
  size_t secondAt;
  size_t lastAt;
};

// The masks of `width` places from `block`, byte by byte; only places whose tested bytes lie
// within the `room` bytes from `block` can fit.
TBlockMasks PlainMasks(const char* block, size_t width, size_t room, const TProbe& probe) {
  TBlockMasks masks;
  for (size_t i = 0; i < width; ++i) {
    const char* const at = block + i;
    if (*at == '\0') masks.ends |= uint64_t{1} << i;
    if (i + probe.lastAt < room && at[0] == probe.first && at[probe.secondAt] == probe.second &&
        at[probe.lastAt] == probe.last)
      masks.places |= uint64_t{1} << i;
  }
  return masks;
}

#if defined(__SSE2__)
__m128i Load(const char* bytes) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
}

uint64_t Lanes(__m128i equal) {
  return static_cast<uint16_t>(_mm_movemask_epi8(equal));
}

// The needle's tested bytes, each repeated over a vector.
struct TVectorProbe {
  explicit TVectorProbe(const TProbe& probe)
      : first(_mm_set1_epi8(probe.first)),
        second(_mm_set1_epi8(probe.second)),
        last(_mm_set1_epi8(probe.last)),
        secondAt(probe.secondAt),
        lastAt(probe.lastAt) {}

  __m128i first;
  __m128i second;
  __m128i last;
  size_t secondAt;
  size_t lastAt;
};

// The masks of a whole block, 16 bytes at a time; bytes up to probe.lastAt past it are read.
TBlockMasks VectorMasks(const char* block, const TVectorProbe& probe) {
  const __m128i nul = _mm_setzero_si128();
  TBlockMasks masks;
  for (size_t lane = 0; lane < kBlock; lane += 16) {
    const char* const at = block + lane;
    const __m128i bytes = Load(at);
    const __m128i fits =
        _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(probe.first, bytes),
                                    _mm_cmpeq_epi8(probe.second, Load(at + probe.secondAt))),
                      _mm_cmpeq_epi8(probe.last, Load(at + probe.lastAt)));
    masks.places |= Lanes(fits) << lane;
    masks.ends |= Lanes(_mm_cmpeq_epi8(nul, bytes)) << lane;
  }
  return masks;
}
#endif

// One scan: the last record hit, and the batch of hits not yet handed over.
class TScan {
 public:
  TScan(std::string_view text, std::string_view needle, const TRecordHitSink& onHits)
      : text_(text), needle_(needle), probe_(needle), onHits_(onHits) {}

  bool Run() {
    const char* const data = text_.data();
    const size_t size = text_.size();
    // The records closed before the current block, and where the record it begins in starts:
    // kept here rather than in members so that they stay in registers.
    TCount count;
    size_t at = 0;
#if defined(__SSE2__)
    const TVectorProbe vectorProbe(probe_);
    for (; at + kBlock + probe_.lastAt <= size; at += kBlock) {
      const TBlockMasks masks = VectorMasks(data + at, vectorProbe);
      if (masks.places != 0 && !TakePlaces(at, masks, kBlock, count)) return false;
      count.Pass(at, masks.ends);
    }
#endif
    for (; at < size; at += kBlock) {
      const size_t width = std::min(kBlock, size - at);
      const TBlockMasks masks = PlainMasks(data + at, width, size - at, probe_);
      if (masks.places != 0 && !TakePlaces(at, masks, width, count)) return false;
      count.Pass(at, masks.ends);
    }
    return Flush();
  }

 private:
  struct TCount {
    size_t records = 0;
    size_t recordStart = 0;

    // Counts the records the block at `at` closes.
    void Pass(size_t at, uint64_t ends) {
      if (ends == 0) return;
      records += PopCount(ends);
      recordStart = at + kBlock - static_cast<size_t>(std::countl_zero(ends));
    }
  };

  // Turns the places of the block at `at` into hits: the needle is compared whole where that is
  // still needed, and a record already hit is not hit again.
  bool TakePlaces(size_t at, const TBlockMasks& masks, size_t width, TCount count) {
    const size_t length = needle_.size();
    for (uint64_t places = masks.places; places != 0; places &= places - 1) {
      const auto bit = static_cast<unsigned>(std::countr_zero(places));
      const uint64_t endsBefore = masks.ends & ((uint64_t{1} << bit) - 1);
      const size_t record = count.records + PopCount(endsBefore);
      if (record == lastHit_) continue;
      const size_t place = at + bit;
      // The first, second and last bytes are known to fit.
      if (length > 3 && std::memcmp(text_.data() + place + 2, needle_.data() + 2, length - 3) != 0)
        continue;
      const size_t start =
          endsBefore != 0 ? at + kBlock - static_cast<size_t>(std::countl_zero(endsBefore))
                          : count.recordStart;
      // A fitting needle holds no NUL, so the first NUL from its place closes its record.
      const uint64_t endsAfter = masks.ends >> bit;
      const size_t end = endsAfter != 0 ? place + static_cast<size_t>(std::countr_zero(endsAfter))
                                        : NulFrom(at + width);
      batch_[batched_++] = {record, start, end};
      lastHit_ = record;
      if (batched_ == kBatch && !Flush()) return false;
    }
    return true;
  }

  // The first NUL byte at or after `from` (the text's end when it lacks its closing NUL).
  size_t NulFrom(size_t from) const {
    if (from >= text_.size()) return text_.size();
    const void* const nul = std::memchr(text_.data() + from, '\0', text_.size() - from);
    return nul == nullptr ? text_.size() : static_cast<size_t>(static_cast<const char*>(nul) - text_.data());
  }

  bool Flush() {
    const size_t count = batched_;
    batched_ = 0;
    return count == 0 || onHits_(std::span<const TRecordHit>(batch_.data(), count));
  }

  const std::string_view text_;
  const std::string_view needle_;
  const TProbe probe_;
  const TRecordHitSink& onHits_;
  size_t lastHit_ = SIZE_MAX;
  std::array<TRecordHit, kBatch> batch_;
  size_t batched_ = 0;
};

}  // namespace

bool ScanRecords(std::string_view text, std::string_view needle, const TRecordHitSink& onHits) {
  if (needle.empty() || needle.find('\0') != std::string_view::npos) return true;
  return TScan(text, needle, onHits).Run();
}

}  // namespace webtessl
