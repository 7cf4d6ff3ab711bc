// What the Win32 file stream adds to the contract of tests/platform/FileStream_test.cpp:
// backslashes and drive letters on the way out of a folder, devices and pipes.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/FileStream.h"
#include "tests/win32/WinTestFiles.h"

namespace webtessl {
namespace {

TEST(Win32FileStreamTest, OpensBelowAFolderNothingReachedByBackslashOrDrive) {
  const TWinTestFolder folder;
  std::filesystem::create_directories(folder.PathOf("root\\sub"));
  folder.Write("root\\sub\\a.txt", "a");
  folder.Write("outside.txt", "outside");
  EXPECT_TRUE(TFileStream::OpenBeneath(folder.PathOf("root"), "sub\\a.txt"));
  for (const char* outside : {"..\\outside.txt", "sub\\..\\..\\outside.txt", "C:\\outside.txt",
                              "C:outside.txt", "\\outside.txt"}) {
    TFileError why = TFileError::None;
    EXPECT_FALSE(TFileStream::OpenBeneath(folder.PathOf("root"), outside, &why)) << outside;
    EXPECT_EQ(why, TFileError::LinkOrClimb) << outside;
  }
}

TEST(Win32FileStreamTest, OpensNoDevice) {
  const TWinTestFolder folder;
  folder.Write("plain.txt", "plain");
  for (const std::string device : {"NUL", "con", "COM1.txt", "plain.txt:$DATA"}) {
    EXPECT_FALSE(TFileStream::Open(folder.PathOf(device))) << device;
  }
  EXPECT_FALSE(TFileStream::Open("//./nul"));
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

}  // namespace
}  // namespace webtessl
