#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Exception.h"
#include "http/HeaderValues.h"

namespace webtessl {

// An index outside a header list.
class EStringListError : public Exception {
 public:
  explicit EStringListError(const std::string& message) : Exception("EStringListError", message) {}
};

// The ordered header lines of one request or response. Each entry is one header stored as
// "Name: value" (the name as received, a colon, one blank, the value); a header folded over several
// physical lines is one entry whose value keeps the continuation lines joined by CR LF. Names are
// looked up without regard to ASCII case; duplicates are allowed and entries keep their order.
// Indexes count entries from 0; an index outside the list raises EStringListError.
// Thread-compatible: owned by one message and used by one thread at a time; copies are independent.
class THeaderList {
 public:
  // Called with each comma-separated item of a header; returning true stops the walk.
  using TValueCallback = std::function<bool(const std::string& item)>;

  // Number of entries.
  int Count() const { return static_cast<int>(lines_.size()); }
  // The entry at the index, as stored.
  const std::string& operator[](int index) const;
  // Every entry, in order.
  const std::vector<std::string>& Lines() const { return lines_; }
  // Removes the entry at the index.
  void Delete(int index);
  // Removes every entry.
  void Clear() { lines_.clear(); }
  // Every entry followed by CR LF.
  std::string Text() const;

  // Appends a received header line; a line beginning with white space continues the last entry.
  // Returns the index of the entry written, -1 when nothing was added (an empty line).
  int Add(std::string_view line);
  // Inserts the normalised line before the index (0..Count); an empty line does nothing.
  void Insert(int index, std::string_view line);
  // Overwrites the entry at the index with the normalised line; an empty line does nothing.
  void Put(int index, std::string_view line);

  // Index of the first entry of the header, -1 when there is none (or the name is empty).
  int IndexOfHeader(std::string_view name) const;
  // Value of the first entry of the header, untrimmed; "" when there is none.
  std::string GetValue(std::string_view name) const;
  // Overwrites the first entry of the header or appends one; an empty value removes the header.
  void SetValue(std::string_view name, std::string_view value);
  // Appends another entry of the header (both texts must be non-empty).
  void AddHeader(std::string_view name, std::string_view value);
  // Removes every entry of the header; false when there was none.
  bool RemoveHeader(std::string_view name);
  // Trimmed value of the entry at the index (the whole entry when it has no colon).
  std::string ValueAt(int index) const;
  // True when one comma-separated token of the header (before any "=") equals the value.
  bool HasValue(std::string_view name, std::string_view value) const;
  // Calls the callback with every non-empty comma-separated item of every entry of the header.
  void EnumValues(std::string_view name, const TValueCallback& callback) const;
  // The named parameter inside the header's value ("boundary" of a Content-Type), "" when absent.
  std::string GetParam(std::string_view headerName, std::string_view paramName) const;
  // Sets the named parameter inside the header's value (quoted), adding the header when absent.
  void SetParam(std::string_view headerName, std::string_view paramName,
                std::string_view paramValue);

 private:
  // True when the entry is one of the header: the name, then directly a colon.
  static bool IsEntryOf(const std::string& line, std::string_view name);
  // The entry's text after the name, its colon and the blank.
  static std::string_view ValueOf(const std::string& line, std::string_view name);
  // Overwrites the header's first entry with the stored line, or appends the line.
  void PutHeaderLine(std::string_view name, std::string line);
  // Raises EStringListError unless 0 <= index < limit.
  static void CheckIndex(int index, int limit);

  std::vector<std::string> lines_;
};

}  // namespace webtessl
