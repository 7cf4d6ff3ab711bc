// The Win32 backend's registry reader, on a key of the current user's real registry.

#include <gtest/gtest.h>

#include <windows.h>

#include "platform/Registry.h"

namespace webtessl {
namespace {

TEST(Win32RegistryTest, ReadsTextNumbersAndOtherValues) {
  const char* keyPath = "Software\\WebTesslWin32Test";
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                              nullptr),
            ERROR_SUCCESS);
  const char folder[] = "C:\\Program Files\\Tessel";
  ::RegSetValueExA(key, "InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder),
                   sizeof folder);
  const DWORD number = 42;
  ::RegSetValueExA(key, "Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof number);
  ::RegSetValueExA(key, "Blob", 0, REG_BINARY, reinterpret_cast<const BYTE*>("ab"), 2);
  ::RegCloseKey(key);

  const auto opened = TRegistryKey::OpenCurrentUser(keyPath);
  ASSERT_TRUE(opened);
  const auto path = opened->Value("installpath");
  ASSERT_TRUE(path);
  EXPECT_EQ(path->kind, TRegistryValue::TKind::Text);
  EXPECT_EQ(path->text, folder);
  ASSERT_TRUE(opened->Value("Count"));
  EXPECT_EQ(opened->Value("Count")->kind, TRegistryValue::TKind::Number);
  EXPECT_EQ(opened->Value("Count")->number, 42u);
  EXPECT_EQ(opened->Value("Blob")->kind, TRegistryValue::TKind::Other);
  EXPECT_FALSE(opened->Value("Missing"));
  ::RegDeleteKeyA(HKEY_CURRENT_USER, keyPath);
  EXPECT_FALSE(TRegistryKey::OpenCurrentUser(keyPath));
}

}  // namespace
}  // namespace webtessl
