#include "tessel/EntryOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tessel/NameIndex.h"

namespace webtessl {
namespace {

// The head of an order, sorted whole.
std::vector<TEntryId> SortedHead(const TNameIndex& index, const TEntryOrder& order, size_t length) {
  std::vector<TEntryId> all;
  index.ForEachLive([&](TEntryId id) {
    if (!index.IsRoot(id)) all.push_back(id);
  });
  std::sort(all.begin(), all.end(), order);
  all.resize(std::min(length, all.size()));
  return all;
}

// An index large enough that heads are chosen among the entries reaching a sampled bound: sizes
// and dates from small sets, so that many entries tie on the key and the path decides.
class EntryOrderTest : public testing::Test {
 protected:
  void SetUp() override {
    const TEntryId root = index_.AddRoot("/r");
    std::mt19937 random(23);
    std::vector<TEntryId> folders{root};
    for (int i = 0; i < 300000; ++i) {
      const TEntryId folder = folders[random() % folders.size()];
      const bool isDirectory = random() % 20 == 0;
      const TEntryId id = index_.Add(folder, "n" + std::to_string(random() % 100000), isDirectory,
                                     TEntryFacts{random() % 5000, static_cast<int64_t>(random() % 20000)});
      if (id != kNoEntry && isDirectory) folders.push_back(id);
    }
    ranks_ = index_.PathRanks();
  }

  void ExpectHeadsOfEveryKey(size_t length) {
    for (const TSortKey key : {TSortKey::Size, TSortKey::Date, TSortKey::Name, TSortKey::Path}) {
      for (const bool ascending : {true, false}) {
        const TEntryOrder order(index_, key, ascending, *ranks_);
        EXPECT_EQ(ComputeOrderHead(index_, order, length), SortedHead(index_, order, length))
            << static_cast<int>(key) << " " << ascending << " " << length;
      }
    }
  }

  TNameIndex index_;
  std::shared_ptr<const std::vector<uint32_t>> ranks_;
};

TEST_F(EntryOrderTest, HeadsAreTheFirstEntriesOfTheWholeOrder) {
  ExpectHeadsOfEveryKey(TNameIndex::kOrderHeadLength);
  ExpectHeadsOfEveryKey(1000);
  EXPECT_TRUE(ComputeOrderHead(index_, TEntryOrder(index_, TSortKey::Size, true, *ranks_), 0)
                  .empty());
}

// The bound comes from a sample spread over the entry ids (every IdLimit() / 4096th): when the
// sampled entries are the very best ones, too few entries reach it, and the head is chosen among
// all entries again.
TEST_F(EntryOrderTest, AMisleadingSampleStillGivesTheRightHead) {
  const size_t step = std::max<size_t>(1, index_.IdLimit() / 4096);
  for (size_t id = 0; id < index_.IdLimit(); id += step) {
    const auto entry = static_cast<TEntryId>(id);
    if (index_.IsLive(entry) && !index_.IsRoot(entry)) index_.SetFacts(entry, {1u << 30, 1 << 30});
  }
  const TEntryOrder newest(index_, TSortKey::Date, false, *ranks_);
  EXPECT_EQ(ComputeOrderHead(index_, newest, TNameIndex::kOrderHeadLength),
            SortedHead(index_, newest, TNameIndex::kOrderHeadLength));
  const TEntryOrder largest(index_, TSortKey::Size, false, *ranks_);
  EXPECT_EQ(ComputeOrderHead(index_, largest, TNameIndex::kOrderHeadLength),
            SortedHead(index_, largest, TNameIndex::kOrderHeadLength));
}

}  // namespace
}  // namespace webtessl
