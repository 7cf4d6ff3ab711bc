#pragma once

#include <cstdint>
#include <vector>

namespace webtessl {

class TNameIndex;

// The rank of every live entry in the order of full paths compared byte by byte (the order of
// std::string's operator<), indexed by entry id. Computed by a walk of the folders with the names
// of each folder sorted, where a folder's own entry and the entries under it are placed apart: the
// folder sorts by its name, the entries under it by its name followed by "/". Takes time about
// n log n and transient memory of a few words per entry. Thread-safe for distinct indexes.
std::vector<uint32_t> ComputePathRanks(const TNameIndex& index);

}  // namespace webtessl
