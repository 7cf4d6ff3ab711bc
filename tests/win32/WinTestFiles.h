#pragma once

// Files for the Win32 backend's tests: a temporary folder of its own, and files written there
// with the system's calls (also far beyond 4 GiB, as sparse files).

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/win32/WinApi.h"
#include "tests/support/PatternBytes.h"
#include "tests/support/TempFolder.h"

#include <winioctl.h>

namespace webtessl {

using testing_support::PatternBytes;

// A fresh temporary folder, removed with what it holds, whose files are written with the
// system's calls.
class TWinTestFolder {
 public:
  std::string PathOf(const std::string& name) const { return folder_.File(name); }

  // Writes the bytes at the offset of a new file (the part before it is a hole of zeros).
  std::string Write(const std::string& name, const std::string& bytes, int64_t offset = 0) const {
    const std::string path = PathOf(name);
    const win32::TUniqueHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_NE(file.get(), INVALID_HANDLE_VALUE) << path;
    DWORD ignored = 0;
    ::DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER at{};
    at.QuadPart = offset;
    EXPECT_TRUE(::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN));
    if (bytes.empty()) {
      EXPECT_TRUE(::SetEndOfFile(file.get()));
    } else {
      DWORD written = 0;
      EXPECT_TRUE(::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                              nullptr));
      EXPECT_EQ(written, bytes.size());
    }
    return path;
  }

  // Cuts or extends the file to the size.
  void Resize(const std::string& path, int64_t size) const {
    const win32::TUniqueHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                                  nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER at{};
    at.QuadPart = size;
    EXPECT_TRUE(::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN));
    EXPECT_TRUE(::SetEndOfFile(file.get()));
  }

 private:
  testing_support::TempFolder folder_;
};

}  // namespace webtessl
