#include "app/ProgramInfo.h"

namespace webtessl {
namespace {

std::string HelpText() {
  return "Usage: webtessl [-config PATH]\n"
         "       webtessl --help | --version\n"
         "\n"
         "Serves the WebTessl search page and its searches, downloads and files over HTTP, on\n"
         "port 20800 unless the configuration names another, and starts the search application\n"
         "tessel when a search needs it.\n"
         "\n"
         "  -config PATH  read the configuration from PATH instead of the default file,\n"
         "                ~/.config/WebTessl/config.ini ($XDG_CONFIG_HOME/WebTessl/config.ini\n"
         "                when that is set; %APPDATA%\\WebTessl\\config.ini on Windows)\n"
         "  --help        print this text and exit\n"
         "  --version     print the version and exit\n"
         "\n"
         "Stop the server with Ctrl+W, then Enter, in its console, or with SIGTERM.\n";
}

}  // namespace

std::string InformationText(TInformation information) {
  switch (information) {
    case TInformation::kHelp:
      return HelpText();
    case TInformation::kVersion:
      break;
  }
  return std::string("webtessl ") + kProgramVersion + "\n";
}

}  // namespace webtessl
