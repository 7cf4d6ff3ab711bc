#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tessel/EntryFacts.h"

namespace webtessl {

// What tells a folder from every other on the machine: a folder seen twice in a scan (through a
// bound mount) has the same identity at both places.
struct TFolderIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;

  bool operator==(const TFolderIdentity&) const = default;
};

// One visible entry of a folder; its name lies in the listing's names.
struct TListedEntry {
  uint32_t nameAt = 0;
  uint32_t nameLength = 0;
  bool isDirectory = false;  // a real folder; a symbolic link to one counts as a file
  TEntryFacts facts;         // a symbolic link's own, not its target's; none in a names-only listing
};

// A folder's visible entries and the identity of the folder itself. The names lie one after
// another in one string, so that a listing costs two allocations however many entries it has.
struct TFolderListing {
  TFolderIdentity identity;
  std::vector<TListedEntry> entries;
  std::string names;
  bool hasFacts = true;  // whether the entries carry their sizes and dates

  std::string_view NameOf(const TListedEntry& entry) const {
    return std::string_view(names).substr(entry.nameAt, entry.nameLength);
  }
  void Append(std::string_view name, bool isDirectory, const TEntryFacts& facts = {}) {
    entries.push_back({static_cast<uint32_t>(names.size()), static_cast<uint32_t>(name.size()),
                       isDirectory, facts});
    names.append(name);
  }
};

// What a listing reads of each entry. Names and kinds come with the folder's own entries; the
// sizes and dates take a look at every entry, which costs most of a listing on Linux: a first
// scan lists names alone and reads the facts afterwards. A system whose listing carries the
// facts anyway (Windows) gives them either way.
enum class TListingDetail { NamesAndFacts, NamesOnly };

// Reads the folder at path: its entries except "." and ".." and hidden ones (names beginning
// with "."), with their facts read relative to the open folder unless only names are asked for.
// A symbolic link at path is not followed unless followLink is set (for the roots the user
// named). The identity is that of the folder opened. Nothing when the folder cannot be opened
// (gone, not a folder, no permission). Thread-safe.
std::optional<TFolderListing> ListFolder(const std::string& path, bool followLink,
                                         TListingDetail detail = TListingDetail::NamesAndFacts);

// The facts of the entry at path (a symbolic link's own), or nothing when it is gone or cannot
// be read. Thread-safe.
std::optional<TEntryFacts> ReadFacts(const std::string& path);

// Whether a name is left out of the index: hidden names.
bool IsHiddenName(std::string_view name);

}  // namespace webtessl
