#pragma once

#include <string>
#include <string_view>

namespace webtessl {

// The generated page that lists a folder of the web root: a link up (except for "/"), then the
// sub-folders, then the files with size and last-write time, each group sorted by name without
// regard to case. Names and the URI are escaped for HTML, and links are percent-encoded, so any
// name shows and links as itself. Thread-safe: every call reads the folder anew.

// The page for the folder (a path ending with "/") requested under the raw URI; every line ends
// with CR LF.
std::string DirectoryListingPage(std::string_view rawUri, std::string_view folder);

}  // namespace webtessl
