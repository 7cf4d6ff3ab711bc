#include "tessel/RecordScan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace webtessl {
namespace {

using THits = std::vector<std::tuple<size_t, size_t, size_t>>;

THits Scanned(std::string_view text, std::string_view needle) {
  THits hits;
  ScanRecords(text, needle, [&](std::span<const TRecordHit> found) {
    for (const TRecordHit& hit : found) hits.emplace_back(hit.record, hit.start, hit.end);
    return true;
  });
  return hits;
}

// The records holding the needle, one record at a time.
THits Expected(std::string_view text, std::string_view needle) {
  THits hits;
  size_t record = 0;
  for (size_t start = 0; start < text.size(); ++record) {
    const size_t end = text.find('\0', start);
    if (text.substr(start, end - start).find(needle) != std::string_view::npos)
      hits.emplace_back(record, start, end);
    start = end + 1;
  }
  return hits;
}

// Records of every length from empty to several blocks, over few letters so that needles occur
// often, in every record, near every block boundary and across the boundaries.
std::string RandomRecords(std::mt19937& random, size_t records) {
  std::string text;
  for (size_t i = 0; i < records; ++i) {
    const size_t length = random() % 8 == 0 ? random() % 200 : random() % 12;
    for (size_t j = 0; j < length; ++j) text += static_cast<char>('a' + random() % 3);
    text += '\0';
  }
  return text;
}

TEST(RecordScanTest, FindsEveryRecordHoldingTheNeedleOnceWithItsBounds) {
  std::mt19937 random(11);
  const std::string text = RandomRecords(random, 3000);
  for (size_t length = 1; length <= 70; ++length) {
    for (int trial = 0; trial < 6; ++trial) {
      std::string needle;
      for (size_t j = 0; j < length; ++j) needle += static_cast<char>('a' + random() % 3);
      // The scan begins at any record's start: record numbers count from there.
      const size_t from = trial % 2 == 0 ? 0 : text.find('\0', random() % text.size()) + 1;
      const std::string_view part = std::string_view(text).substr(from);
      ASSERT_EQ(Scanned(part, needle), Expected(part, needle)) << needle << " from " << from;
    }
  }
}

TEST(RecordScanTest, TheFirstAndLastRecordsAndShortTextsAreScanned) {
  EXPECT_EQ(Scanned(std::string_view("ab\0", 3), "ab"), (THits{{0, 0, 2}}));
  EXPECT_EQ(Scanned(std::string_view("\0\0b\0", 4), "b"), (THits{{2, 2, 3}}));
  // A needle that ends the text's last record, after whole blocks.
  std::string text(200, 'x');
  text += '\0';
  text += "needle";
  text += '\0';
  EXPECT_EQ(Scanned(text, "needle"), (THits{{1, 201, 207}}));
  EXPECT_EQ(Scanned(text, "xneedle"), THits{});  // never across a record's end
  EXPECT_EQ(Scanned(text, "x"), (THits{{0, 0, 200}}));
  EXPECT_EQ(Scanned(text, std::string(201, 'x')), THits{});  // longer than any record
  EXPECT_EQ(Scanned(text, ""), THits{});
  EXPECT_EQ(Scanned(text, std::string_view("x\0n", 3)), THits{});  // no record holds a NUL
  EXPECT_EQ(Scanned("", "x"), THits{});
}

TEST(RecordScanTest, HitsComeInBatchesUntilTheSinkStops) {
  std::string text;
  for (int i = 0; i < 1000; ++i) text += "hit" + std::to_string(i) + '\0';
  size_t batches = 0;
  size_t seen = 0;
  EXPECT_TRUE(ScanRecords(text, "hit", [&](std::span<const TRecordHit> hits) {
    ++batches;
    for (const TRecordHit& hit : hits) EXPECT_EQ(hit.record, seen++);
    return true;
  }));
  EXPECT_EQ(seen, 1000u);
  EXPECT_GT(batches, 1u);
  // Stopped after the first batch: no further one is handed over.
  batches = 0;
  EXPECT_FALSE(ScanRecords(text, "hit", [&](std::span<const TRecordHit>) {
    ++batches;
    return false;
  }));
  EXPECT_EQ(batches, 1u);
}

}  // namespace
}  // namespace webtessl
