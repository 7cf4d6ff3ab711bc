#include "platform/PrivateProfile.h"

#include "platform/FileStream.h"

#include <algorithm>
#include <cctype>
#include <istream>
#include <memory>
#include <optional>

namespace webtessl {
namespace {

constexpr std::string_view kBlanks = " \t\r";
constexpr char kSectionStart = '[';
constexpr char kSectionEnd = ']';
constexpr char kCommentStart = ';';
constexpr char kKeyValueSeparator = '=';
// Longer lines are read only this far, so a file without line ends cannot fill the memory.
constexpr size_t kMaxLineLength = 64 * 1024;

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && value.front() == value.back() &&
      (value.front() == '"' || value.front() == '\'')) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

std::string Cut(std::string_view value) {
  return std::string(value.substr(0, kProfileValueMaxLength));
}

// The name of a section header line ("[name]"), or nothing for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
  if (line.empty() || line.front() != kSectionStart) return std::nullopt;
  line.remove_prefix(1);
  return Trim(line.substr(0, line.find(kSectionEnd)));
}

// The value of a "key=value" line when its key is the one looked for.
std::optional<std::string_view> ValueOfKey(std::string_view line, std::string_view key) {
  if (line.empty() || line.front() == kCommentStart) return std::nullopt;
  const size_t separator = line.find(kKeyValueSeparator);
  if (separator == std::string_view::npos) return std::nullopt;
  if (!EqualsIgnoringCase(Trim(line.substr(0, separator)), key)) return std::nullopt;
  return Unquote(Trim(line.substr(separator + 1)));
}

// Reads up to the next line end, keeping at most kMaxLineLength characters of the line; false
// when the input has ended.
bool ReadLine(std::streambuf& input, std::string& line) {
  line.clear();
  int c = input.sbumpc();
  if (c == std::char_traits<char>::eof()) return false;
  for (; c != std::char_traits<char>::eof() && c != '\n'; c = input.sbumpc()) {
    if (line.size() < kMaxLineLength) line += static_cast<char>(c);
  }
  return true;
}

// The value of the key in the section, read from the lines of `input`; the first match wins.
std::optional<std::string> FindValue(std::streambuf& input, std::string_view section,
                                     std::string_view key) {
  std::string rawLine;
  bool inSection = false;
  while (ReadLine(input, rawLine)) {
    std::string_view line(rawLine);
    line = Trim(line.substr(0, line.find('\0')));
    if (const std::optional<std::string_view> name = SectionName(line)) {
      inSection = EqualsIgnoringCase(*name, section);
    } else if (inSection) {
      if (const std::optional<std::string_view> value = ValueOfKey(line, key)) return Cut(*value);
    }
  }
  return std::nullopt;
}

// Reads bytes held in memory, without copying them.
class TViewBuffer final : public std::streambuf {
 public:
  explicit TViewBuffer(std::string_view bytes) {
    char* begin = const_cast<char*>(bytes.data());  // only ever read
    setg(begin, begin, begin + bytes.size());
  }
};

// Opened close-on-exec, so that a program started meanwhile does not inherit it; only a regular
// file opens (a folder, a device or a pipe could never end or never answer).
std::unique_ptr<TFileStream> OpenProfile(const std::string& fileName) {
  return TFileStream::Open(fileName);
}

}  // namespace

std::string ReadProfileString(std::string_view section, std::string_view key,
                              std::string_view defaultValue, const std::string& fileName) {
  const std::unique_ptr<TFileStream> file = OpenProfile(fileName);
  if (!file) return Cut(defaultValue);
  return FindValue(*file->rdbuf(), section, key).value_or(Cut(defaultValue));
}

TProfileSnapshot::TProfileSnapshot(const std::string& fileName) : fileName_(fileName) {
  const std::unique_ptr<TFileStream> file = OpenProfile(fileName);
  if (!file) {
    content_.emplace();  // every value its default
    return;
  }
  if (file->Facts().size > static_cast<int64_t>(kProfileSnapshotMaxBytes)) return;
  std::string bytes(static_cast<size_t>(file->Facts().size), '\0');
  file->read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(file->gcount()));
  // Taken after the reading: bytes written meanwhile change the stamp, so equal stamps later
  // still mean these bytes.
  const std::optional<TFileStamp> stamp = StampOf(*file);
  if (stamp && stamp->size == static_cast<int64_t>(bytes.size())) stamp_ = stamp;
  content_ = std::move(bytes);
}

std::string TProfileSnapshot::ReadString(std::string_view section, std::string_view key,
                                         std::string_view defaultValue) const {
  if (!content_) return ReadProfileString(section, key, defaultValue, fileName_);
  TViewBuffer input(*content_);
  return FindValue(input, section, key).value_or(Cut(defaultValue));
}

}  // namespace webtessl
