#include "files/downloadHandler.h"

#include <optional>
#include <string_view>

#include "common/QueryValue.h"
#include "config/ConfigKeys.h"
#include "config/IniFile.h"
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
constexpr const char* kDispositionLine = "Content-disposition: attachment; filename=";
constexpr char kControlReplacement = '_';
constexpr char kDelete = 0x7F;

// The file name with every control character replaced, so that it cannot end the header line
// it is written into or start another one.
std::string HeaderSafeName(std::string name) {
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == kDelete) c = kControlReplacement;
  }
  return name;
}

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
  const std::optional<std::string> allowed = AllowedPath(path);
  if (!allowed) {
    response.SetStatus(kStatusNotFound);
    return;
  }
  // The resolved path is opened, the one the sharing rule has just approved; what is sent and
  // the length announced both come from the open file.
  std::unique_ptr<TFileStream> file = TFileStream::Open(*allowed);
  if (!file) {
    const std::optional<TFileFacts> facts = FileFacts(*allowed);
    const bool unreadable = facts && facts->kind == TFileKind::File;
    response.SetStatus(unreadable ? kStatusUnauthorized : kStatusNotFound);
    return;
  }
  response.Headers.Add(kContentLengthLine + std::to_string(file->Facts().size));
  response.Headers.Add(kDispositionLine + HeaderSafeName(ExtractFileName(path)));
  response.ContentStream = std::move(file);
  response.SetStatus(kStatusOk);
}

bool TDownloadHandler::IsDownloadRefused(const std::string& path) const {
  return !AllowedPath(path).has_value();
}

std::optional<std::string> TDownloadHandler::AllowedPath(const std::string& path) const {
  if (iniFile_ == nullptr) return AllowedDownloadPath(path, {}, {});
  return AllowedDownloadPath(path, iniFile_->ReadList(kSectionSettings, kKeyDirs),
                             iniFile_->ReadList(kSectionSettings, kKeyExcludeDirs));
}

}  // namespace webtessl
