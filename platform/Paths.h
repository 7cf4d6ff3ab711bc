#pragma once

#include <string>
#include <string_view>

namespace webtessl {

// The folders and paths the program asks of the platform. All functions are thread-safe.

// The separator of folders in a path: "/" here, "\" on Windows.
extern const char kPathDelimiter;
// What a program file's name ends in: nothing here, ".exe" on Windows.
extern const char kExecutableSuffix[];

// The user's application-data folder, without a trailing delimiter: $XDG_CONFIG_HOME when it
// names an absolute folder, else $HOME/.config. The folder is created when absent (its parents
// too); a failure to create it is not reported, reads below it then find nothing. On Windows:
// the user's roaming application-data folder, in the system code page.
std::string AppDataFolder();

// The full path of the running program file.
std::string ProgramFilePath();

// The folder part of a path, with its trailing delimiter (on Windows also a drive colon); empty
// when the path has no folder.
std::string ExtractFilePath(std::string_view path);

// True when the path names its place without reference to a current folder: it begins with "/"
// here; on Windows with a drive letter, a colon and a delimiter, or with two delimiters (a
// network share).
bool IsAbsolutePath(std::string_view path);

}  // namespace webtessl
