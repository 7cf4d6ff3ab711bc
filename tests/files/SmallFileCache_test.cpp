#include "files/SmallFileCache.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/TempFolder.h"

namespace webtessl {
namespace {

class SmallFileCacheTest : public ::testing::Test {
 protected:
  std::string Root() const { return folder_.Path().string(); }
  // Opens the file below the folder and offers it to the cache, as the file handler does.
  void Serve(TSmallFileCache& cache, const std::string& name) const {
    const auto file = TFileStream::OpenBeneath(root_, name);
    ASSERT_TRUE(file) << name;
    cache.Offer(name, *file);
  }
  static std::string Bytes(const std::optional<TCachedFile>& cached) {
    return cached ? *cached->bytes : std::string("(none)");
  }

  testing_support::TempFolder folder_;
  const TOpenFolder root_{folder_.Path().string()};
};

TEST_F(SmallFileCacheTest, KeepsASettledSmallFileUntilItChangesInAnyWay) {
  TSmallFileCache cache(0);
  folder_.Write("a.txt", "first");
  EXPECT_EQ(Bytes(cache.Find(root_, "a.txt")), "(none)");
  Serve(cache, "a.txt");
  const std::optional<TCachedFile> kept = cache.Find(root_, "a.txt");
  EXPECT_EQ(Bytes(kept), "first");
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->modified.seconds, TFileStream::Open(Root() + "/a.txt")->Facts().modified.seconds);

  folder_.Write("a.txt", "second version");  // another size, whatever the clock's grain
  EXPECT_EQ(Bytes(cache.Find(root_, "a.txt")), "(none)");
  Serve(cache, "a.txt");
  EXPECT_EQ(Bytes(cache.Find(root_, "a.txt")), "second version");

  std::filesystem::remove(Root() + "/a.txt");
  EXPECT_EQ(Bytes(cache.Find(root_, "a.txt")), "(none)");
  folder_.Write("b.txt", "bee");
  Serve(cache, "b.txt");
  std::filesystem::create_symlink(Root() + "/b.txt", Root() + "/a.txt");
  EXPECT_EQ(Bytes(cache.Find(root_, "a.txt")), "(none)") << "a link is never taken for a file";
}

TEST_F(SmallFileCacheTest, LeavesFreshLargeAndEmptyFilesAsTheyAre) {
  folder_.Write("fresh.txt", "just written");
  TSmallFileCache settling;  // files must rest two seconds first
  Serve(settling, "fresh.txt");
  EXPECT_EQ(Bytes(settling.Find(root_, "fresh.txt")), "(none)");

  TSmallFileCache cache(0);
  folder_.Write("large.bin", std::string(TSmallFileCache::kMaxFileBytes + 1, 'x'));
  Serve(cache, "large.bin");
  EXPECT_EQ(Bytes(cache.Find(root_, "large.bin")), "(none)");
  folder_.Write("large.bin", "small now");
  EXPECT_EQ(Bytes(cache.Find(root_, "large.bin")), "(none)");
  Serve(cache, "large.bin");
  EXPECT_EQ(Bytes(cache.Find(root_, "large.bin")), "small now");
  folder_.Write("large.bin", std::string(TSmallFileCache::kMaxFileBytes + 1, 'z'));
  EXPECT_EQ(Bytes(cache.Find(root_, "large.bin")), "(none)") << "grown again";
  folder_.Write("limit.bin", std::string(TSmallFileCache::kMaxFileBytes, 'y'));
  Serve(cache, "limit.bin");
  EXPECT_EQ(Bytes(cache.Find(root_, "limit.bin")).size(), 16384u);
  folder_.Write("empty.txt", "");
  Serve(cache, "empty.txt");
  EXPECT_EQ(Bytes(cache.Find(root_, "empty.txt")), "");
  EXPECT_EQ(Bytes(cache.Find(root_, "")), "(none)");
  EXPECT_EQ(Bytes(cache.Find(root_, "../x")), "(none)");
}

TEST_F(SmallFileCacheTest, ManyFilesStayWithinTheBound) {
  TSmallFileCache cache(0);
  for (size_t i = 0; i <= TSmallFileCache::kMaxFiles; ++i) {
    const std::string name = "f" + std::to_string(i);
    folder_.Write(name, name);
    Serve(cache, name);
  }
  const std::string last = "f" + std::to_string(TSmallFileCache::kMaxFiles);
  EXPECT_EQ(Bytes(cache.Find(root_, last)), last);
  EXPECT_EQ(Bytes(cache.Find(root_, "f0")), "(none)") << "the full cache was emptied first";
}

}  // namespace
}  // namespace webtessl
