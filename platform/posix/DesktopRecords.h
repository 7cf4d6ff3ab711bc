#pragma once

#include "platform/DesktopMessages.h"

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace webtessl::desktop {

// What the desktop knows of one window: the file "<handle>.window" in the desktop folder, beside
// its listening socket "<handle>.sock". Records are written whole and atomically, so a reader
// never sees half of one. Free functions; thread-safe (they share nothing but the folder).
struct TWindowRecord {
  TWindowHandle handle = 0;
  pid_t ownerPid = 0;
  uint64_t ownerStartTime = 0;  // tells the owner from a later process that got the same id
  std::string className;
  std::string title;
};

// DesktopFolder, trusting the folder last found private without looking again (for the paths
// taken on every message).
std::string KnownDesktopFolder();

std::string RecordPath(const std::string& folder, TWindowHandle handle);
std::string SocketPath(const std::string& folder, TWindowHandle handle);

// The start time of a running process (clock ticks since boot), 0 when there is none.
uint64_t ProcessStartTime(pid_t pid);

// A record for a new window of this process.
TWindowRecord OwnRecord(TWindowHandle handle, std::string className, std::string title);

// Publishes a new record; false when one with that handle exists already (or writing failed).
bool PublishRecord(const std::string& folder, const TWindowRecord& record);

// Replaces an existing record in one step.
bool ReplaceRecord(const std::string& folder, const TWindowRecord& record);

// The record of a live window; a record whose owner has died is removed; foreign or damaged
// files give nothing and stay.
std::optional<TWindowRecord> ReadLiveRecord(const std::string& folder, TWindowHandle handle);

// The record of a live window with that class and title; stale records that match are removed.
std::optional<TWindowRecord> FindLiveRecord(const std::string& folder, std::string_view className,
                                            std::string_view title);

// Removes the records (and sockets) of every window whose owner has died.
void RemoveStaleRecords(const std::string& folder);

// Removes a window's record, then its socket.
void RemoveWindowFiles(const std::string& folder, TWindowHandle handle);

}  // namespace webtessl::desktop
