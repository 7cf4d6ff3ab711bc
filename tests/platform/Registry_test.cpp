#include "platform/Registry.h"

#include <gtest/gtest.h>

#include "tests/platform/TestFolder.h"

namespace webtessl {
namespace {

using testing_desktop::TTestFolder;
using TKind = TRegistryValue::TKind;

constexpr char kExport[] =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Nalo\\Other]\r\n"
    "\"InstallPath\"=\"/elsewhere\"\r\n"
    "\r\n"
    "[hkey_current_user\\software\\NALO\\tessel]\r\n"
    "\"InstallPath\"=\"/opt/with \\\"quotes\\\" and \\\\ back\"\r\n"
    "\"Name\"=dword:0000002a\r\n"
    "\"Blob\"=hex:01,02,\\\r\n"
    "  03,04\r\n"
    "\"Gone\"=-\r\n"
    "\"After\"=\"still read\"\r\n"
    "@=\"default\"\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Nalo\\Tessel\\Sub]\r\n"
    "\"Deeper\"=\"x\"\r\n";

TEST(RegistryTest, ValuesOfTheKeyAreReadWithTheirTypes) {
  TTestFolder folder;
  folder.WriteRegistry(kExport);
  const auto key = TRegistryKey::OpenCurrentUser("Software\\Nalo\\Tessel");
  ASSERT_TRUE(key.has_value());

  const auto path = key->Value("installpath");
  ASSERT_TRUE(path.has_value());
  EXPECT_EQ(path->kind, TKind::Text);
  EXPECT_EQ(path->text, "/opt/with \"quotes\" and \\ back");

  const auto name = key->Value("Name");
  ASSERT_TRUE(name.has_value());
  EXPECT_EQ(name->kind, TKind::Number);
  EXPECT_EQ(name->number, 42u);

  ASSERT_TRUE(key->Value("Blob").has_value());
  EXPECT_EQ(key->Value("Blob")->kind, TKind::Other);
  EXPECT_EQ(key->Value("After")->text, "still read");
  EXPECT_EQ(key->Value("")->text, "default");
  EXPECT_FALSE(key->Value("Gone").has_value());
  EXPECT_FALSE(key->Value("Deeper").has_value());
  EXPECT_FALSE(key->Value("Missing").has_value());
}

TEST(RegistryTest, AbsentKeyOrFileOpensNothing) {
  TTestFolder folder;
  EXPECT_FALSE(TRegistryKey::OpenCurrentUser("Software\\Nalo\\Tessel").has_value());
  folder.WriteRegistry(kExport);
  EXPECT_FALSE(TRegistryKey::OpenCurrentUser("Software\\Nalo").has_value());
  EXPECT_FALSE(TRegistryKey::OpenCurrentUser("Software\\Nalo\\Tes").has_value());
  EXPECT_TRUE(TRegistryKey::OpenCurrentUser("Software\\Nalo\\Tessel\\Sub").has_value());
  EXPECT_EQ(CurrentUserRegistryFile(), folder.Root() + "/config/hkcu.reg");
}

}  // namespace
}  // namespace webtessl
