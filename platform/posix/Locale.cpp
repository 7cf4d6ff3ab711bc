#include "platform/Locale.h"

#include <langinfo.h>
#include <locale.h>

namespace webtessl {
namespace {

constexpr char kFallbackDecimalSeparator = '.';
constexpr char kUserLocale[] = "";

}  // namespace

std::optional<char> DecimalSeparatorOfLocale(const std::string& localeName) {
  const locale_t numeric = newlocale(LC_NUMERIC_MASK, localeName.c_str(), locale_t{});
  if (numeric == locale_t{}) return std::nullopt;
  const char* radix = nl_langinfo_l(RADIXCHAR, numeric);
  // A separator of more than one byte cannot be one character here.
  const bool single = radix != nullptr && radix[0] != '\0' && radix[1] == '\0';
  const char separator = single ? radix[0] : kFallbackDecimalSeparator;
  freelocale(numeric);
  return separator;
}

char DecimalSeparator() {
  static const char separator =
      DecimalSeparatorOfLocale(kUserLocale).value_or(kFallbackDecimalSeparator);
  return separator;
}

}  // namespace webtessl
