#include "http/RequestFraming.h"

#include <limits>
#include <optional>

#include "common/AsciiText.h"

namespace webtessl {
namespace {

constexpr std::string_view kContentLength = "Content-Length";
constexpr std::string_view kTransferEncoding = "Transfer-Encoding";
constexpr char kTab = '\t';
constexpr char kBlank = ' ';
constexpr unsigned char kDelete = 127;

bool IsControl(char c) {
  const auto code = static_cast<unsigned char>(c);
  return code < 32 || code == kDelete;
}

// The name of a stored entry ("Name: value"), empty when it has no colon.
std::string_view EntryName(std::string_view entry) {
  const size_t colon = entry.find(':');
  return colon == std::string_view::npos ? std::string_view() : entry.substr(0, colon);
}

// Plain decimal digits, saturating at INT64_MAX; nothing for anything else (signs, blanks
// inside, hexadecimal, lists, the empty text).
std::optional<int64_t> PlainDecimal(std::string_view text) {
  if (text.empty()) return std::nullopt;
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const int digit = c - '0';
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  return value;
}

}  // namespace

bool IsCleanRequestLine(std::string_view line) {
  for (const char c : line) {
    if (IsControl(c)) return false;
  }
  return true;
}

bool IsWellFormedHeaderLine(std::string_view line) {
  for (const char c : line) {
    if (IsControl(c) && c != kTab) return false;
  }
  if (line.empty()) return false;
  if (line.front() == kBlank || line.front() == kTab) return true;
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  for (const char c : line.substr(0, colon)) {
    if (c == kBlank || c == kTab) return false;
  }
  return true;
}

TRequestBody JudgeRequestBody(const THeaderList& headers) {
  TRequestBody body;
  std::optional<int64_t> length;
  for (int index = 0; index < headers.Count(); ++index) {
    const std::string_view name = EntryName(headers[index]);
    if (SameText(name, kTransferEncoding)) {
      body.Framing = TBodyFraming::Unsupported;
      return body;
    }
    if (!SameText(name, kContentLength)) continue;
    const std::optional<int64_t> value = PlainDecimal(Trim(headers.ValueAt(index)));
    if (!value || (length && *length != *value)) body.Framing = TBodyFraming::Malformed;
    length = value;
  }
  if (body.Framing == TBodyFraming::Length) body.Length = length.value_or(0);
  return body;
}

}  // namespace webtessl
