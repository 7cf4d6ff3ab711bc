#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace webtessl::bench {

// The plan of a reproducible file tree that looks like a user's home folder: nested folders
// ("Projects", "src", "Photos 2019" ...), files named like documents, photos and source files,
// a few names in other scripts (Latin accents, Greek, Cyrillic, Japanese), and a handful of files
// carrying a word that occurs nowhere else (kRareWord). The same seed and size give the same
// plan, byte for byte, on every machine.

// The word that only a few file names carry (about 12 per million entries).
constexpr char kRareWord[] = "quetzal";

// One folder of the plan. Folder 0 is the root, which the plan does not count as an entry; every
// other folder's parent comes before it, so creating folders in plan order always finds the
// parent in place. Names are unique among the entries of one folder.
struct TPlannedFolder {
  size_t parent = 0;
  std::string name;
  std::vector<std::string> files;
};

// Plans `entries` files and folders below a root (about one in ten a folder).
std::vector<TPlannedFolder> PlanTree(uint64_t seed, size_t entries);

}  // namespace webtessl::bench
