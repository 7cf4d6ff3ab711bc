// Win32 backend of platform/Locale.h: the regional settings of the user.

#include "platform/Locale.h"

#include "platform/win32/WinApi.h"

namespace webtessl {
namespace {

constexpr char kFallbackDecimalSeparator = '.';
// LOCALE_SDECIMAL holds at most three characters and the terminating NUL.
constexpr int kSeparatorBufferLength = 4;

// The separator when the text is one byte; the fallback for a longer one.
char SingleCharacter(const std::string& text) {
  return text.size() == 1 ? text[0] : kFallbackDecimalSeparator;
}

}  // namespace

// "" asks for the user's own settings; any other name is a locale name such as "de-DE" (the
// form "de_DE.UTF-8" is taken as "de-DE").
std::optional<char> DecimalSeparatorOfLocale(const std::string& localeName) {
  wchar_t separator[kSeparatorBufferLength] = {};
  int got = 0;
  if (localeName.empty()) {
    got = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, kSeparatorBufferLength);
  } else {
    const std::wstring name = win32::WindowsLocaleName(localeName);
    got = ::GetLocaleInfoEx(name.c_str(), LOCALE_SDECIMAL, separator, kSeparatorBufferLength);
  }
  if (got <= 0) return std::nullopt;
  return SingleCharacter(win32::FromWide(separator));
}

char DecimalSeparator() {
  static const char separator = DecimalSeparatorOfLocale("").value_or(kFallbackDecimalSeparator);
  return separator;
}

}  // namespace webtessl
