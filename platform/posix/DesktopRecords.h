#pragma once

#include "platform/DesktopMessages.h"
#include "platform/posix/UniqueFd.h"

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace webtessl::desktop {

// What the desktop knows of one window: the file "<handle>.window" in the desktop folder, beside
// its listening socket "<handle>.sock". Records are written whole and atomically, so a reader
// never sees half of one. The owning process holds an exclusive lock on its window's record for
// as long as the window lives; the system drops that lock when the process dies, so a record
// nobody holds is stale. Free functions; thread-safe (they share nothing but the folder).
struct TWindowRecord {
  TWindowHandle handle = 0;
  pid_t ownerPid = 0;
  std::string className;
  std::string title;
};

// DesktopFolder, trusting the folder last found private without looking again (for the paths
// taken on every message).
std::string KnownDesktopFolder();

std::string RecordPath(const std::string& folder, TWindowHandle handle);
std::string SocketPath(const std::string& folder, TWindowHandle handle);

// Publishes the record of a new window of this process; returns the lock that keeps it alive
// (invalid when a record with that handle exists already or writing failed).
TUniqueFd PublishRecord(const std::string& folder, TWindowHandle handle,
                        std::string_view className, std::string_view title);

// Replaces the record of a window of this process in one step; returns its new lock (invalid
// on failure, when the old record stays).
TUniqueFd ReplaceRecord(const std::string& folder, TWindowHandle handle,
                        std::string_view className, std::string_view title);

// The record of a live window; a stale record is removed; foreign or damaged files give nothing
// and stay.
std::optional<TWindowRecord> ReadLiveRecord(const std::string& folder, TWindowHandle handle);

// The record of a live window with that class and title; stale records that match are removed.
std::optional<TWindowRecord> FindLiveRecord(const std::string& folder, std::string_view className,
                                            std::string_view title);

// Removes the records (and sockets) of every window whose owner has died.
void RemoveStaleRecords(const std::string& folder);

// Removes a window's record, then its socket.
void RemoveWindowFiles(const std::string& folder, TWindowHandle handle);

}  // namespace webtessl::desktop
