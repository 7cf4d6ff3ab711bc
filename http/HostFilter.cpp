#include "http/HostFilter.h"

#include <algorithm>

#include "common/AsciiText.h"

namespace webtessl {
namespace {

constexpr std::string_view kLocalhost = "localhost";
constexpr std::string_view kLocalhostSuffix = ".localhost";
constexpr std::string_view kLinkLocalSuffix = ".local";
constexpr int kIPv4Parts = 4;
constexpr int kIPv4PartMax = 255;
constexpr size_t kIPv4PartDigits = 3;

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Normalized(std::string_view name) {
  while (!name.empty() && name.back() == '.') name.remove_suffix(1);
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(), LowerAscii);
  return lower;
}

bool IsDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Read digit by digit: every request's host passes here. A number read through a string costs an
// allocation, and TryStrToInt's look for signs and hexadecimal prefixes, which plain digits never
// have, about 900 instructions per request.
bool IsIPv4Part(std::string_view part) {
  if (!IsDigits(part) || part.size() > kIPv4PartDigits) return false;
  int value = 0;
  for (const char digit : part) value = value * 10 + (digit - '0');
  return value <= kIPv4PartMax;
}

// Exactly four dotted decimal parts of 0 to 255: "1.2.3.4.example" is a name, not an address.
bool IsIPv4Literal(std::string_view host) {
  for (int part = 1; part < kIPv4Parts; ++part) {
    const size_t dot = host.find('.');
    if (dot == std::string_view::npos || !IsIPv4Part(host.substr(0, dot))) return false;
    host.remove_prefix(dot + 1);
  }
  return IsIPv4Part(host);
}

// The inside of "[...]": hexadecimal digits, colons, and dots of an embedded IPv4 address.
bool IsIPv6Literal(std::string_view inside) {
  return inside.find(':') != std::string_view::npos &&
         std::all_of(inside.begin(), inside.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
                  c == ':' || c == '.';
         });
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

THostFilter::THostFilter(std::string_view machineName, const std::vector<std::string>& extraNames) {
  const std::string machine = Normalized(machineName);
  if (!machine.empty()) {
    names_.push_back(machine);
    const std::string shortName = machine.substr(0, machine.find('.'));
    names_.push_back(shortName);
    names_.push_back(shortName + std::string(kLinkLocalSuffix));
  }
  for (const std::string& name : extraNames) {
    if (!Trim(name).empty()) names_.push_back(Normalized(Trim(name)));
  }
}

bool THostFilter::Admits(std::string_view hostHeader) const {
  std::string_view host = Trim(hostHeader);
  if (host.empty()) return true;
  if (host.front() == '[') {
    const size_t close = host.find(']');
    if (close == std::string_view::npos) return false;
    const std::string_view rest = host.substr(close + 1);
    return IsIPv6Literal(host.substr(1, close - 1)) &&
           (rest.empty() || (rest.front() == ':' && IsDigits(rest.substr(1))));
  }
  const size_t colon = host.rfind(':');
  if (colon != std::string_view::npos) {
    if (!IsDigits(host.substr(colon + 1))) return false;
    host = host.substr(0, colon);
  }
  if (IsIPv4Literal(host)) return true;
  const std::string name = Normalized(host);
  if (name == kLocalhost || EndsWith(name, kLocalhostSuffix)) return true;
  return std::find(names_.begin(), names_.end(), name) != names_.end();
}

}  // namespace webtessl
