#pragma once

#include <string>
#include <string_view>

#include "tessel/NameIndex.h"

namespace webtessl::testing_tessel {

// Adds a path below a root to the index, with the folders on the way; a trailing "/" makes the
// last name a folder. Returns the last entry.
inline TEntryId AddPath(TNameIndex& index, TEntryId root, std::string_view path) {
  TEntryId folder = root;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('/', start);
    const bool isFolder = end != std::string_view::npos;
    if (!isFolder) end = path.size();
    folder = index.Add(folder, path.substr(start, end - start), isFolder);
    start = end + 1;
  }
  return folder;
}

}  // namespace webtessl::testing_tessel
