#include "app/IniFile.h"

#include <algorithm>

#include "common/CommaText.h"
#include "common/IntegerText.h"
#include "platform/PrivateProfile.h"

namespace webtessl {
namespace {

constexpr char kListSeparator = ';';
constexpr char kCommaTextDelimiter = ',';
constexpr char kHexPrefix = '$';

// "0x1F" and "0X1F" become "$1F", the form the integer conversion knows best.
std::string WithDollarHexPrefix(std::string text) {
  if (text.size() >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.replace(0, 2, 1, kHexPrefix);
  }
  return text;
}

}  // namespace

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view def) const {
  return GetPrivateProfileString(section, key, def, fileName_);
}

int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key, int32_t def) const {
  return StrToIntDef(WithDollarHexPrefix(ReadString(section, key, "")), def);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

std::vector<std::string> TIniFile::ReadList(std::string_view section, std::string_view key) const {
  std::string text = ReadString(section, key, "");
  std::replace(text.begin(), text.end(), kListSeparator, kCommaTextDelimiter);
  return SplitCommaText(text);
}

}  // namespace webtessl
