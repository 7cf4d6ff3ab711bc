#include "http/HeaderList.h"

#include "common/AsciiText.h"

namespace webtessl {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr char kItemSeparator = ',';
constexpr char kParamSeparator = ';';
constexpr std::string_view kParamJoin = "; ";

std::string HeaderLine(std::string_view name, std::string_view value) {
  std::string line(Trim(name));
  line += kHeaderNameSeparator;
  line += Trim(value);
  return line;
}

std::string ParamPair(std::string_view name, std::string_view value) {
  std::string pair(name);
  pair += '=';
  pair += QuoteString(value);
  return pair;
}

// The parameter list with the named parameter replaced by, or extended with, the new pair.
std::string ReplaceParam(std::string_view params, std::string_view name, const std::string& pair) {
  std::string prefix(name);
  prefix += '=';
  std::vector<std::string> items;
  bool replaced = false;
  while (!params.empty()) {
    std::string item = NextItem(params, kParamSeparator);
    if (!replaced && StartsWithText(item, prefix)) {
      item = pair;
      replaced = true;
    }
    items.push_back(std::move(item));
  }
  if (!replaced) items.push_back(pair);
  std::string result = items.front();
  for (size_t i = 1; i < items.size(); ++i) {
    result += kParamJoin;
    result += items[i];
  }
  return result;
}

}  // namespace

const std::string& THeaderList::operator[](int index) const {
  CheckIndex(index, Count());
  return lines_[static_cast<size_t>(index)];
}

void THeaderList::Delete(int index) {
  CheckIndex(index, Count());
  lines_.erase(lines_.begin() + index);
}

std::string THeaderList::Text() const {
  std::string text;
  size_t length = 0;
  for (const std::string& line : lines_) length += line.size() + kLineEnd.size();
  text.reserve(length);
  for (const std::string& line : lines_) {
    text += line;
    text += kLineEnd;
  }
  return text;
}

int THeaderList::Add(std::string_view line) {
  if (line.empty()) return -1;
  if (IsWhiteSpace(line.front()) && !lines_.empty()) {
    // Extended in place: copying the entry for every continuation would make many folds of a
    // long header cost time in the square of its length.
    std::string& folded = lines_.back();
    folded += kLineEnd;
    folded += line;
    folded.resize(TrimRight(folded).size());
    return Count() - 1;
  }
  // A line of white space alone would become an empty entry, which ends a head written from this
  // list early; it is not stored.
  std::string normalized = NormalizeHeaderLine(line);
  if (normalized.empty()) return -1;
  lines_.push_back(std::move(normalized));
  return Count() - 1;
}

void THeaderList::Insert(int index, std::string_view line) {
  CheckIndex(index, Count() + 1);
  if (line.empty()) return;
  lines_.insert(lines_.begin() + index, NormalizeHeaderLine(line));
}

void THeaderList::Put(int index, std::string_view line) {
  CheckIndex(index, Count());
  if (line.empty()) return;
  lines_[static_cast<size_t>(index)] = NormalizeHeaderLine(line);
}

int THeaderList::IndexOfHeader(std::string_view name) const {
  if (name.empty()) return -1;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (IsEntryOf(lines_[i], name)) return static_cast<int>(i);
  }
  return -1;
}

std::string THeaderList::GetValue(std::string_view name) const {
  const int index = IndexOfHeader(name);
  if (index < 0) return {};
  return std::string(ValueOf(lines_[static_cast<size_t>(index)], name));
}

void THeaderList::SetValue(std::string_view name, std::string_view value) {
  if (name.empty()) return;
  if (value.empty()) {
    RemoveHeader(name);
    return;
  }
  PutHeaderLine(name, HeaderLine(name, value));
}

void THeaderList::AddHeader(std::string_view name, std::string_view value) {
  if (name.empty() || value.empty()) return;
  std::string line(name);
  line += kHeaderNameSeparator;
  line += value;
  lines_.push_back(NormalizeHeaderLine(line));
}

bool THeaderList::RemoveHeader(std::string_view name) {
  const int first = IndexOfHeader(name);
  if (first < 0) return false;
  std::erase_if(lines_, [name](const std::string& line) { return IsEntryOf(line, name); });
  return true;
}

std::string THeaderList::ValueAt(int index) const {
  const std::string& line = (*this)[index];
  const size_t colon = line.find(':');
  if (colon == std::string::npos) return line;
  return TrimCopy(line, colon + 2, std::string::npos);
}

bool THeaderList::HasValue(std::string_view name, std::string_view value) const {
  bool found = false;
  // Captured by reference only, the call fits in the callback without an allocation of its own.
  EnumValues(name, [&](const std::string& item) {
    std::string_view rest = item;
    found = SameText(FetchTrimmed(rest, "="), value);
    return found;
  });
  return found;
}

void THeaderList::EnumValues(std::string_view name, const TValueCallback& callback) const {
  const int first = IndexOfHeader(name);
  if (first < 0) return;
  for (size_t i = static_cast<size_t>(first); i < lines_.size(); ++i) {
    if (!IsEntryOf(lines_[i], name)) continue;
    std::string_view items = Trim(ValueOf(lines_[i], name));
    while (!items.empty()) {
      const std::string item = NextItem(items, kItemSeparator);
      if (!item.empty() && callback(item)) return;
    }
  }
}

std::string THeaderList::GetParam(std::string_view headerName, std::string_view paramName) const {
  const int index = IndexOfHeader(headerName);
  if (index < 0) return {};
  return FindParam(ValueOf(lines_[static_cast<size_t>(index)], headerName), paramName);
}

void THeaderList::SetParam(std::string_view headerName, std::string_view paramName,
                           std::string_view paramValue) {
  if (Trim(headerName).empty()) return;
  const int index = IndexOfHeader(headerName);
  const std::string current = index < 0 ? std::string() : ValueAt(index);
  const std::string pair = ParamPair(paramName, paramValue);
  const std::string value = current.empty() ? pair : ReplaceParam(current, paramName, pair);
  PutHeaderLine(headerName, HeaderLine(headerName, value));
}

bool THeaderList::IsEntryOf(const std::string& line, std::string_view name) {
  return line.size() > name.size() && line[name.size()] == ':' &&
         SameText(std::string_view(line).substr(0, name.size()), name);
}

std::string_view THeaderList::ValueOf(const std::string& line, std::string_view name) {
  const size_t start = name.size() + kHeaderNameSeparator.size();
  return start < line.size() ? std::string_view(line).substr(start) : std::string_view();
}

void THeaderList::PutHeaderLine(std::string_view name, std::string line) {
  const int index = IndexOfHeader(name);
  if (index < 0) {
    lines_.push_back(std::move(line));
  } else {
    lines_[static_cast<size_t>(index)] = std::move(line);
  }
}

void THeaderList::CheckIndex(int index, int limit) {
  if (index < 0 || index >= limit) {
    throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
  }
}

}  // namespace webtessl
