#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tessel/EntryFacts.h"

namespace webtessl {

// One visible entry of a folder.
struct TListedEntry {
  std::string name;
  bool isDirectory = false;  // a real folder; a symbolic link to one counts as a file
  TEntryFacts facts;         // a symbolic link's own, not its target's
};

// A folder's visible entries and the identity of the folder itself.
struct TFolderListing {
  uint64_t device = 0;
  uint64_t inode = 0;
  std::vector<TListedEntry> entries;
};

// Reads the folder at path: its entries except "." and ".." and hidden ones (names beginning
// with "."), with their facts read relative to the open folder. A symbolic link at path is not followed unless followLink is set (for the roots the
// user named). Nothing when the folder cannot be opened (gone, not a folder, no permission).
// Thread-safe.
std::optional<TFolderListing> ListFolder(const std::string& path, bool followLink);

// The facts of the entry at path (a symbolic link's own), or nothing when it is gone or cannot
// be read. Thread-safe.
std::optional<TListedEntry> ReadEntry(const std::string& path);

// Whether a name is left out of the index: hidden names.
bool IsHiddenName(std::string_view name);

}  // namespace webtessl
