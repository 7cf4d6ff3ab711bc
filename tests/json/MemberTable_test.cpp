#include "json/MemberTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "json/SuperValue.h"
#include "tests/json/AsciiText.h"

namespace webtessl {
namespace {

using testing_json::Ascii;
using testing_json::Wide;

std::vector<std::string> MemberNames(const TSuperTableString& table) {
  std::vector<std::string> names;
  for (const TSuperObjectIter member : table) names.push_back(Ascii(member.name));
  return names;
}

// The AVL bound: a tree of n entries is at most about 1.44 log2(n + 2) levels high.
double MaxAvlHeight(size_t count) {
  return 1.4405 * std::log2(static_cast<double>(count) + 2);
}

TEST(MemberNameHashTest, FollowsTheMultiplyAndAddRule) {
  EXPECT_EQ(MemberNameHash(u""), 0u);
  EXPECT_EQ(MemberNameHash(u"a"), 0x61u + 0x9E370001u);
  // Two characters: (c1 + K) * 129 + c2 + K, modulo 2^32.
  const uint32_t k = 0x9E370001u;
  EXPECT_EQ(MemberNameHash(u"ab"), (0x61u + k) * 129u + 0x62u + k);
  EXPECT_EQ(MemberNameHash(u"\xFFFF"), 0xFFFFu + k);
}

TEST(MemberTableTest, QueryMembersComeInHashOrder) {
  const std::vector<std::string> setOrder = {
      "cmd",        "ExcludeDir", "QueryStr",   "QueryFilter", "QueryDir",     "QueryFrom",
      "QueryCount", "SpaceOr",    "WholeWords", "IncludeDir",  "IncludeFiles", "CaseSensitive"};
  TSuperTableString table;
  for (const std::string& name : setOrder) table.Put(Wide(name), TSuperObject::NewInteger(1));
  EXPECT_EQ(MemberNames(table),
            (std::vector<std::string>{"cmd", "SpaceOr", "QueryFrom", "QueryCount", "ExcludeDir",
                                      "CaseSensitive", "IncludeFiles", "QueryStr", "QueryDir",
                                      "IncludeDir", "QueryFilter", "WholeWords"}));
}

TEST(MemberTableTest, ResultMembersComeInHashOrderWhateverTheInsertionOrder) {
  std::vector<std::string> names = {"file",    "dir",  "size",    "sizestr",
                                    "timestr", "time", "filelink"};
  const std::vector<std::string> expected = {"dir",  "filelink", "timestr", "sizestr",
                                             "time", "size",     "file"};
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    std::shuffle(names.begin(), names.end(), random);
    TSuperTableString table;
    for (const std::string& name : names) table.Put(Wide(name), nullptr);
    EXPECT_EQ(MemberNames(table), expected);
  }
}

TEST(MemberTableTest, EqualHashesAreOrderedByNameWithPrefixFirst) {
  // Two names with one hash: h(a b) = (a + K) * 129 + b + K, so raising a by one and lowering b
  // by 129 keeps the hash.
  const std::u16string first = {u'\x10', u'\x200'};
  const std::u16string second = {u'\x11', static_cast<char16_t>(0x200 - 129)};
  ASSERT_EQ(MemberNameHash(first), MemberNameHash(second));
  EXPECT_TRUE(MemberComesBefore(MemberNameHash(first), first, MemberNameHash(second), second));
  EXPECT_FALSE(MemberComesBefore(MemberNameHash(second), second, MemberNameHash(first), first));
  EXPECT_TRUE(MemberComesBefore(5, u"ab", 5, u"abc"));
  EXPECT_TRUE(MemberComesBefore(5, u"\x7FFF", 5, u"\x8000"));  // unsigned 16-bit comparison
  EXPECT_TRUE(MemberComesBefore(0xFFFFFFFFu, u"z", 1, u"a"));  // the larger hash first

  TSuperTableString table;
  table.Put(second, TSuperObject::NewInteger(2));
  table.Put(first, TSuperObject::NewInteger(1));
  ASSERT_EQ(table.Count(), 2u);
  EXPECT_EQ((*table.begin()).name, first);
  EXPECT_EQ((*table.Find(second))->AsInteger(), 2);
}

TEST(MemberTableTest, PutReplacesTheValueOfAPresentNameAndReleasesTheOldOne) {
  TSuperTableString table;
  ISuperObject old = TSuperObject::NewInteger(1);
  table.Put(u"x", old);
  EXPECT_EQ(old.use_count(), 2);
  table.Put(u"x", TSuperObject::NewInteger(2));
  EXPECT_EQ(old.use_count(), 1);
  EXPECT_EQ(table.Count(), 1u);
  EXPECT_EQ((*table.Find(u"x"))->AsInteger(), 2);
  EXPECT_EQ(table.Find(u"X"), nullptr);  // names match case-sensitively
}

TEST(MemberTableTest, StaysBalancedAndOrderedUnderManyInsertionsAndRemovals) {
  TSuperTableString table;
  std::set<std::u16string> present;
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> pick(0, 2999);
  for (int step = 0; step < 20000; ++step) {
    const std::u16string name = Wide("m" + std::to_string(pick(random)));
    if (step % 3 == 2) {
      EXPECT_EQ(table.Remove(name), present.erase(name) == 1);
    } else {
      table.Put(name, TSuperObject::NewInteger(step));
      present.insert(name);
    }
    ASSERT_EQ(table.Count(), present.size());
    ASSERT_LE(table.Height(), MaxAvlHeight(present.size())) << "after step " << step;
  }
  // Every member is found, none that was removed, and iteration is in strict member order.
  for (int i = 0; i < 3000; ++i) {
    const std::u16string name = Wide("m" + std::to_string(i));
    EXPECT_EQ(table.Find(name) != nullptr, present.count(name) == 1);
  }
  size_t visited = 0;
  const std::u16string* previous = nullptr;
  uint32_t previousHash = 0;
  for (const TSuperObjectIter member : table) {
    const uint32_t hash = MemberNameHash(member.name);
    if (previous != nullptr) {
      EXPECT_TRUE(MemberComesBefore(previousHash, *previous, hash, member.name));
    }
    previous = &member.name;
    previousHash = hash;
    ++visited;
  }
  EXPECT_EQ(visited, present.size());

  // Removing everything in insertion-like order keeps the bound down to the empty tree.
  for (const std::u16string& name : std::vector<std::u16string>(present.begin(), present.end())) {
    ASSERT_TRUE(table.Remove(name));
    present.erase(name);
    ASSERT_LE(table.Height(), MaxAvlHeight(present.size()));
  }
  EXPECT_EQ(table.Count(), 0u);
  EXPECT_EQ(table.Height(), 0);
  EXPECT_TRUE(table.begin() == table.end());
  EXPECT_FALSE(table.Remove(u"m1"));
}

TEST(MemberTableTest, RemovedMembersReleaseTheirValuesAndTheirEntriesServeNewMembers) {
  TSuperTableString table;
  ISuperObject held = TSuperObject::NewInteger(7);
  for (int i = 0; i < 8; ++i) table.Put(Wide("m" + std::to_string(i)), i == 3 ? held : nullptr);
  std::set<const ISuperObject*> slots;
  for (int i = 0; i < 8; ++i) slots.insert(table.Find(Wide("m" + std::to_string(i))));
  ASSERT_TRUE(table.Remove(u"m3"));
  EXPECT_EQ(held.use_count(), 1) << "the value goes with its member, not with its entry";
  for (int i = 0; i < 8; ++i) {
    if (i != 3) {
      ASSERT_TRUE(table.Remove(Wide("m" + std::to_string(i))));
    }
  }
  EXPECT_EQ(table.Count(), 0u);
  EXPECT_TRUE(table.begin() == table.end());
  // Eight new members fit in the eight freed entries: the pool does not move.
  const std::u16string longName(40, u'n');  // beyond a string's inline room
  for (int i = 0; i < 8; ++i) table.Put(longName + Wide(std::to_string(i)), held);
  EXPECT_EQ(held.use_count(), 9);
  EXPECT_EQ(MemberNames(table).size(), 8u);
  EXPECT_EQ(table.Find(u"m5"), nullptr);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(slots.count(table.Find(longName + Wide(std::to_string(i)))), 1u)
        << "member " << i << " took a freed entry";
  }
}

