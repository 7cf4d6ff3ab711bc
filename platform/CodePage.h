#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace webtessl {

// The system code page: the byte encoding of configuration text, file-system paths, headers and
// the desktop messages, with the conversions to and from UTF-16. Code page 0 stands for the
// system code page wherever a code page is asked for. All functions are thread-safe.

constexpr uint32_t kCodePageSystem = 0;
constexpr uint32_t kCodePageWindows1252 = 1252;
constexpr uint32_t kCodePageUtf8 = 65001;

// The system code page: UTF-8, or Windows-1252 when the user's locale names a Latin-1 character
// set; changed by SetSystemCodePage.
uint32_t SystemCodePage();

// The system code page for a locale name such as "de_DE.ISO-8859-1": Windows-1252 when it names a
// Latin-1 character set, UTF-8 for any other (C and POSIX included).
uint32_t CodePageOfLocale(std::string_view localeName);

// Makes codePage (UTF-8 or Windows-1252) the system code page for the whole process. For tests
// and start-up; conversions running at the same moment may still use the previous one.
void SetSystemCodePage(uint32_t codePage);

// The largest number of bytes one character takes in the code page, or nothing when the code
// page is unknown here.
std::optional<int> CodePageMaxCharSize(uint32_t codePage);

// Converts bytes in the code page to UTF-16. Invalid UTF-8 becomes U+FFFD; every Windows-1252
// byte has a character. An unknown code page gives the empty text.
std::u16string MultiByteToWide(uint32_t codePage, std::string_view bytes);

// Converts UTF-16 to bytes in the code page. A character Windows-1252 lacks becomes defaultChar;
// in UTF-8 a lone surrogate becomes U+FFFD and defaultChar is not used. An unknown code page
// gives the empty text.
std::string WideToMultiByte(uint32_t codePage, std::u16string_view text, char defaultChar);

}  // namespace webtessl
