#include "config/IniFile.h"

#include <algorithm>

#include "common/CommaText.h"
#include "common/IntegerText.h"
#include "config/SnapshotCache.h"
#include "platform/PrivateProfile.h"

namespace webtessl {
namespace {

constexpr char kListSeparator = ';';
constexpr char kCommaTextDelimiter = ',';

}  // namespace

TIniFile::TIniFile(std::string fileName)
    : TIniFile(std::move(fileName), TSnapshotCache::kSettledSeconds) {}

TIniFile::TIniFile(std::string fileName, int64_t settledSeconds)
    : fileName_(std::move(fileName)),
      snapshots_(std::make_shared<TSnapshotCache>(fileName_, settledSeconds)) {}

TIniFile::TIniFile(std::string fileName, std::shared_ptr<const TProfileSnapshot> snapshot)
    : fileName_(std::move(fileName)), snapshot_(std::move(snapshot)) {}

TIniFile TIniFile::Snapshot() const {
  if (!snapshots_) return TIniFile(fileName_, std::make_shared<const TProfileSnapshot>(fileName_));
  return TIniFile(fileName_, snapshots_->Current());
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view def) const {
  if (snapshot_) return snapshot_->ReadString(section, key, def);
  return ReadProfileString(section, key, def, fileName_);
}

int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key, int32_t def) const {
  // The integer text rule takes "0x" as a hexadecimal prefix like "$".
  return StrToIntDef(ReadString(section, key, ""), def);
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
