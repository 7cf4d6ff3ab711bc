#include "files/downloadHandler.h"

#include <optional>
#include <string_view>

#include "common/QueryValue.h"
#include "config/ConfigKeys.h"
#include "config/FolderList.h"
#include "config/IniFile.h"
#include "files/DownloadAnswer.h"
#include "files/DownloadOpening.h"
#include "files/DownloadRefusal.h"
#include "files/PathText.h"
#include "http/HttpRequest.h"
#include "http/StatusCodes.h"
#include "http/UrlText.h"
#include "platform/FileStream.h"
#include "platform/FileSystem.h"

namespace webtessl {
namespace {

constexpr const char* kHandlerName = "DownloadHandler";
constexpr std::string_view kDownloadPath = "/download";
constexpr const char* kFileParam = "file";
constexpr const char* kContentLengthLine = "Content-length:";
constexpr const char* kInlineParam = "inline";
constexpr std::string_view kInlineWanted = "1";

}  // namespace

void TDownloadHandler::SetIniFile(const TIniFile& iniFile) {
  iniFile_ = &iniFile;
}

TDownloadHandler::TSettings TDownloadHandler::ReadSettings() const {
  if (iniFile_ == nullptr) return {kDefaultEnableDownload, {}, {}};
  const TIniFile file = iniFile_->Snapshot();
  return {file.ReadBool(kSectionSettings, kKeyEnableDownload, kDefaultEnableDownload),
          ReadFolderList(file, kSectionSettings, kKeyDirs),
          ReadFolderList(file, kSectionSettings, kKeyExcludeDirs)};
}

bool TDownloadHandler::IsDownloadEnabled() const {
  return ReadSettings().enabled;
}

// The path is compared before the settings are read: the answer is the same either way, and the
// requests for other paths (every static file) need no read of the configuration file.
bool TDownloadHandler::HandleRequest(std::unique_ptr<THttpRequest>& request,
                                     std::unique_ptr<THttpRequest>& response) {
  TUrlParts parts;
  SplitUrl(request->URI, parts);
  if (parts.path != kDownloadPath) return false;
  const TSettings settings = ReadSettings();
  if (!settings.enabled) return false;
  Serve(*request, *response, settings);
  return true;
}

std::string TDownloadHandler::GetName() const {
  return kHandlerName;
}

void TDownloadHandler::ServeDownload(const THttpRequest& request, THttpRequest& response) const {
  Serve(request, response, ReadSettings());
}

void TDownloadHandler::Serve(const THttpRequest& request, THttpRequest& response,
                             const TSettings& settings) {
  const std::string path = DecodeQueryValue(request.ParamValue(kFileParam));
  TDownloadOpening opened =
      webtessl::OpenDownload(path, settings.searchFolders, settings.excludedFolders);
  if (!opened.file) {
    response.SetStatus(opened.status);
    return;
  }
  std::unique_ptr<TFileStream> file = std::move(opened.file);
  response.Headers.Add(kContentLengthLine + std::to_string(file->Facts().size));
  SetDownloadHeaders(response, ExtractFileName(path),
                     request.ParamValue(kInlineParam) == kInlineWanted);
  response.ContentStream = std::move(file);
  response.SetStatus(kStatusOk);
}

bool TDownloadHandler::IsDownloadRefused(const std::string& path) const {
  const TSettings settings = ReadSettings();
  return !AllowedDownloadPath(path, settings.searchFolders, settings.excludedFolders).has_value();
}

}  // namespace webtessl
