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

bool TDownloadHandler::IsDownloadEnabled() const {
  if (iniFile_ == nullptr) return kDefaultEnableDownload;
  return iniFile_->ReadBool(kSectionSettings, kKeyEnableDownload, kDefaultEnableDownload);
}

// The path is compared before the setting is read: the answer is the same either way, and the
// requests for other paths (every static file) need no read of the configuration file.
bool TDownloadHandler::HandleRequest(std::unique_ptr<THttpRequest>& request,
                                     std::unique_ptr<THttpRequest>& response) {
  TUrlParts parts;
  SplitUrl(request->URI, parts);
  if (parts.path != kDownloadPath || !IsDownloadEnabled()) return false;
  ServeDownload(*request, *response);
  return true;
}

std::string TDownloadHandler::GetName() const {
  return kHandlerName;
}

void TDownloadHandler::ServeDownload(const THttpRequest& request, THttpRequest& response) const {
  const std::string path = DecodeQueryValue(request.ParamValue(kFileParam));
  TDownloadOpening opened = OpenDownload(path);
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
  return !AllowedPath(path).has_value();
}

TDownloadOpening TDownloadHandler::OpenDownload(const std::string& path) const {
  if (iniFile_ == nullptr) return webtessl::OpenDownload(path, {}, {});
  return webtessl::OpenDownload(path, ReadFolderList(*iniFile_, kSectionSettings, kKeyDirs),
                                ReadFolderList(*iniFile_, kSectionSettings, kKeyExcludeDirs));
}

std::optional<std::string> TDownloadHandler::AllowedPath(const std::string& path) const {
  if (iniFile_ == nullptr) return AllowedDownloadPath(path, {}, {});
  return AllowedDownloadPath(path, ReadFolderList(*iniFile_, kSectionSettings, kKeyDirs),
                             ReadFolderList(*iniFile_, kSectionSettings, kKeyExcludeDirs));
}

}  // namespace webtessl
