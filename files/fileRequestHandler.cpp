#include "files/fileRequestHandler.h"

#include <string_view>

#include "files/DirectoryListing.h"
#include "files/PathText.h"
#include "http/HttpRequest.h"
#include "http/StatusCodes.h"
#include "http/UrlText.h"
#include "platform/Paths.h"

namespace webtessl {
namespace {

constexpr const char* kHandlerName = "FileServer";
constexpr const char* kWebRootFolder = "webroot";
constexpr const char* kNotFoundText = "Not found.";
constexpr const char* kPageType = "text/html";
constexpr std::string_view kSchemeEnd = "://";
constexpr size_t kLastSchemeEndPosition = 6;  // "://" counts when it starts within the first 7
constexpr std::string_view kCurrentFolderPrefix = "./";

TResolvedRequest NotFound() {
  return {"", kNotFoundText, kStatusNotFound, nullptr};
}

TResolvedRequest FileAnswer(std::string path, std::unique_ptr<TFileStream> file = nullptr) {
  return {std::move(path), "", kStatusOk, std::move(file)};
}

TResolvedRequest RedirectAnswer(std::string location) {
  return {std::move(location), "", kStatusFound, nullptr};
}

TResolvedRequest PageAnswer(std::string page) {
  return {"", std::move(page), kStatusOk, nullptr};
}

bool IsUriSeparator(char c) {
  return c == '/' || c == '\\';
}

// An absolute-form URI (scheme, "://", host, path) comes down to its path without the first "/".
void DropSchemeAndHost(std::string& path) {
  const size_t schemeEnd = path.find(kSchemeEnd);
  if (schemeEnd == std::string::npos || schemeEnd > kLastSchemeEndPosition) return;
  path.erase(0, schemeEnd + kSchemeEnd.size());
  const size_t slash = path.find('/');
  if (slash != std::string::npos) path.erase(0, slash + 1);
}

void DropLeadingSeparators(std::string& path) {
  for (;;) {
    if (!path.empty() && path.front() == kPathDelimiter) {
      path.erase(0, 1);
    } else if (path.starts_with(kCurrentFolderPrefix)) {
      path.erase(0, kCurrentFolderPrefix.size());
    } else {
      return;
    }
  }
}

// The raw URI with its trailing "/": a URI that begins with several separators gets a single
// "/" instead, so the location cannot read as "//host/..." and send the browser elsewhere.
std::string FolderRedirectLocation(const std::string& rawUri) {
  size_t leading = 0;
  while (leading < rawUri.size() && IsUriSeparator(rawUri[leading])) ++leading;
  if (leading < 2) return rawUri + "/";
  return "/" + rawUri.substr(leading) + "/";
}

}  // namespace

TFileRequestHandler::TFileRequestHandler()
    : TFileRequestHandler(ExtractFilePath(ProgramFilePath()) + kWebRootFolder, false) {}

TFileRequestHandler::TFileRequestHandler(std::string webRoot, bool allowDirectoryListing)
    : webRoot_(EnsureTrailingSeparator(webRoot)), allowDirectoryListing_(allowDirectoryListing) {}

bool TFileRequestHandler::HandleRequest(std::unique_ptr<THttpRequest>& request,
                                        std::unique_ptr<THttpRequest>& response) {
  TResolvedRequest resolved = ResolveRequest(request->URI);
  response->SetStatus(resolved.StatusCode);
  if (resolved.StatusCode == kStatusFound) {
    response->Redirect(resolved.FilePath);
  } else if (resolved.File) {
    response->ServeOpenFile(resolved.FilePath, std::move(resolved.File));
  } else if (!resolved.FilePath.empty()) {
    response->ServeFile(resolved.FilePath);
  } else if (!resolved.BodyText.empty()) {
    response->Content = resolved.BodyText;
    response->SetHeader(THttpRequest::kContentType, kPageType);
  }
  return true;
}

std::string TFileRequestHandler::GetName() const {
  return kHandlerName;
}

TResolvedRequest TFileRequestHandler::ResolveRequest(const std::string& rawUri) const {
  const size_t queryStart = rawUri.find('?');
  TResolvedRequest resolved = ResolveTarget(rawUri.substr(0, queryStart));
  if (resolved.StatusCode == kStatusFound && queryStart != std::string::npos) {
    resolved.FilePath += rawUri.substr(queryStart);
  }
  return resolved;
}

TResolvedRequest TFileRequestHandler::ResolveTarget(const std::string& rawUri) const {
  std::string path = UrlDecode(rawUri);
  // A NUL byte would cut the name short on its way to the file system.
  if (path.find('\0') != std::string::npos) return NotFound();
  DropSchemeAndHost(path);
  path = ConvertSeparators(path, kPathDelimiter);
  DropLeadingSeparators(path);
  // Hidden files and folders (".git", ".env") are not part of the site.
  if (!NormalizeRelativePath(path) || HasHiddenSegment(path)) return NotFound();
  const std::string relative = StripTrailingSeparators(path);
  path = webRoot_ + path;

  // The name is opened below the web root without following links, so nothing outside the root
  // is ever reached, and opening it straight away answers most requests with one look-up, which
  // also tells a folder.
  TFileError why = TFileError::None;
  std::unique_ptr<TFileStream> file = TFileStream::OpenBeneath(webRoot_, relative, &why);
  if (file) {
    // A file named with a trailing "/" is no folder.
    return path.back() == kPathDelimiter ? NotFound() : FileAnswer(path, std::move(file));
  }
  if (why == TFileError::IsFolder) return ResolveFolder(rawUri, path);
  // A file in the root that cannot be read is left to the HTTP layer to report.
  if (why == TFileError::AccessDenied && path.back() != kPathDelimiter) return FileAnswer(path);
  return NotFound();
}

TResolvedRequest TFileRequestHandler::ResolveFolder(const std::string& rawUri,
                                                    const std::string& folderPath) const {
  if (rawUri.empty() || !IsUriSeparator(rawUri.back())) {
    return RedirectAnswer(FolderRedirectLocation(rawUri));
  }
  std::string indexPath = EnsureTrailingSeparator(folderPath);
  if (FindIndexFile(indexPath)) {
    if (auto index = OpenInRoot(indexPath)) return FileAnswer(indexPath, std::move(index));
  }
  std::string page;
  if (BuildDirectoryListing(rawUri, folderPath, page)) return PageAnswer(page);
  return NotFound();
}

std::unique_ptr<TFileStream> TFileRequestHandler::OpenInRoot(const std::string& path) const {
  if (!path.starts_with(webRoot_)) return nullptr;
  return TFileStream::OpenBeneath(webRoot_, std::string_view(path).substr(webRoot_.size()));
}

bool TFileRequestHandler::FindIndexFile(std::string& folderPath) const {
  for (const char* name : IndexFileNames) {
    const std::string candidate = folderPath + name;
    if (OpenInRoot(candidate)) {
      folderPath = candidate;
      return true;
    }
  }
  return false;
}

bool TFileRequestHandler::BuildDirectoryListing(const std::string& rawUri,
                                                const std::string& folderPath,
                                                std::string& page) const {
  if (!allowDirectoryListing_) return false;
  page = DirectoryListingPage(rawUri, EnsureTrailingSeparator(folderPath));
  return true;
}

}  // namespace webtessl
