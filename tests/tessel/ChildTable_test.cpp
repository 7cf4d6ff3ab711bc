#include "tessel/ChildTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace webtessl {
namespace {

// The keys live with the test, as they live with the index: by id, each name closed by its NUL.
struct TKeys {
  std::vector<TEntryId> parents;
  std::vector<std::string> names;

  TEntryId Add(TEntryId parent, std::string name) {
    parents.push_back(parent);
    names.push_back(std::move(name));
    return static_cast<TEntryId>(names.size() - 1);
  }
  TChildTable::TKeyOf KeyOf() const {
    return [this](TEntryId id) { return TStoredChildKey{parents[id], names[id].c_str()}; };
  }
};

TEST(ChildTableTest, NamesThatArePrefixesOfEachOtherAreTold) {
  TKeys keys;
  TChildTable table(keys.KeyOf());
  const TEntryId shorter = keys.Add(7, "ab");
  table.Insert(shorter);
  EXPECT_EQ(table.Find({7, "ab"}), shorter);
  EXPECT_EQ(table.Find({7, "a"}), kNoEntry);
  EXPECT_EQ(table.Find({7, "abc"}), kNoEntry);
  EXPECT_EQ(table.Find({8, "ab"}), kNoEntry);
  const TEntryId longer = keys.Add(7, "abc");
  table.Insert(longer, {7, "abc"});
  EXPECT_EQ(table.Find({7, "abc"}), longer);
  EXPECT_EQ(table.Find({7, "ab"}), shorter);
}

// Enough keys for many doublings, the same names under many folders, and half of them taken out
// again: every stored key is found, and no key taken out or never stored.
TEST(ChildTableTest, LookupsHoldThroughGrowthAndRemoval) {
  TKeys keys;
  TChildTable table(keys.KeyOf());
  constexpr TEntryId kFolders = 300;
  constexpr int kNames = 100;
  for (TEntryId parent = 0; parent < kFolders; ++parent) {
    for (int name = 0; name < kNames; ++name) {
      const std::string text = "n" + std::to_string(name);
      const TEntryId id = keys.Add(parent, text);
      if (id % 2 == 0) {
        table.Insert(id);
      } else {
        table.Insert(id, {parent, text});
      }
    }
  }
  ASSERT_EQ(table.Size(), keys.names.size());
  for (TEntryId id = 0; id < keys.names.size(); id += 3) table.Erase(id);
  table.Erase(0);  // not stored any more: nothing happens
  for (TEntryId id = 0; id < keys.names.size(); ++id) {
    const TEntryId expected = id % 3 == 0 ? kNoEntry : id;
    ASSERT_EQ(table.Find({keys.parents[id], keys.names[id]}), expected) << id;
  }
  EXPECT_EQ(table.Find({kFolders, "n1"}), kNoEntry);
  EXPECT_EQ(table.Find({0, "n" + std::to_string(kNames)}), kNoEntry);
  EXPECT_EQ(table.Size(), keys.names.size() - (keys.names.size() + 2) / 3);
}

}  // namespace
}  // namespace webtessl
