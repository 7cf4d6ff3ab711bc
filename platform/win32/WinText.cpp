// The text conversions that the Win32 backend shares between its files.

#include "platform/win32/WinApi.h"

#include "platform/CodePage.h"

namespace webtessl::win32 {

std::string FromWide(std::wstring_view text) {
  const std::u16string_view wide(reinterpret_cast<const char16_t*>(text.data()), text.size());
  return WideToMultiByte(kCodePageSystem, wide, '?');
}

std::wstring ToWide(std::string_view text) {
  const std::u16string wide = MultiByteToWide(kCodePageSystem, text);
  return std::wstring(wide.begin(), wide.end());
}

std::wstring WindowsLocaleName(std::string_view localeName) {
  localeName = localeName.substr(0, localeName.find_first_of(".@"));
  std::wstring name(localeName.begin(), localeName.end());
  for (wchar_t& c : name) {
    if (c == L'_') c = L'-';
  }
  return name;
}

}  // namespace webtessl::win32