TEST(MemberTableTest, ReservedRoomKeepsEveryValueSlotInPlace) {
  TSuperTableString table;
  table.Put(u"first", TSuperObject::NewInteger(1));
  table.Reserve(40);
  const ISuperObject* slot = table.Find(u"first");
  for (int i = 0; i < 39; ++i) table.Put(Wide("member " + std::to_string(i)), nullptr);
  EXPECT_EQ(table.Find(u"first"), slot) << "no entry moved while the reserved room lasted";
  EXPECT_EQ((*slot)->AsInteger(), 1);
  table.Reserve(10);  // less than present changes nothing
  EXPECT_EQ(table.Count(), 40u);
  EXPECT_EQ(table.Find(u"first"), slot);
}

TEST(MemberTableTest, PutTakingNameTakesANewNameAndKeepsAPresentMembersEntry) {
  TSuperTableString table;
  std::u16string name(100, u'x');
  const char16_t* storage = name.data();
  table.PutTakingName(std::move(name), TSuperObject::NewInteger(1));
  EXPECT_EQ((*table.begin()).name.data(), storage) << "the name's storage moved into the entry";
  std::u16string again(100, u'x');
  table.PutTakingName(std::move(again), TSuperObject::NewInteger(2));
  EXPECT_EQ(table.Count(), 1u);
  EXPECT_EQ((*table.begin()).name.data(), storage);
  EXPECT_EQ((*table.Find(std::u16string(100, u'x')))->AsInteger(), 2);
}

