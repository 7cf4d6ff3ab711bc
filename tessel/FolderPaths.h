#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tessel/ChildTable.h"

namespace webtessl {

class TNameIndex;

// Folder paths as the index knows them: absolute, single "/" between names, no trailing "/"
// (except the root folder "/"). Thread-safe (pure functions; ResolveFolder reads the index).

// The path of the system in that form (tessel/NativePath.h); nothing when it is not absolute or
// holds "." or ".." as a name.
std::optional<std::string> NormalizeFolder(std::string_view nativePath);

// Whether a name in the normalized path is hidden (begins with ".").
bool HasHiddenName(std::string_view path);

// Whether path is the folder itself or lies under it (both normalized).
bool IsSameOrUnder(std::string_view path, std::string_view folder);

// The entry of a normalized folder path in the index, or kNoEntry when it is not indexed.
TEntryId ResolveFolder(const TNameIndex& index, std::string_view path);

}  // namespace webtessl
