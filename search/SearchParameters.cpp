#include "search/SearchParameters.h"

#include <algorithm>

#include "common/IntegerText.h"
#include "common/QueryValue.h"
#include "config/ConfigKeys.h"
#include "config/FolderList.h"
#include "config/IniFile.h"
#include "http/HttpRequest.h"
#include "json/JsonWriter.h"
#include "json/superobject.h"
#include "protocol/DesktopProtocol.h"
#include "text/uEncoding.h"

namespace webtessl {
namespace {

constexpr int32_t kDefaultPageStart = 0;
constexpr int32_t kDefaultTimeoutMs = 1000;
constexpr uint32_t kTimeoutMask = 0xFFFF;
// The only raw value that switches a flag on, compared exactly.
constexpr char kFlagOn[] = "on";
constexpr char kJsonFormat[] = "json";
constexpr char kFlagOff[] = "off";
constexpr std::string_view kSortKeys[] = {"name", "path", "size", "date"};
// What the desktop application expects between the folders of a list.
constexpr char kFolderSeparator = ';';
// The members a query may hold: twelve always, the sort, its direction and the folder within.
constexpr size_t kQueryMembers = 15;

std::string JoinFolders(const std::vector<std::string>& folders) {
  std::string joined;
  for (size_t index = 0; index < folders.size(); ++index) {
    if (index > 0) joined += kFolderSeparator;
    joined += folders[index];
  }
  return joined;
}

// Texts typed by the user (the term, a folder) arrive as UTF-8; bytes that are not valid UTF-8
// make the text empty.
std::string DecodeUserText(std::string_view raw) {
  return ToSystemCodePage(DecodeUtf8(DecodeQueryValue(raw)));
}

bool FlagOn(const THttpRequest& request, std::string_view name) {
  return request.ParamValue(name) == kFlagOn;
}

std::string SortKey(std::string_view raw) {
  for (const std::string_view key : kSortKeys) {
    if (raw == key) return std::string(key);
  }
  return {};
}

std::optional<bool> Direction(std::string_view raw) {
  if (raw == kFlagOn) return true;
  if (raw == kFlagOff) return false;
  return std::nullopt;
}

}  // namespace

TSearchSettings LoadSearchSettings(const TIniFile* iniFile) {
  TSearchSettings settings;
  settings.defaultPageSize = kDefaultPageSize;
  settings.downloadEnabled = kDefaultEnableDownload;
  if (iniFile == nullptr) return settings;
  const TIniFile file = iniFile->Snapshot();
  settings.searchFolders = ReadFolderList(file, kSectionSettings, kKeyDirs);
  settings.excludedFolders = ReadFolderList(file, kSectionSettings, kKeyExcludeDirs);
  settings.defaultPageSize =
      file.ReadInteger(kSectionSettings, kKeyDefaultPageSize, kDefaultPageSize);
  settings.downloadEnabled =
      file.ReadBool(kSectionSettings, kKeyEnableDownload, kDefaultEnableDownload);
  return settings;
}

TSearchParameters ReadSearchParameters(const THttpRequest& request,
                                       const TSearchSettings& settings) {
  TSearchParameters parameters;
  parameters.pageStart = StrToIntDef(request.ParamValue("from"), kDefaultPageStart);
  parameters.pageSize = StrToIntDef(request.ParamValue("count"), settings.defaultPageSize);
  if (parameters.pageSize < 1) parameters.pageSize = kFallbackPageSize;
  parameters.pageSize = std::min(parameters.pageSize, kMaxPageSize);
  parameters.filter = DecodeQueryValue(request.ParamValue("filter"));
  parameters.anyWord = FlagOn(request, "anyword");
  parameters.wholeWords = FlagOn(request, "wholewords");
  parameters.caseSensitive = FlagOn(request, "casesensitive");
  parameters.includeDirs = FlagOn(request, "includedirs");
  parameters.includeFiles = FlagOn(request, "includefiles");
  parameters.timeoutMs = static_cast<uint16_t>(
      static_cast<uint32_t>(StrToIntDef(request.ParamValue("timeout"), kDefaultTimeoutMs)) &
      kTimeoutMask);
  parameters.term = DecodeUserText(request.ParamValue("term"));
  parameters.json = request.ParamValue("format") == kJsonFormat;
  parameters.sort = SortKey(request.ParamValue("sort"));
  parameters.ascending = Direction(request.ParamValue("ascending"));
  parameters.within = DecodeUserText(request.ParamValue("path"));
  return parameters;
}

std::string SearchQueryText(const TSearchParameters& parameters, const TSearchSettings& settings) {
  const ISuperObject query = ParseJsonText(u"{}");
  query->AsObject()->Reserve(kQueryMembers);
  query->SetMemberInt(kCmdMember, kSearchCommand);
  query->SetMemberText(kExcludeDirMember, FromSystemCodePage(JoinFolders(settings.excludedFolders)));
  query->SetMemberText(kQueryStrMember, FromSystemCodePage(parameters.term));
  query->SetMemberText(kQueryFilterMember, FromSystemCodePage(parameters.filter));
  query->SetMemberText(kQueryDirMember, FromSystemCodePage(JoinFolders(settings.searchFolders)));
  query->SetMemberInt(kQueryFromMember, parameters.pageStart);
  query->SetMemberInt(kQueryCountMember, parameters.pageSize);
  query->SetMemberBool(kSpaceOrMember, parameters.anyWord);
  query->SetMemberBool(kWholeWordsMember, parameters.wholeWords);
  query->SetMemberBool(kIncludeDirMember, parameters.includeDirs);
  query->SetMemberBool(kIncludeFilesMember, parameters.includeFiles);
  query->SetMemberBool(kCaseSensitiveMember, parameters.caseSensitive);
  if (!parameters.sort.empty())
    query->SetMemberText(kSortMember, FromSystemCodePage(parameters.sort));
  if (parameters.ascending) query->SetMemberBool(kSortAscendingMember, *parameters.ascending);
  if (!parameters.within.empty())
    query->SetMemberText(kWithinDirMember, FromSystemCodePage(parameters.within));
  // The escaped form is pure ASCII, which every code page leaves unchanged.
  return EscapedJsonBytes(*query, false);
}

}  // namespace webtessl
