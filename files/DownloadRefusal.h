#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace webtessl {

// The rule that keeps downloads to the folders the operator shares. Thread-safe: no state; every
// call asks the file system anew.

// The path with every symbolic link, "." and ".." resolved, when the file may be downloaded:
// nothing when it does not exist, when "dirs" is given and it lies outside every one of them,
// when it lies inside an "excludedirs" folder, or when the path as given or as resolved has a
// hidden segment (one beginning with "."). Folders of either list are resolved the same way; one
// that does not exist holds nothing. Empty items are ignored.
std::optional<std::string> AllowedDownloadPath(std::string_view path,
                                               const std::vector<std::string>& dirs,
                                               const std::vector<std::string>& excludeDirs);

// The same rule for a file already opened: `realPath` is the opened file's own path (links
// resolved), `requested` the path as given. What is served is judged by this, so that nobody can
// change what a checked path names between the check and the open.
bool IsRealPathAllowed(std::string_view requested, const std::string& realPath,
                       const std::vector<std::string>& dirs,
                       const std::vector<std::string>& excludeDirs);

}  // namespace webtessl
