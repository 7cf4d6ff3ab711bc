// Win32 backend of platform/CodePage.h: the system's own conversions for the ANSI code page.

#include "platform/CodePage.h"

#include "platform/win32/WinApi.h"

#include <atomic>
#include <climits>

namespace webtessl {
namespace {

// The locale information that holds a locale's ANSI code page, as a number.
constexpr LCTYPE kAnsiCodePageOfLocale = LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER;

std::atomic<uint32_t>& SystemCodePageSetting() {
  static std::atomic<uint32_t> codePage{::GetACP()};
  return codePage;
}

uint32_t Resolve(uint32_t codePage) {
  return codePage == kCodePageSystem ? SystemCodePage() : codePage;
}

bool IsUsable(uint32_t codePage) {
  return ::IsValidCodePage(codePage) != FALSE;
}

}  // namespace

uint32_t SystemCodePage() {
  return SystemCodePageSetting().load(std::memory_order_relaxed);
}

// A locale that Windows knows gives its ANSI code page; any other gives UTF-8. Locales without an
// ANSI code page of their own (Unicode-only ones) report 0 and also give UTF-8.
uint32_t CodePageOfLocale(std::string_view localeName) {
  const std::wstring name = win32::WindowsLocaleName(localeName);
  DWORD codePage = 0;
  const int got =
      ::GetLocaleInfoEx(name.c_str(), kAnsiCodePageOfLocale, reinterpret_cast<LPWSTR>(&codePage),
                        sizeof(codePage) / sizeof(wchar_t));
  return got > 0 && codePage != 0 ? codePage : kCodePageUtf8;
}

void SetSystemCodePage(uint32_t codePage) {
  SystemCodePageSetting().store(codePage, std::memory_order_relaxed);
}

std::optional<int> CodePageMaxCharSize(uint32_t codePage) {
  CPINFO info{};
  if (::GetCPInfo(Resolve(codePage), &info) == FALSE) return std::nullopt;
  return static_cast<int>(info.MaxCharSize);
}

std::u16string MultiByteToWide(uint32_t codePage, std::string_view bytes) {
  const uint32_t resolved = Resolve(codePage);
  if (bytes.empty() || bytes.size() > INT_MAX || !IsUsable(resolved)) return {};
  const int length = static_cast<int>(bytes.size());
  const int needed = ::MultiByteToWideChar(resolved, 0, bytes.data(), length, nullptr, 0);
  std::u16string text(static_cast<size_t>(needed), u'\0');
  const int written = ::MultiByteToWideChar(resolved, 0, bytes.data(), length,
                                            reinterpret_cast<LPWSTR>(text.data()), needed);
  text.resize(static_cast<size_t>(written > 0 ? written : 0));
  return text;
}

// Best-fit mapping stays off: a character the code page lacks becomes defaultChar rather than a
// look-alike, which could turn a harmless name into a path separator or a dot.
std::string WideToMultiByte(uint32_t codePage, std::u16string_view text, char defaultChar) {
  const uint32_t resolved = Resolve(codePage);
  if (text.empty() || text.size() > INT_MAX || !IsUsable(resolved)) return {};
  const bool utf8 = resolved == kCodePageUtf8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* fallback = utf8 ? nullptr : &defaultChar;
  const auto* wide = reinterpret_cast<LPCWCH>(text.data());
  const int length = static_cast<int>(text.size());
  const int needed =
      ::WideCharToMultiByte(resolved, flags, wide, length, nullptr, 0, fallback, nullptr);
  std::string bytes(static_cast<size_t>(needed), '\0');
  const int written =
      ::WideCharToMultiByte(resolved, flags, wide, length, bytes.data(), needed, fallback, nullptr);
  bytes.resize(static_cast<size_t>(written > 0 ? written : 0));
  return bytes;
}

}  // namespace webtessl
