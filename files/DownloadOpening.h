#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileStream.h"

namespace webtessl {

// How opening a file for a download ended: the open file, or the status that refuses it.
struct TDownloadOpening {
  std::unique_ptr<TFileStream> file;
  int32_t status = 0;  // 200 with the file; 404 missing, no regular file or refused; 401 unreadable
};

// Opens the file a download names, first and without following links on the way (below a
// "dirs" folder when the path lies in one, else below the root of the path), then judges what
// was opened by its own real path with IsRealPathAllowed. A file that is swapped for a link or
// moved meanwhile is refused or judged as what it has become: never is a file outside the scope
// served. Thread-safe.
TDownloadOpening OpenDownload(std::string_view path, const std::vector<std::string>& dirs,
                              const std::vector<std::string>& excludeDirs);

}  // namespace webtessl
