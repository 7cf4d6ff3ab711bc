#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string_view>

namespace webtessl {

// A record holding the needle: its number among the records scanned (from 0), and where it starts
// and where its closing NUL byte lies in the scanned text.
struct TRecordHit {
  size_t record = 0;
  size_t start = 0;
  size_t end = 0;
};

// Called with the hits found so far, in order, a batch at a time; false stops the scan.
using TRecordHitSink = std::function<bool(std::span<const TRecordHit>)>;

// Finds the records of `text` that contain `needle`, once each however often it occurs in them.
// `text` is a run of whole records, each closed by a NUL byte (so it begins at a record's start and
// ends with a NUL). One pass reads the text a block of 64 bytes at a time, testing every place for
// the needle's first, second and last bytes and finding the NUL bytes of the same block, so that
// the record numbers come from a running count rather than a count per hit. A needle that is empty
// or holds a NUL byte is in no record. False when onHits stopped the scan. Thread-safe (a pure
// function of its arguments).
bool ScanRecords(std::string_view text, std::string_view needle, const TRecordHitSink& onHits);

}  // namespace webtessl
