#pragma once

#include <string>
#include <string_view>

namespace webtessl {

// tessel holds every path the POSIX way: absolute, from "/", with "/" between names. On Windows a
// path "C:\a\b" is held as "/C:/a/b". These conversions stand at the edges: settings, queries,
// answers and the file system. Thread-safe: no state.

// The held form of a path of the system (unchanged here).
std::string FromNativePath(std::string_view path);

// The system's form of a held path (unchanged here).
std::string ToNativePath(std::string_view path);

// The user's home folder as the system writes it: $HOME (on Windows %USERPROFILE%); "/" when
// unset (on Windows the empty text).
std::string HomeFolder();

}  // namespace webtessl
