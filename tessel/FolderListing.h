#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace webtessl {

// One visible entry of a folder.
struct TListedEntry {
  std::string name;
  bool isDirectory = false;  // a real folder; a symbolic link to one counts as a file
};

// A folder's visible entries and the identity of the folder itself.
struct TFolderListing {
  uint64_t device = 0;
  uint64_t inode = 0;
  std::vector<TListedEntry> entries;
};

// Reads the folder at path: its entries except "." and ".." and hidden ones (names beginning
// with "."). A symbolic link at path is not followed unless followLink is set (for the roots the
// user named). Nothing when the folder cannot be opened (gone, not a folder, no permission).
// Thread-safe.
std::optional<TFolderListing> ListFolder(const std::string& path, bool followLink);

// Whether a name is left out of the index: hidden names.
bool IsHiddenName(std::string_view name);

}  // namespace webtessl
