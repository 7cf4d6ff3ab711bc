#include "tessel/FolderListing.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "tests/support/TempFolder.h"

namespace webtessl {
namespace {

namespace fs = std::filesystem;

TFolderIdentity IdentityOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return {info.st_dev, info.st_ino};
}

std::map<std::string, TListedEntry> ByName(const TFolderListing& listing) {
  std::map<std::string, TListedEntry> entries;
  for (const TListedEntry& entry : listing.entries)
    entries.emplace(std::string(listing.NameOf(entry)), entry);
  return entries;
}

TEST(FolderListingTest, EntriesCarryTheirNamesKindsAndFactsAndHiddenOnesAreLeftOut) {
  testing_support::TempFolder tree;
  std::ofstream(tree.Path() / "five.txt") << "12345";
  const utimbuf stamp{1500000000, 1500000000};
  ASSERT_EQ(::utime((tree.Path() / "five.txt").c_str(), &stamp), 0);
  fs::create_directory(tree.Path() / "inner");
  std::ofstream(tree.Path() / ".hidden");
  fs::create_directory_symlink(tree.Path() / "inner", tree.Path() / "link");
  // Enough long names for several blocks of the kernel's reading.
  for (int i = 0; i < 400; ++i)
    std::ofstream(tree.Path() / (std::string(100, 'x') + std::to_string(i)));

  const auto listing = ListFolder(tree.Path().string(), false);
  ASSERT_TRUE(listing.has_value());
  const auto entries = ByName(*listing);
  EXPECT_EQ(entries.size(), 403u);
  EXPECT_FALSE(entries.contains(".hidden"));
  EXPECT_TRUE(entries.contains(std::string(100, 'x') + "399"));
  const TListedEntry& five = entries.at("five.txt");
  EXPECT_FALSE(five.isDirectory);
  EXPECT_EQ(five.facts, (TEntryFacts{5, 1500000000}));
  EXPECT_TRUE(entries.at("inner").isDirectory);
  EXPECT_EQ(entries.at("inner").facts.size, 0u);
  EXPECT_EQ(entries.at("inner").identity, IdentityOf(tree.Path() / "inner"));
  EXPECT_FALSE(entries.at("link").isDirectory);  // a link to a folder counts as a file
  EXPECT_EQ(listing->identity, IdentityOf(tree.Path()));

  EXPECT_FALSE(ListFolder((tree.Path() / "link").string(), false).has_value());
  EXPECT_TRUE(ListFolder((tree.Path() / "link").string(), true).has_value());
  EXPECT_FALSE(ListFolder((tree.Path() / "five.txt").string(), false).has_value());
  EXPECT_FALSE(ListFolder((tree.Path() / "gone").string(), false).has_value());
}

// A folder listed as its parent saw it keeps that identity; one put in its place since (another
// inode) gets its own, so that telling folders apart never rests on what was seen before.
TEST(FolderListingTest, AFolderReplacedSinceItsParentWasListedHasItsOwnIdentity) {
  testing_support::TempFolder tree;
  fs::create_directory(tree.Path() / "a");
  const auto parent = ListFolder(tree.Path().string(), false);
  ASSERT_TRUE(parent.has_value());
  const TFolderIdentity seen = ByName(*parent).at("a").identity;
  const std::string path = (tree.Path() / "a").string();
  EXPECT_EQ(ListFolder(path, false, seen)->identity, seen);

  fs::rename(tree.Path() / "a", tree.Path() / "old");
  fs::create_directory(tree.Path() / "a");
  const TFolderIdentity now = IdentityOf(tree.Path() / "a");
  ASSERT_NE(now, seen);
  EXPECT_EQ(ListFolder(path, false, seen)->identity, now);
}

TEST(FolderListingTest, FactsOfAPathAreALinksOwn) {
  testing_support::TempFolder tree;
  std::ofstream(tree.Path() / "f") << "abc";
  fs::create_symlink(tree.Path() / "f", tree.Path() / "l");
  EXPECT_EQ(ReadFacts((tree.Path() / "f").string())->size, 3u);
  EXPECT_EQ(ReadFacts((tree.Path() / "l").string())->size,
            (tree.Path() / "f").string().size());
  EXPECT_FALSE(ReadFacts((tree.Path() / "gone").string()).has_value());
}

}  // namespace
}  // namespace webtessl
