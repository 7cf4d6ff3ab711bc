#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace webtessl {

class TIniFile;

// The folders of a folder list of the configuration ("dirs", "excludedirs"): only absolute
// paths. A relative piece (most often part of a folder name that held a blank or a comma and
// was split there) would be resolved against whatever the working folder is; it is dropped, and
// said on the console the first time it is seen. Thread-safe.
std::vector<std::string> ReadFolderList(const TIniFile& iniFile, std::string_view section,
                                        std::string_view key);

}  // namespace webtessl
