#include "platform/FileStream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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
  TFileError why = TFileError::None;
  EXPECT_FALSE(TFileStream::Open(folder.Root() + "/missing", &why));
  EXPECT_EQ(why, TFileError::NotFound);
  EXPECT_FALSE(TFileStream::Open(folder.Root(), &why));
  EXPECT_EQ(why, TFileError::IsFolder);
  const std::string pipe = folder.Root() + "/pipe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_FALSE(TFileStream::Open(pipe, &why));  // no writer: a blocking open would wait for ever
  EXPECT_EQ(why, TFileError::NotRegularFile);
  why = TFileError::None;
  EXPECT_FALSE(TFileStream::Open(std::string("a\0b", 3), &why));
  EXPECT_EQ(why, TFileError::NotFound);
  EXPECT_FALSE(TFileStream::Open(""));
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
  for (const char* refused : {"link.txt", "alias/a.txt", "../outside.txt",
                               "sub/../../outside.txt"}) {
    TFileError why = TFileError::None;
    EXPECT_FALSE(TFileStream::OpenBeneath(folder.Root() + "/root", refused, &why)) << refused;
    EXPECT_EQ(why, TFileError::LinkOrClimb) << refused;
  }
  EXPECT_FALSE(TFileStream::OpenBeneath(folder.Root() + "/root", folder.Root() + "/outside.txt"));
  TFileError why = TFileError::None;
  EXPECT_FALSE(TFileStream::OpenBeneath(folder.Root() + "/root", "sub", &why));
  EXPECT_EQ(why, TFileError::IsFolder);
  EXPECT_FALSE(TFileStream::OpenBeneath(folder.Root() + "/root", "sub/missing.txt", &why));
  EXPECT_EQ(why, TFileError::NotFound);

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
