// The Win32 backend's file stream, on real files of a temporary folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/FileStream.h"
#include "tests/win32/WinTestFiles.h"

namespace webtessl {
namespace {

std::string ReadAll(std::istream& stream, size_t count) {
  std::string bytes(count, '\0');
  stream.read(bytes.data(), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<size_t>(stream.gcount()));
  return bytes;
}

TEST(Win32FileStreamTest, ReadsTheFileWithItsFactsAndSeeksAnywhereInIt) {
  const TWinTestFolder folder;
  const std::string bytes = PatternBytes(200000);
  const auto file = TFileStream::Open(folder.Write("data.bin", bytes));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Facts().kind, TFileKind::File);
  EXPECT_EQ(file->Facts().size, 200000);
  EXPECT_GT(file->Facts().modified.seconds, 1600000000);
  EXPECT_EQ(file->get(), bytes[0]);  // through the buffer
  EXPECT_EQ(ReadAll(*file, 100000), bytes.substr(1, 100000));
  file->seekg(150000);
  EXPECT_EQ(file->Position(), 150000);
  EXPECT_EQ(ReadAll(*file, 100000), bytes.substr(150000));  // ends with the file
  EXPECT_TRUE(file->eof());
  file->clear();
  file->seekg(-10, std::ios_base::end);
  EXPECT_EQ(ReadAll(*file, 10), bytes.substr(199990));
}

// Opening below a folder reaches only what lies in it, judged by the opened file's final path;
// the opened file tells that path.
TEST(Win32FileStreamTest, OpensBelowAFolderOnlyWhatLiesInIt) {
  const TWinTestFolder folder;
  std::filesystem::create_directories(folder.PathOf("root\\sub"));
  folder.Write("root\\sub\\a.txt", "a");
  folder.Write("outside.txt", "outside");
  const auto opened = TFileStream::OpenBeneath(folder.PathOf("root"), "sub/a.txt");
  ASSERT_TRUE(opened);
  EXPECT_EQ(ReadAll(*opened, 10), "a");
  EXPECT_EQ(opened->RealPath(), CanonicalPath(folder.PathOf("root\\sub\\a.txt")));
  for (const char* outside : {"..\\outside.txt", "sub/../../outside.txt", "C:\\outside.txt"}) {
    TFileError why = TFileError::None;
    EXPECT_FALSE(TFileStream::OpenBeneath(folder.PathOf("root"), outside, &why)) << outside;
    EXPECT_EQ(why, TFileError::LinkOrClimb) << outside;
  }
}

TEST(Win32FileStreamTest, ReadsBeyondFourGibibytes) {
  const TWinTestFolder folder;
  const int64_t offset = (int64_t{1} << 32) + 3;
  const auto file = TFileStream::Open(folder.Write("large.bin", PatternBytes(5000), offset));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Facts().size, offset + 5000);
  file->seekg(offset - 2);
  EXPECT_EQ(ReadAll(*file, 10), std::string(2, '\0') + PatternBytes(8));
  EXPECT_EQ(file->Position(), offset + 8);
}

TEST(Win32FileStreamTest, OpensNothingButRegularFiles) {
  const TWinTestFolder folder;
  folder.Write("plain.txt", "plain");
  TFileError why = TFileError::None;
  EXPECT_FALSE(TFileStream::Open(folder.PathOf("missing.txt"), &why));
  EXPECT_EQ(why, TFileError::NotFound);
  EXPECT_FALSE(TFileStream::Open(folder.PathOf(""), &why));
  EXPECT_EQ(why, TFileError::IsFolder);
  for (const std::string device : {"NUL", "con", "COM1.txt", "plain.txt:$DATA"}) {
    EXPECT_FALSE(TFileStream::Open(folder.PathOf(device))) << device;
  }
  EXPECT_FALSE(TFileStream::Open("//./nul"));
  EXPECT_FALSE(TFileStream::Open(folder.PathOf("plain.txt") + std::string(1, '\0')));
  EXPECT_FALSE(TFileStream::Open(""));
  EXPECT_TRUE(TFileStream::Open(folder.PathOf("plain.txt")));
}

TEST(Win32FileStreamTest, NeverConnectsToAPipe) {
  const char name[] = "\\\\.\\pipe\\wt-stream-pipe";
  const win32::TUniqueHandle pipe(::CreateNamedPipeA(
      name, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr));
  ASSERT_NE(pipe.get(), INVALID_HANDLE_VALUE);
  const win32::TUniqueHandle connected(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED waiting{};
  waiting.hEvent = connected.get();
  EXPECT_FALSE(::ConnectNamedPipe(pipe.get(), &waiting));
  ASSERT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  EXPECT_FALSE(TFileStream::Open(name));
  EXPECT_EQ(::WaitForSingleObject(connected.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  ::CancelIo(pipe.get());
  DWORD ignored = 0;
  ::GetOverlappedResult(pipe.get(), &waiting, &ignored, TRUE);
}

TEST(Win32FileStreamTest, OtherProgramsMayWriteAndDeleteTheOpenFile) {
  const TWinTestFolder folder;
  const std::string path = folder.Write("shared.txt", "old content");
  const auto file = TFileStream::Open(path);
  ASSERT_TRUE(file);
  {
    std::ofstream writer(path, std::ios::binary | std::ios::in);
    ASSERT_TRUE(writer);
    writer << "new";
  }
  EXPECT_EQ(ReadAll(*file, 100), "new content");
  std::error_code error;
  EXPECT_TRUE(std::filesystem::remove(path, error)) << error.message();
}

}  // namespace
}  // namespace webtessl
