#pragma once

#include <string>
#include <string_view>

namespace webtessl {

// The text with "&", "<", ">", '"' and "'" written as character references, so that it shows as
// itself in element content and in quoted attribute values. For text of any character type
// (bytes or UTF-16 units); other characters are kept as they are. Pure and thread-safe.
template <typename Char>
std::basic_string<Char> EscapeHtmlText(std::basic_string_view<Char> text) {
  std::basic_string<Char> escaped;
  escaped.reserve(text.size());
  const auto append = [&escaped](std::string_view reference) {
    escaped.append(reference.begin(), reference.end());
  };
  for (const Char c : text) {
    switch (c) {
      case Char('&'):
        append("&amp;");
        break;
      case Char('<'):
        append("&lt;");
        break;
      case Char('>'):
        append("&gt;");
        break;
      case Char('"'):
        append("&quot;");
        break;
      case Char('\''):
        append("&#39;");
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

}  // namespace webtessl
