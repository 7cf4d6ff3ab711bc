#pragma once

#include "platform/DesktopMessages.h"

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// Every live window's record, removing the stale ones on the way.
std::vector<TWindowRecord> LiveRecords(const std::string& folder);

// Removes a window's record, then its socket.
void RemoveWindowFiles(const std::string& folder, TWindowHandle handle);

}  // namespace webtessl::desktop
