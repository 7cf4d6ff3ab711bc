#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/DownloadOpening.h"
#include "http/RequestHandlerIntf.h"

namespace webtessl {

class TIniFile;

// Lets a browser fetch a file that a search found, as an attachment: it claims requests whose
// URI path is exactly "/download" while the configuration enables downloads, and serves the file
// named by the "file" query parameter unless the sharing rule refuses it. With "inline=1" a file
// of a type the browser shows safely is shown instead (see DownloadAnswer.h). The settings are read
// from the configuration file at every request, so edits apply without a restart. Thread-safe:
// after SetIniFile the handler only reads, and each request opens its own file.
class TDownloadHandler final : public IRequestHandler {
 public:
  // Hands over the configuration reader, which must outlive the handler. Before activation.
  void SetIniFile(const TIniFile& iniFile);

  // The "enabledownload" setting, read now (true without a configuration reader).
  bool IsDownloadEnabled() const;

  bool HandleRequest(std::unique_ptr<THttpRequest>& request,
                     std::unique_ptr<THttpRequest>& response) override;
  std::string GetName() const override;

  // Answers a claimed request: 200 with the file as attachment, 404 when the file is missing,
  // no regular file or refused, 401 when it cannot be opened.
  void ServeDownload(const THttpRequest& request, THttpRequest& response) const;

  // Whether the decoded path must not be downloaded: see AllowedDownloadPath, with "dirs" and
  // "excludedirs" read from the configuration now.
  bool IsDownloadRefused(const std::string& path) const;

 private:
  // The settings one request uses, read together with one reading of the file.
  struct TSettings {
    bool enabled = true;                       // "enabledownload"
    std::vector<std::string> searchFolders;    // "dirs"
    std::vector<std::string> excludedFolders;  // "excludedirs"
  };
  TSettings ReadSettings() const;
  // ServeDownload with the file judged by these settings.
  static void Serve(const THttpRequest& request, THttpRequest& response,
                    const TSettings& settings);

  const TIniFile* iniFile_ = nullptr;
};

}  // namespace webtessl
