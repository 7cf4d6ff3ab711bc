#include "tessel/FolderListing.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "tests/support/TempFolder.h"
#include "tests/tessel/BindMount.h"

namespace webtessl {
namespace {

namespace fs = std::filesystem;
using testing_tessel::TBindMount;

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

// A folder of every kind of entry, with enough long names for several blocks of the kernel's
// reading.
void MakeMixedFolder(const fs::path& folder) {
  std::ofstream(folder / "five.txt") << "12345";
  const utimbuf stamp{1500000000, 1500000000};
  ASSERT_EQ(::utime((folder / "five.txt").c_str(), &stamp), 0);
  fs::create_directory(folder / "inner");
  std::ofstream(folder / ".hidden");
  fs::create_directory(folder / ".hidden folder");
  fs::create_directory_symlink(folder / "inner", folder / "link");
  ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
  for (int i = 0; i < 400; ++i) std::ofstream(folder / (std::string(100, 'x') + std::to_string(i)));
}

TEST(FolderListingTest, EntriesCarryTheirNamesKindsAndFactsAndHiddenOnesAreLeftOut) {
  testing_support::TempFolder tree;
  MakeMixedFolder(tree.Path());

  const auto listing = ListFolder(tree.Path().string(), false);
  ASSERT_TRUE(listing.has_value());
  EXPECT_TRUE(listing->hasFacts);
  const auto entries = ByName(*listing);
  EXPECT_EQ(entries.size(), 404u);
  EXPECT_FALSE(entries.contains(".hidden"));
  EXPECT_TRUE(entries.contains(std::string(100, 'x') + "399"));
  const TListedEntry& five = entries.at("five.txt");
  EXPECT_FALSE(five.isDirectory);
  EXPECT_EQ(five.facts, (TEntryFacts{5, 1500000000}));
  EXPECT_TRUE(entries.at("inner").isDirectory);
  EXPECT_EQ(entries.at("inner").facts.size, 0u);
  EXPECT_FALSE(entries.at("link").isDirectory);  // a link to a folder counts as a file
  EXPECT_FALSE(entries.at("pipe").isDirectory);
  EXPECT_EQ(listing->identity, IdentityOf(tree.Path()));

  EXPECT_FALSE(ListFolder((tree.Path() / "link").string(), false).has_value());
  EXPECT_TRUE(ListFolder((tree.Path() / "link").string(), true).has_value());
  EXPECT_FALSE(ListFolder((tree.Path() / "five.txt").string(), false).has_value());
  EXPECT_FALSE(ListFolder((tree.Path() / "gone").string(), false).has_value());
}

// Listed by names alone, a folder gives the same names and kinds (from the folder's own records)
// and says that its entries carry no facts.
TEST(FolderListingTest, ANamesOnlyListingHasTheNamesAndKindsWithoutFacts) {
  testing_support::TempFolder tree;
  MakeMixedFolder(tree.Path());
  const auto full = ListFolder(tree.Path().string(), false);
  const auto names = ListFolder(tree.Path().string(), false, TListingDetail::NamesOnly);
  ASSERT_TRUE(full.has_value());
  ASSERT_TRUE(names.has_value());
  EXPECT_FALSE(names->hasFacts);
  EXPECT_EQ(names->identity, full->identity);
  std::map<std::string, bool> kindsOfFull;
  for (const auto& [name, entry] : ByName(*full)) kindsOfFull.emplace(name, entry.isDirectory);
  std::map<std::string, bool> kindsOfNames;
  for (const auto& [name, entry] : ByName(*names)) {
    kindsOfNames.emplace(name, entry.isDirectory);
    EXPECT_EQ(entry.facts, TEntryFacts{}) << name;
  }
  EXPECT_EQ(kindsOfNames, kindsOfFull);
  EXPECT_FALSE(ListFolder((tree.Path() / "link").string(), false, TListingDetail::NamesOnly));
}

// The identity is that of the folder opened: of the one put in the place of the folder listed
// before, and of the folder mounted on a mount point rather than the one below it.
TEST(FolderListingTest, TheIdentityIsThatOfTheFolderOpened) {
  testing_support::TempFolder tree;
  testing_support::TempFolder other;
  fs::create_directory(tree.Path() / "a");
  const std::string path = (tree.Path() / "a").string();
  const TFolderIdentity before = ListFolder(path, false, TListingDetail::NamesOnly)->identity;
  EXPECT_EQ(before, IdentityOf(tree.Path() / "a"));
  fs::rename(tree.Path() / "a", tree.Path() / "old");
  fs::create_directory(tree.Path() / "a");
  ASSERT_NE(IdentityOf(tree.Path() / "a"), before);
  EXPECT_EQ(ListFolder(path, false, TListingDetail::NamesOnly)->identity,
            IdentityOf(tree.Path() / "a"));

  other.Write("mounted.txt", "x");
  const TBindMount mount(other.Path(), tree.Path() / "a");
  if (!mount.Mounted()) GTEST_SKIP() << "not allowed to mount here";
  for (const TListingDetail detail : {TListingDetail::NamesOnly, TListingDetail::NamesAndFacts}) {
    const auto listing = ListFolder(path, false, detail);
    ASSERT_TRUE(listing.has_value());
    EXPECT_EQ(listing->identity, IdentityOf(other.Path()));
    ASSERT_EQ(listing->entries.size(), 1u);
    EXPECT_EQ(listing->NameOf(listing->entries[0]), "mounted.txt");
  }
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
