#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace webtessl {

class TProfileSnapshot;
class TSnapshotCache;

// The configuration reader: holds only the file's name and reads every value afresh from the
// file, so edits take effect on the next read. Nothing is ever written. Thread-safe: any number
// of threads may read at once.
class TIniFile final {
 public:
  // Opening does not touch the file; a missing file only makes every read give its default.
  explicit TIniFile(std::string fileName);
  // The same, with snapshots handed out again only once the file has been left alone for the
  // given seconds (tests shorten the usual two).
  TIniFile(std::string fileName, int64_t settledSeconds);

  // A reader of the same file that answers every read from one reading of it, made now: for
  // the settings one request takes together, so that they come from one state of the file. The
  // next snapshot sees the file's edits; while the file is unchanged, snapshots share one
  // reading, so that one costs a look at the file's name.
  TIniFile Snapshot() const;

  // The text value, cut to 2047 characters, or def when the file, section or key is missing.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view def) const;
  // The value as integer text (decimal, or hexadecimal after "$" or "0x"); def when the value
  // is missing or does not convert as a whole.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;
  // True when the value reads as an integer other than 0; def when it does not convert.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;
  // The value as a list: ";" separates like ",", then the comma-text rules; empty when missing.
  std::vector<std::string> ReadList(std::string_view section, std::string_view key) const;

  const std::string& FileName() const { return fileName_; }

 private:
  TIniFile(std::string fileName, std::shared_ptr<const TProfileSnapshot> snapshot);

  const std::string fileName_;
  const std::shared_ptr<const TProfileSnapshot> snapshot_;  // null: every read goes to the file
  const std::shared_ptr<TSnapshotCache> snapshots_;         // null in a snapshot
};

}  // namespace webtessl
