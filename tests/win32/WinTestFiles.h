#pragma once

// Files for the Win32 backend's tests: a temporary folder of its own, and files written there
// with the system's calls (also far beyond 4 GiB, as sparse files).

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/win32/WinApi.h"
#include "tests/support/PatternBytes.h"
#include "tests/support/SparseFile.h"
#include "tests/support/TempFolder.h"

namespace webtessl {

using testing_support::PatternBytes;

// A fresh temporary folder, removed with what it holds, whose files are written with the
// system's calls.
class TWinTestFolder {
 public:
  std::string PathOf(const std::string& name) const { return folder_.File(name); }

  // Writes the bytes at the offset of a new file (the part before it is a hole of zeros).
  std::string Write(const std::string& name, const std::string& bytes, int64_t offset = 0) const {
    return testing_support::WriteSparseFile(PathOf(name), bytes, offset);
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
