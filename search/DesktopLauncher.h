#pragma once

#include <cstdint>
#include <string>

#include "platform/Paths.h"

namespace webtessl {

// The desktop search application's program file, with the platform's executable suffix.
inline const std::string kDesktopProgramName = std::string("tessel") + kExecutableSuffix;
// Where the current user's registry records the application's install folder.
constexpr char kInstallKey[] = "Software\\Nalo\\Tessel";
constexpr char kInstallPathValue[] = "InstallPath";
// What the application is started with.
constexpr char kTrayParameters[] = " -tray";

// Finding and starting the desktop search application. Free functions, thread-safe.

// Starts the application found beside this program, else in the registry's install folder (a
// relative folder taken from the current folder, once), with " -tray", not waiting for it; false
// when no program file was found. The program is started at most once every few seconds, however
// many searches ask; when it was not found or could not start, the console says why, once.
// Raises ERegistryException when the install folder value is not text.
bool LaunchDesktopApp();

// LaunchDesktopApp with the server's own folder given (ending in the path delimiter).
bool LaunchDesktopApp(const std::string& serverFolder);

// Replaces `path` by the install folder from the registry followed by the program name when the
// key exists (an absent value counts as empty); leaves it unchanged otherwise. Raises
// ERegistryException when the value is not text.
void ReadInstallPath(std::string& path);

// Starts the program with the parameters (split at blanks) in the program's own folder. With
// waitMs above 0 waits that long for it and sets exitCode; false when it could not be started
// or did not end in time. `hidden` hides the program's window on Windows; here the program gets
// no console either way.
bool RunProgram(const std::string& path, const std::string& parameters, uint32_t& exitCode,
                uint32_t waitMs, bool hidden);

}  // namespace webtessl