TEST(MemberTableTest, AMovedTableKeepsItsMembersAndTheOldOneIsEmpty) {
  TSuperTableString table;
  for (int i = 0; i < 50; ++i) table.Put(Wide("m" + std::to_string(i)), TSuperObject::NewInteger(i));
  const std::vector<std::string> names = MemberNames(table);
  TSuperTableString moved(std::move(table));
  EXPECT_EQ(MemberNames(moved), names);
  EXPECT_EQ(table.Count(), 0u);  // NOLINT(bugprone-use-after-move): a moved table is empty
  EXPECT_TRUE(table.begin() == table.end());
  EXPECT_EQ(table.Find(u"m1"), nullptr);
  table.Put(u"again", nullptr);  // and can be used again
  EXPECT_EQ(MemberNames(table), std::vector<std::string>{"again"});
  TSuperTableString assigned;
  assigned.Put(u"gone", nullptr);
  assigned = std::move(moved);
  EXPECT_EQ(MemberNames(assigned), names);
  EXPECT_EQ(moved.Count(), 0u);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(moved.Find(u"m1"), nullptr);
  EXPECT_EQ((*assigned.Find(u"m49"))->AsInteger(), 49);
  assigned.Put(u"m50", nullptr);  // the moved pool still grows
  EXPECT_EQ(assigned.Count(), 51u);
}

TEST(MemberTableTest, RemovingTheLastReferenceToItsOwnObjectFreesTheObjectSafely) {
  ISuperObject object = TSuperObject::NewObject();
  object->SetMember(u"self", object);  // the object now keeps itself alive
  object->SetMemberInt(u"other", 1);
  TSuperObject* alone = object.get();
  object.reset();
  // The member's value is the object's last reference: the object, and the table the removal
  // runs in, go with it (AddressSanitizer sees any use of them afterwards).
  alone->RemoveMember(u"self");
}

TEST(MemberTableTest, SequentialNamesBuildALogarithmicTree) {
  TSuperTableString table;
  constexpr int kCount = 100000;
  for (int i = 0; i < kCount; ++i) table.Put(Wide(std::to_string(i)), nullptr);
  EXPECT_EQ(table.Count(), static_cast<size_t>(kCount));
  EXPECT_LE(table.Height(), MaxAvlHeight(kCount));
}

}  // namespace
}  // namespace webtessl
