#pragma once

#include <cstdint>

namespace webtessl {

// Every section and key of the configuration file, with its default. The "server" keys are read
// once at start-up; the "settings" keys are read by the handlers on every request.

constexpr char kConfigFileFolder[] = "WebTessl";
constexpr char kConfigFileName[] = "config.ini";

constexpr char kSectionServer[] = "server";
constexpr char kKeyPort[] = "port";
constexpr int32_t kDefaultPort = 20800;
// The address to listen on; empty (the default) listens on every address of the machine.
constexpr char kKeyAddress[] = "address";
// Host names besides IP literals, "localhost" and this machine's own names that requests may
// carry in "Host" (list, empty by default); others are refused against DNS rebinding.
constexpr char kKeyHosts[] = "hosts";
// Connection limits: in all (default kDefaultMaxConnections, and never more than the descriptor
// limit allows) and from one remote address.
constexpr char kKeyMaxConnections[] = "maxconnections";
constexpr int32_t kDefaultMaxConnections = 512;
constexpr char kKeyMaxConnectionsPerAddress[] = "maxconnectionsperaddress";
constexpr int32_t kDefaultMaxConnectionsPerAddress = 64;
// Optional HTTP authentication: the user name, and the password's hash line (made by the
// program's -hashpassword switch; never the password itself). Both empty by default.
constexpr char kKeyUserName[] = "username";
constexpr char kKeyPassword[] = "password";
// Times in seconds: the whole request head from its first byte, the wait for the next request
// on a kept connection, and a send that gets nothing out.
constexpr char kKeyHeadTimeout[] = "headtimeout";
constexpr int32_t kDefaultHeadTimeout = 30;
constexpr char kKeyIdleTimeout[] = "idletimeout";
constexpr int32_t kDefaultIdleTimeout = 120;
constexpr char kKeySendTimeout[] = "sendtimeout";
constexpr int32_t kDefaultSendTimeout = 60;

constexpr char kSectionSettings[] = "settings";
constexpr char kKeyDirs[] = "dirs";                // list, empty by default
constexpr char kKeyExcludeDirs[] = "excludedirs";  // list, empty by default
constexpr char kKeyDefaultPageSize[] = "defaultpagesize";
constexpr int32_t kDefaultPageSize = 25;
constexpr char kKeyEnableDownload[] = "enabledownload";
constexpr bool kDefaultEnableDownload = true;

}  // namespace webtessl
