#include "config/FolderList.h"

#include <algorithm>
#include <set>

#include "common/ControlEscape.h"
#include "common/Mutex.h"
#include "config/IniFile.h"
#include "log/ConsoleLog.h"
#include "platform/Paths.h"

namespace webtessl {
namespace {

constexpr const char* kLogRelativePiece =
    "[%s] %s: \"%s\" is not an absolute path and is ignored (put a folder name with blanks or "
    "commas in double quotes)";
// Pieces said already; beyond this many the console hears of no more, and memory stays bounded.
constexpr std::size_t kMostPiecesRemembered = 256;

// The pieces said so far. Thread-safe.
class TSaidPieces {
 public:
  // True the first time a piece is seen.
  bool FirstSighting(const std::string& piece) {
    const TMutexLock guard(lock_);
    if (said_.size() >= kMostPiecesRemembered) return false;
    return said_.insert(piece).second;
  }

 private:
  TMutex lock_;
  std::set<std::string> said_ GUARDED_BY(lock_);
};

bool FirstSighting(const std::string& piece) {
  static TSaidPieces said;
  return said.FirstSighting(piece);
}

}  // namespace

std::vector<std::string> ReadFolderList(const TIniFile& iniFile, std::string_view section,
                                        std::string_view key) {
  std::vector<std::string> folders = iniFile.ReadList(section, key);
  const auto relative = [&](const std::string& piece) {
    if (IsAbsolutePath(piece)) return false;
    if (!piece.empty() && FirstSighting(std::string(key) + '\n' + piece)) {
      ConsoleLogFmt(kLogRelativePiece, std::string(section).c_str(), std::string(key).c_str(),
                    EscapeControlBytes(piece).c_str());
    }
    return true;
  };
  folders.erase(std::remove_if(folders.begin(), folders.end(), relative), folders.end());
  return folders;
}

}  // namespace webtessl
