#pragma once

#include <string>
#include <string_view>

namespace webtessl {

// The folders and paths the program asks of the platform. All functions are thread-safe.

constexpr char kPathDelimiter = '/';

// The user's application-data folder, without a trailing delimiter: $XDG_CONFIG_HOME when it
// names an absolute folder, else $HOME/.config. The folder is created when absent (its parents
// too); a failure to create it is not reported, reads below it then find nothing.
std::string AppDataFolder();

// The full path of the running program file.
std::string ProgramFilePath();

// The folder part of a path, with its trailing delimiter; empty when the path has no folder.
std::string ExtractFilePath(std::string_view path);

}  // namespace webtessl
