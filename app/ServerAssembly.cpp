#include "app/ServerAssembly.h"

#include <exception>
#include <string>

#include "config/ConfigKeys.h"
#include "config/IniFile.h"
#include "files/downloadHandler.h"
#include "files/fileRequestHandler.h"
#include "http/httpsrv.h"
#include "search/tesselRequestHandler.h"

namespace webtessl {

TServerAssembly::TServerAssembly(const TIniFile& iniFile) : iniFile_(iniFile) {}

TServerAssembly::~TServerAssembly() {
  // A safety net for paths that did not stop the server; the stop lines may fail to print then.
  try {
    Stop();
  } catch (const std::exception&) {
  }
}

void TServerAssembly::Start() {
  server_ = std::make_unique<THTTPServer>();
  // Every request is offered to the handlers in this order: download, search, file. The file
  // handler claims whatever reaches it, so it stays last.
  auto downloadHandler = std::make_shared<TDownloadHandler>();
  downloadHandler->SetIniFile(iniFile_);
  server_->Handlers.Add(downloadHandler);
  server_->Handlers.Add(NewSearchHandler(iniFile_));
  server_->Handlers.Add(std::make_shared<TFileRequestHandler>());
  server_->SetPort(std::to_string(iniFile_.ReadInteger(kSectionServer, kKeyPort, kDefaultPort)));
  server_->SetActive(true);
}

void TServerAssembly::Stop() {
  if (!server_) return;
  server_->SetActive(false);
  // Destroying the server ends every connection and waits for its worker before it releases
  // the handler list.
  server_.reset();
}

bool TServerAssembly::Running() const {
  return server_ != nullptr;
}

}  // namespace webtessl
