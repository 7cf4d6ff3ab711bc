#pragma once

// A file with bytes far into it and a hole before them, so that tests can read beyond 4 GiB
// without writing 4 GiB: on Windows the file is marked sparse first, elsewhere a seek past the
// end leaves the hole by itself.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#ifdef _WIN32
#include "platform/win32/WinApi.h"

#include <winioctl.h>
#else
#include <fstream>
#endif

namespace webtessl::testing_support {

// Writes the bytes at the offset of a new file (or one cut to nothing) and returns its path.
inline std::string WriteSparseFile(const std::string& path, const std::string& bytes,
                                   int64_t offset) {
#ifdef _WIN32
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
#else
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.seekp(offset);
  out << bytes;
  EXPECT_TRUE(out.good()) << path;
#endif
  return path;
}

}  // namespace webtessl::testing_support
