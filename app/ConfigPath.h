#pragma once

#include <string>

namespace webtessl {

// The default configuration file: the user's application-data folder followed by
// "/WebTessl/config.ini". Creates the application-data folder when absent, never the "WebTessl"
// folder or the file. Thread-safe.
std::string DefaultConfigPath();

}  // namespace webtessl
