#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "files/SmallFileCache.h"
#include "http/RequestHandlerIntf.h"
#include "platform/FileStream.h"

namespace webtessl {

// What a request URI comes to below the web root.
struct TResolvedRequest {
  std::string FilePath;  // the file to serve; for status 302 the redirect location
  std::string BodyText;  // a generated page or the not-found text, served as "text/html"
  int32_t StatusCode = 0;
  std::unique_ptr<TFileStream> File;  // FilePath opened, when the look-up did open it
  std::optional<TCachedFile> Cached;  // FilePath's bytes as kept, when they still hold
};

// Serves the files below the web root, the folder "webroot" beside the program. It claims every
// request, whatever the method: a file, a redirect for a folder URI without its trailing "/", an
// index file, a generated listing (when allowed) or 404 "Not found.". A URI never reaches above
// the web root, and no link inside the root is followed (one could lead out of it); hidden files
// and folders (a segment beginning with ".") are not served. The web root is held open from
// construction on, so that a request costs no look-up of the root's own path (a root folder
// replaced later under the same path is not seen), and the bytes of its small files are kept
// while the files stay as they were (TSmallFileCache). Thread-safe: every other field is fixed
// at construction and each call works on its own strings, so one instance serves all
// connections at once.
class TFileRequestHandler final : public IRequestHandler {
 public:
  // The index files of a folder, in the order they are tried.
  static constexpr std::array<const char*, 4> IndexFileNames = {"index.html", "index.htm",
                                                                "default.htm", "default.html"};

  // Serves the "webroot" folder beside the program, without folder listings.
  TFileRequestHandler();
  // Serves the given folder (a "/" is appended when missing), with or without folder listings.
  TFileRequestHandler(std::string webRoot, bool allowDirectoryListing);

  bool HandleRequest(std::unique_ptr<THttpRequest>& request,
                     std::unique_ptr<THttpRequest>& response) override;
  std::string GetName() const override;

  // Maps the raw request URI (as in the request line, not decoded) to a file, a redirect, a page
  // or a 404. The query string names no file: it is left to the page that reads it (the search
  // page keeps its state there), and a folder's redirect keeps it after the added "/".
  virtual TResolvedRequest ResolveRequest(const std::string& rawUri) const;
  // Replaces the folder path (ending with "/") with its first existing index file; false, and
  // the path unchanged, when it has none.
  virtual bool FindIndexFile(std::string& folderPath) const;
  // The listing page of the folder requested by the raw URI; false when listings are off.
  virtual bool BuildDirectoryListing(const std::string& rawUri, const std::string& folderPath,
                                     std::string& page) const;

  const std::string& WebRoot() const { return webRoot_; }
  bool AllowDirectoryListing() const { return allowDirectoryListing_; }

 private:
  TResolvedRequest ResolveTarget(const std::string& target) const;
  TResolvedRequest ResolveFolder(const std::string& rawUri, const std::string& folderPath) const;
  // The regular file at the path (which begins with the web root), opened below the root
  // without following links; nullptr when there is none.
  std::unique_ptr<TFileStream> OpenInRoot(const std::string& path) const;

  const std::string webRoot_;
  const TOpenFolder rootFolder_;
  const bool allowDirectoryListing_;
  mutable TSmallFileCache smallFiles_;
};

}  // namespace webtessl
