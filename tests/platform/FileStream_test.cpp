// What every backend's file stream promises, on real files of a temporary folder. The same
// source is built into the Linux tests and into the Windows tests run under Wine, so a rule
// written here holds for both; what only one system has lives beside it (posix/, tests/win32/).

#include "platform/FileStream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/PatternBytes.h"
#include "tests/support/SparseFile.h"
#include "tests/support/TempFolder.h"

namespace webtessl {
namespace {

using testing_support::PatternBytes;
using testing_support::TempFolder;

std::string ReadAll(std::istream& stream) {
  return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

int64_t SecondsNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

TEST(FileStreamTest, ReadsTheFileWithItsFactsAndSeeksAnywhereInIt) {
  const TempFolder folder;
  const std::string bytes = PatternBytes(200000);  // more than one read buffer
  const auto file = TFileStream::Open(folder.Write("data.bin", bytes));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Facts().kind, TFileKind::File);
  EXPECT_EQ(file->Facts().size, 200000);
  EXPECT_NEAR(static_cast<double>(file->Facts().modified.seconds),
              static_cast<double>(SecondsNow()), 300.0);  // seconds since 1970, not another epoch

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
  std::string tail(10, '\0');
  file->read(tail.data(), 10);  // asks for more than is left: ends with the file
  EXPECT_EQ(file->gcount(), 5);
  EXPECT_EQ(tail.substr(0, 5), bytes.substr(199995));
  EXPECT_TRUE(file->eof());
  file->clear();
  file->seekg(150000);
  file->seekg(7, std::ios::cur);
  EXPECT_EQ(file->get(), bytes[150007]);
  file->seekg(0, std::ios::end);
  EXPECT_EQ(file->tellg(), 200000);
}

TEST(FileStreamTest, ReadsBeyondFourGibibytes) {
  const TempFolder folder;
  const int64_t offset = (int64_t{1} << 32) + 12345;
  const auto file =
      TFileStream::Open(testing_support::WriteSparseFile(folder.File("sparse.bin"), "far out",
                                                         offset));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Facts().size, offset + 7);
  file->seekg(offset + 4);
  EXPECT_EQ(ReadAll(*file), "out");
  file->clear();
  file->seekg(offset - 2);
  EXPECT_EQ(file->get(), 0);
  EXPECT_EQ(file->Position(), offset - 1);
}

TEST(FileStreamTest, EmptyFileEndsAtOnce) {
  const TempFolder folder;
  const auto file = TFileStream::Open(folder.Write("empty", ""));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Facts().size, 0);
  EXPECT_EQ(file->get(), std::char_traits<char>::eof());
  EXPECT_TRUE(file->eof());
  EXPECT_EQ(file->Position(), -1);  // failed streams have no position
}

TEST(FileStreamTest, OpensNothingButRegularFilesAndSaysWhy) {
  const TempFolder folder;
  folder.Write("plain.txt", "plain");
  TFileError why = TFileError::None;
  EXPECT_FALSE(TFileStream::Open(folder.File("missing.txt"), &why));
  EXPECT_EQ(why, TFileError::NotFound);
  EXPECT_FALSE(TFileStream::Open(folder.Path().string(), &why));
  EXPECT_EQ(why, TFileError::IsFolder);
  why = TFileError::None;
  EXPECT_FALSE(TFileStream::Open(folder.File("plain.txt") + std::string(1, '\0'), &why));
  EXPECT_EQ(why, TFileError::NotFound);
  EXPECT_FALSE(TFileStream::Open(std::string("a\0b", 3)));
  EXPECT_FALSE(TFileStream::Open(""));
  EXPECT_TRUE(TFileStream::Open(folder.File("plain.txt")));
}

// Opening below a folder reaches only what lies in it; the opened file tells its own path.
TEST(FileStreamTest, OpensBelowAFolderOnlyWhatLiesInIt) {
  const TempFolder folder;
  std::filesystem::create_directories(folder.Path() / "root" / "sub");
  const std::string file = folder.Write("root/sub/a.txt", "a");
  const std::string outside = folder.Write("outside.txt", "outside");
  const std::string root = folder.File("root");

  const auto opened = TFileStream::OpenBeneath(root, "sub/a.txt");
  ASSERT_TRUE(opened);
  EXPECT_EQ(ReadAll(*opened), "a");
  EXPECT_EQ(opened->RealPath(), CanonicalPath(file));
  for (const char* climb : {"../outside.txt", "sub/../../outside.txt"}) {
    TFileError why = TFileError::None;
    EXPECT_FALSE(TFileStream::OpenBeneath(root, climb, &why)) << climb;
    EXPECT_EQ(why, TFileError::LinkOrClimb) << climb;
  }
  EXPECT_FALSE(TFileStream::OpenBeneath(root, outside)) << "an absolute path leaves the folder";
  TFileError why = TFileError::None;
  EXPECT_FALSE(TFileStream::OpenBeneath(root, "sub", &why));
  EXPECT_EQ(why, TFileError::IsFolder);
  EXPECT_FALSE(TFileStream::OpenBeneath(root, "sub/missing.txt", &why));
  EXPECT_EQ(why, TFileError::NotFound);
  EXPECT_FALSE(TFileStream::OpenBeneath(folder.File("missing"), "a.txt", &why));
  EXPECT_EQ(why, TFileError::NotFound);
}

// The server holds files open while it sends them: other programs may still change and delete
// them meanwhile.
TEST(FileStreamTest, OtherProgramsMayWriteAndDeleteTheOpenFile) {
  const TempFolder folder;
  const std::string path = folder.Write("shared.txt", "old content");
  const auto file = TFileStream::Open(path);
  ASSERT_TRUE(file);
  {
    std::ofstream writer(path, std::ios::binary | std::ios::in);
    ASSERT_TRUE(writer);
    writer << "new";
  }
  EXPECT_EQ(ReadAll(*file), "new content");
  std::error_code error;
  EXPECT_TRUE(std::filesystem::remove(path, error)) << error.message();
}

}  // namespace
}  // namespace webtessl
