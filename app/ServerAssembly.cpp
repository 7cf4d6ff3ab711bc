#include "app/ServerAssembly.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <string>

#include "common/Exception.h"
#include "config/ConfigKeys.h"
#include "config/FolderList.h"
#include "config/IniFile.h"
#include "files/downloadHandler.h"
#include "files/fileRequestHandler.h"
#include "http/httpsrv.h"
#include "log/ConsoleLog.h"
#include "platform/Sockets.h"
#include "search/tesselRequestHandler.h"

namespace webtessl {

namespace {

// As many descriptors as the system lets this process have; each connection needs one, and
// one more while it serves a file.
constexpr int64_t kWantedDescriptors = int64_t{1} << 20;
// Descriptors kept for everything but connections: the listener, the console, files, pipes.
constexpr int64_t kReservedDescriptors = 64;
constexpr int32_t kMillisecondsPerSecond = 1000;

constexpr const char* kLogOpenToAll =
    "Downloads are on: every file this account can read may be downloaded from every address, "
    "without a password. To narrow it, set [server] address=127.0.0.1, or [settings] dirs to "
    "the folders to offer, or [server] username and password, or [settings] enabledownload=0.";

constexpr const char* kHalfAuthenticationMessage =
    "[server] username and password must be set together (the password as the hash line that "
    "webtessl -hashpassword prints)";

// A configuration the server must not start with.
class EConfigError : public Exception {
 public:
  explicit EConfigError(const std::string& message) : Exception("EConfigError", message) {}
};

int32_t ReadSeconds(const TIniFile& iniFile, const char* key, int32_t def) {
  const int32_t seconds = iniFile.ReadInteger(kSectionServer, key, def);
  return seconds > 0 && seconds <= INT32_MAX / kMillisecondsPerSecond
             ? seconds * kMillisecondsPerSecond
             : def * kMillisecondsPerSecond;
}

// The connection limit: as configured, but never so high that the descriptors run out first.
int32_t ConnectionLimit(const TIniFile& iniFile) {
  const int64_t descriptors = RaiseOpenFileLimit(kWantedDescriptors);
  const int64_t room = std::max<int64_t>((descriptors - kReservedDescriptors) / 2, 1);
  const int32_t wanted =
      iniFile.ReadInteger(kSectionServer, kKeyMaxConnections, kDefaultMaxConnections);
  return static_cast<int32_t>(
      std::min<int64_t>(wanted > 0 ? wanted : kDefaultMaxConnections, room));
}

void ApplyServerSettings(const TIniFile& iniFile, THTTPServer& server) {
  server.SetLocalAddress(iniFile.ReadString(kSectionServer, kKeyAddress, ""));
  server.SetMaxConnections(ConnectionLimit(iniFile));
  const int32_t perAddress = iniFile.ReadInteger(kSectionServer, kKeyMaxConnectionsPerAddress,
                                                 kDefaultMaxConnectionsPerAddress);
  server.SetMaxConnectionsPerAddress(perAddress > 0 ? perAddress
                                                    : kDefaultMaxConnectionsPerAddress);
  server.SetHeadTimeout(ReadSeconds(iniFile, kKeyHeadTimeout, kDefaultHeadTimeout));
  server.SetLineTimeout(ReadSeconds(iniFile, kKeyIdleTimeout, kDefaultIdleTimeout));
  server.SetSendTimeout(ReadSeconds(iniFile, kKeySendTimeout, kDefaultSendTimeout));
  server.HostFilter.emplace(LocalHostName(), iniFile.ReadList(kSectionServer, kKeyHosts));
  const std::string userName = iniFile.ReadString(kSectionServer, kKeyUserName, "");
  const std::string passwordHash = iniFile.ReadString(kSectionServer, kKeyPassword, "");
  if (userName.empty() != passwordHash.empty()) {
    // Half of it would leave the server open while the operator believes it closed.
    throw EConfigError(kHalfAuthenticationMessage);
  }
  if (!userName.empty()) server.Authentication.emplace(userName, passwordHash);
}

bool ListensOnEveryAddress(const std::string& address) {
  return address.empty() || address == "0.0.0.0" || address == "::" || address == "::0";
}

// Tells the operator when the defaults leave every readable file open to the whole network.
void SayWhenOpenToAll(const TIniFile& iniFile, const std::string& address) {
  const bool downloads =
      iniFile.ReadBool(kSectionSettings, kKeyEnableDownload, kDefaultEnableDownload);
  const bool password = !iniFile.ReadString(kSectionServer, kKeyUserName, "").empty();
  if (downloads && !password && ListensOnEveryAddress(address) &&
      ReadFolderList(iniFile, kSectionSettings, kKeyDirs).empty()) {
    ConsoleLog(kLogOpenToAll);
  }
}

}  // namespace

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
  ApplyServerSettings(iniFile_, *server_);
  server_->SetActive(true);
  SayWhenOpenToAll(iniFile_, server_->LocalAddress());
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
