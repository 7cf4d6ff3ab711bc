#include "platform/FileStream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/platform/TestFolder.h"

namespace webtessl {
namespace {

using testing_desktop::TTestFolder;

std::string Pattern(size_t length) {
  std::string bytes(length, '\0');
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return bytes;
}

std::string WriteFile(const TTestFolder& folder, const std::string& name, const std::string& bytes) {
  const std::string path = folder.Root() + "/" + name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

std::string ReadAll(std::istream& stream) {
  return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

TEST(FileStreamTest, ReadsTheFileWithItsFactsAndSeeksAnywhereInIt) {
  const TTestFolder folder;
  const std::string bytes = Pattern(200000);  // more than one read buffer
  const auto file = TFileStream::Open(WriteFile(folder, "data.bin", bytes));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Facts().kind, TFileKind::File);
  EXPECT_EQ(file->Facts().size, 200000);
  EXPECT_GT(file->Facts().modified.seconds, 0);

  std::string head(10, '\0');
  file->read(head.data(), 10);
  EXPECT_EQ(head, bytes.substr(0, 10));
  EXPECT_EQ(file->get(), bytes[10]);  // a byte through the buffer, then a block past it
  std::string block(100000, '\0');
  file->read(block.data(), static_cast<std::streamsize>(block.size()));
  EXPECT_EQ(block, bytes.substr(11, 100000));
  EXPECT_EQ(file->Position(), 100011);
  EXPECT_EQ(file->tellg(), 100011);

  file->seekg(-5, std::ios::end);
  EXPECT_EQ(ReadAll(*file), bytes.substr(199995));
  file->clear();
  file->seekg(150000);
  file->seekg(7, std::ios::cur);
  EXPECT_EQ(file->get(), bytes[150007]);
  file->seekg(0, std::ios::end);
  EXPECT_EQ(file->tellg(), 200000);
}

TEST(FileStreamTest, ReadsBeyondFourGibibytes) {
  const TTestFolder folder;
  const std::string path = folder.Root() + "/sparse.bin";
  const int64_t offset = (int64_t{1} << 32) + 12345;
  {
    std::ofstream out(path, std::ios::binary);
    out.seekp(offset);
    out << "far out";
  }
  const auto file = TFileStream::Open(path);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Facts().size, offset + 7);
  file->seekg(offset + 4);
  EXPECT_EQ(ReadAll(*file), "out");
  file->clear();
  file->seekg(offset - 2);
  EXPECT_EQ(file->get(), 0);
  EXPECT_EQ(file->Position(), offset - 1);
}

TEST(FileStreamTest, OpensNothingButRegularFilesAndNeverBlocks) {
  const TTestFolder folder;
  errno = 0;
  EXPECT_FALSE(TFileStream::Open(folder.Root() + "/missing"));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(TFileStream::Open(folder.Root()));
  EXPECT_EQ(errno, EISDIR);
  const std::string pipe = folder.Root() + "/pipe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_FALSE(TFileStream::Open(pipe));  // no writer: a blocking open would wait for ever
  EXPECT_EQ(errno, ENODEV);
  EXPECT_FALSE(TFileStream::Open(std::string("a\0b", 3)));
  EXPECT_FALSE(TFileStream::Open(""));
}

// A folder held open is the folder its path named then, with the same rules below it; one that
// did not exist then is looked up by its path at each open.
TEST(FileStreamTest, FolderHeldOpenKeepsTheRulesAndAMissingOneIsLookedUpLater) {
  const TTestFolder folder;
  std::filesystem::create_directories(folder.Root() + "/root");
  WriteFile(folder, "root/a.txt", "a");
  WriteFile(folder, "outside.txt", "outside");
  std::filesystem::create_symlink(folder.Root() + "/outside.txt", folder.Root() + "/root/link.txt");
  const TOpenFolder root(folder.Root() + "/root");
  EXPECT_GE(root.Handle(), 0);
  auto opened = TFileStream::OpenBeneath(root, "a.txt");
  ASSERT_TRUE(opened);
  EXPECT_EQ(ReadAll(*opened), "a");
  WriteFile(folder, "root/b.txt", "b");
  EXPECT_TRUE(TFileStream::OpenBeneath(root, "b.txt")) << "files made later are found";
  errno = 0;
  EXPECT_FALSE(TFileStream::OpenBeneath(root, "link.txt"));
  EXPECT_EQ(errno, ELOOP);
  EXPECT_FALSE(TFileStream::OpenBeneath(root, "../outside.txt"));

  const TOpenFolder later(folder.Root() + "/later");
  EXPECT_LT(later.Handle(), 0);
  EXPECT_FALSE(TFileStream::OpenBeneath(later, "c.txt"));
  std::filesystem::create_directories(folder.Root() + "/later");
  WriteFile(folder, "later/c.txt", "c");
  auto made = TFileStream::OpenBeneath(later, "c.txt");
  ASSERT_TRUE(made);
  EXPECT_EQ(ReadAll(*made), "c");
}

// Opening below a folder reaches only what lies in it by real names: a link anywhere on the way,
// or a climb above the folder, opens nothing. The opened file tells its own path, also after it
// was moved.
TEST(FileStreamTest, OpensBelowAFolderWithoutLinksAndTellsItsRealPath) {
  const TTestFolder folder;
  std::filesystem::create_directories(folder.Root() + "/root/sub");
  const std::string file = WriteFile(folder, "root/sub/a.txt", "a");
  WriteFile(folder, "outside.txt", "outside");
  std::filesystem::create_symlink(folder.Root() + "/outside.txt", folder.Root() + "/root/link.txt");
  std::filesystem::create_symlink(folder.Root() + "/root/sub", folder.Root() + "/root/alias");
  std::filesystem::create_directory_symlink(folder.Root() + "/root", folder.Root() + "/root-link");

  auto opened = TFileStream::OpenBeneath(folder.Root() + "/root", "sub/a.txt");
  ASSERT_TRUE(opened);
  EXPECT_EQ(ReadAll(*opened), "a");
  EXPECT_EQ(opened->RealPath(), std::filesystem::canonical(file).string());
  EXPECT_TRUE(TFileStream::OpenBeneath(folder.Root() + "/root-link", "sub/a.txt"))
      << "the folder's own path may hold links";
  struct TRefused {
    const char* relative;
    int error;
  };
  for (const TRefused refused : {TRefused{"link.txt", ELOOP}, TRefused{"alias/a.txt", ELOOP},
                                 TRefused{"../outside.txt", EXDEV},
                                 TRefused{"sub/../../outside.txt", EXDEV}}) {
    errno = 0;
    EXPECT_FALSE(TFileStream::OpenBeneath(folder.Root() + "/root", refused.relative))
        << refused.relative;
    EXPECT_EQ(errno, refused.error) << refused.relative;
  }
  EXPECT_FALSE(TFileStream::OpenBeneath(folder.Root() + "/root", folder.Root() + "/outside.txt"));
  errno = 0;
  EXPECT_FALSE(TFileStream::OpenBeneath(folder.Root() + "/root", "sub"));
  EXPECT_EQ(errno, EISDIR);

  std::filesystem::rename(folder.Root() + "/root/sub", folder.Root() + "/root/moved");
  EXPECT_EQ(opened->RealPath(),
            std::filesystem::canonical(folder.Root() + "/root/moved/a.txt").string());
}

TEST(FileStreamTest, EmptyFileEndsAtOnce) {
  const TTestFolder folder;
  const auto file = TFileStream::Open(WriteFile(folder, "empty", ""));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Facts().size, 0);
  EXPECT_EQ(file->get(), std::char_traits<char>::eof());
  EXPECT_TRUE(file->eof());
  EXPECT_EQ(file->Position(), -1);  // failed streams have no position
}

}  // namespace
}  // namespace webtessl
