#include "http/Cookies.h"

#include <algorithm>

#include "common/AsciiText.h"

namespace webtessl {
namespace {

constexpr std::string_view kCookieHeader = "Cookie";
constexpr std::string_view kSetCookieHeader = "Set-Cookie";
constexpr std::string_view kSetCookie2Header = "Set-Cookie2";

constexpr char kAttributeSeparator = ';';
constexpr char kAttributeMark = '$';
constexpr std::string_view kPairJoin = "; ";
constexpr std::string_view kSecureFlag = "; secure";

// Characters that make a written cookie value go out quoted.
bool NeedsQuoting(std::string_view value) {
  return std::any_of(value.begin(), value.end(), [](char c) {
    const auto code = static_cast<unsigned char>(c);
    return (code >= 1 && code <= 32) || c == '"' || c == ',' || c == ';' || c == '=';
  });
}

void AppendPair(std::string& text, std::string_view name, std::string_view value) {
  if (value.empty()) return;
  if (!text.empty()) text += kPairJoin;
  text += name;
  text += '=';
  text += NeedsQuoting(value) ? QuoteString(value) : std::string(value);
}

}  // namespace

bool THttpCookie::Parse(std::string_view text) {
  bool pairPending = true;
  while (!text.empty()) {
    const std::string item = NextItem(text, kAttributeSeparator);
    if (item.empty()) continue;
    std::string_view rest = item;
    std::string name = FetchTrimmed(rest, "=");
    const bool attribute = !name.empty() && name.front() == kAttributeMark;
    if (attribute) name.erase(0, 1);
    if (pairPending && !attribute) {
      Name = std::move(name);
      Value = rest;
      pairPending = false;
    } else if (SameText(name, "path")) {
      Path = rest;
    } else if (SameText(name, "expires")) {
      Expires = rest;
    } else if (SameText(name, "domain")) {
      Domain = rest;
    } else if (SameText(name, "secure")) {
      Secure = true;
    } else if (SameText(name, "version")) {
      Version = rest;
    }
  }
  return !pairPending;
}

std::string THttpCookie::CookieText() const {
  std::string text;
  AppendPair(text, Name, Value);
  AppendPair(text, "Version", Version);
  AppendPair(text, "Path", Path);
  AppendPair(text, "Domain", Domain);
  AppendPair(text, "Max-Age", MaxAge);
  AppendPair(text, "Comment", Comment);
  if (Secure) text += kSecureFlag;
  return text;
}

void THttpCookie::Assign(const THttpCookie& source) {
  Name = source.Name;
  Value = source.Value;
  Domain = source.Domain;
  Path = source.Path;
  Expires = source.Expires;
  MaxAge = source.MaxAge;
  Secure = source.Secure;
}

THttpCookie& THttpCookies::operator[](int index) {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)];
}

const THttpCookie& THttpCookies::operator[](int index) const {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)];
}

THttpCookie& THttpCookies::Add() {
  return items_.emplace_back();
}

void THttpCookies::ParseRequestCookies(const THeaderList& headers) {
  Clear();
  AddCookiesOf(headers, kCookieHeader);
}

void THttpCookies::ParseResponseCookies(const THeaderList& headers) {
  Clear();
  AddCookiesOf(headers, kSetCookieHeader);
  AddCookiesOf(headers, kSetCookie2Header);
}

void THttpCookies::WriteSetCookies(THeaderList& headers, std::string_view defaultDomain,
                                   std::string_view defaultPath) {
  headers.RemoveHeader(kSetCookieHeader);
  for (THttpCookie& cookie : items_) {
    if (cookie.Domain.empty()) cookie.Domain = defaultDomain;
    if (cookie.Path.empty()) cookie.Path = defaultPath;
    headers.AddHeader(kSetCookieHeader, cookie.CookieText());
  }
}

void THttpCookies::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) {
    throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
  }
}

void THttpCookies::AddCookiesOf(const THeaderList& headers, std::string_view headerName) {
  headers.EnumValues(headerName, [this](const std::string& item) {
    THttpCookie cookie;
    if (cookie.Parse(item)) items_.push_back(std::move(cookie));
    return false;
  });
}

}  // namespace webtessl
