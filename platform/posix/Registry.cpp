#include "platform/Registry.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <istream>
#include <memory>

#include "platform/FileStream.h"
#include "platform/Paths.h"

namespace webtessl {
namespace {

constexpr std::string_view kRegistryFileName = "hkcu.reg";
constexpr std::string_view kCurrentUserRoot = "HKEY_CURRENT_USER\\";
constexpr std::string_view kNumberPrefix = "dword:";
constexpr char kDefaultValueName = '@';

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Reads a quoted text with \\ and \" escapes from the front of `line`; false when unterminated.
bool TakeQuoted(std::string_view& line, std::string& text) {
  if (line.empty() || line.front() != '"') return false;
  text.clear();
  for (size_t i = 1; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) {
      text += line[++i];
    } else if (line[i] == '"') {
      line.remove_prefix(i + 1);
      return true;
    } else {
      text += line[i];
    }
  }
  return false;
}

std::optional<TRegistryValue> ParseData(std::string_view data) {
  TRegistryValue value;
  if (data.starts_with('"')) {
    value.kind = TRegistryValue::TKind::Text;
    return TakeQuoted(data, value.text) ? std::optional(value) : std::nullopt;
  }
  if (data.starts_with(kNumberPrefix)) {
    data.remove_prefix(kNumberPrefix.size());
    const auto [end, error] = std::from_chars(data.data(), data.data() + data.size(), value.number, 16);
    if (error != std::errc() || end != data.data() + data.size()) return std::nullopt;
    value.kind = TRegistryValue::TKind::Number;
    return value;
  }
  if (data == "-") return std::nullopt;  // a deleted value
  value.kind = TRegistryValue::TKind::Other;
  return value;
}

// Parses one "name"=data or @=data line into `values`.
void ParseValueLine(std::string_view line, std::vector<std::pair<std::string, TRegistryValue>>& values) {
  std::string name;
  if (line.starts_with(kDefaultValueName)) {
    line.remove_prefix(1);
  } else if (!TakeQuoted(line, name)) {
    return;
  }
  if (!line.starts_with('=')) return;
  line.remove_prefix(1);
  if (auto value = ParseData(line)) values.emplace_back(std::move(name), std::move(*value));
}

// The whole logical lines of the file: a line ending in a backslash (long binary data)
// continues on the next one; carriage returns are dropped.
std::vector<std::string> LogicalLines(std::istream& file) {
  std::vector<std::string> lines;
  std::string line;
  bool continued = false;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (continued) {
      lines.back() += line;
    } else {
      lines.push_back(line);
    }
    continued = !lines.back().empty() && lines.back().back() == '\\';
    if (continued) lines.back().pop_back();
  }
  return lines;
}

}  // namespace

std::string CurrentUserRegistryFile() {
  return AppDataFolder() + kPathDelimiter + std::string(kRegistryFileName);
}

std::optional<TRegistryKey> TRegistryKey::OpenCurrentUser(std::string_view keyPath) {
  // Opened close-on-exec, so that a program started meanwhile does not inherit it.
  const std::unique_ptr<TFileStream> stream = TFileStream::Open(CurrentUserRegistryFile());
  if (!stream) return std::nullopt;
  std::istream& file = *stream;
  const std::string wanted = "[" + std::string(kCurrentUserRoot) + std::string(keyPath) + "]";
  TRegistryKey key;
  bool found = false;
  bool inKey = false;
  for (const std::string& line : LogicalLines(file)) {
    if (line.starts_with('[')) {
      inKey = SameText(line, wanted);
      found = found || inKey;
    } else if (inKey) {
      ParseValueLine(line, key.values_);
    }
  }
  if (!found) return std::nullopt;
  return key;
}

std::optional<TRegistryValue> TRegistryKey::Value(std::string_view name) const {
  // A later line for the same name replaces an earlier one, as importing the file would.
  const auto found = std::find_if(values_.rbegin(), values_.rend(),
                                  [&](const auto& entry) { return SameText(entry.first, name); });
  if (found == values_.rend()) return std::nullopt;
  return found->second;
}

}  // namespace webtessl
