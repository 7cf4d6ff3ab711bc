#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/FileStamp.h"

namespace webtessl {

// Values longer than this are cut to it: the reader works in a buffer of one more character.
constexpr size_t kProfileValueMaxLength = 2047;

// Reads one value of an INI file afresh from the file. Section and key names match without regard
// to case, and the first matching key in the file wins; lines starting with ";" are comments;
// blanks around the value are dropped, then one pair of quotes (double or single) enclosing the
// whole value; a NUL ends the text of its line, and a line is read at most 64 KiB far. A missing
// or unreadable file, section or key gives defaultValue; so does anything but a regular file.
// The result is cut to kProfileValueMaxLength characters. A relative file name is relative to the
// current folder. Thread-safe.
std::string ReadProfileString(std::string_view section, std::string_view key,
                              std::string_view defaultValue, const std::string& fileName);

// An INI file as it was at one moment, for taking several values that belong together with one
// reading of the file: each value is what ReadProfileString gave at that moment. Where the
// system keeps INI files itself (Windows), and for a file too large to hold, each value is read
// from the file as ReadProfileString reads it. Immutable after construction; thread-safe.
class TProfileSnapshot final {
 public:
  // Reads the file now; a missing or unreadable file gives every default.
  explicit TProfileSnapshot(const std::string& fileName);

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
  // The stamp of the file whose bytes were read here; nothing when no bytes were held (a missing
  // or unreadable file, one too large, or a system without stamps).
  const std::optional<TFileStamp>& Stamp() const { return stamp_; }

 private:
  std::string fileName_;
  std::optional<std::string> content_;  // the file's bytes when they were read here
  std::optional<TFileStamp> stamp_;
};

// A configuration file is a few hundred bytes; a larger one than this is not held in memory.
constexpr size_t kProfileSnapshotMaxBytes = 1024 * 1024;

}  // namespace webtessl
