#include "http/UrlText.h"

#include "common/AsciiText.h"
#include "platform/CodePage.h"

namespace webtessl {
namespace {

constexpr std::string_view kProtocolEnd = "://";
constexpr std::string_view kDefaultHost = "localhost";
constexpr std::string_view kHttpsPort = "443";
constexpr std::string_view kFtpPort = "21";
constexpr char kUnrepresentable = '@';
constexpr unsigned kLastAsciiByte = 128;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Position of the "://" that ends the protocol, npos when the URL has none: a "/" or "?" in front
// of it shows a relative URI, whatever its query holds.
size_t ProtocolEnd(std::string_view url) {
  const size_t at = url.find(kProtocolEnd);
  if (at == std::string_view::npos ||
      url.substr(0, at).find_first_of("/?") != std::string_view::npos) {
    return std::string_view::npos;
  }
  return at;
}

// Takes "user:password@" off the front of the rest when an "@" comes before the first "/".
void SplitUserInfo(std::string_view& rest, TUrlParts& parts) {
  const size_t at = rest.find('@');
  if (at == std::string_view::npos || at > rest.find('/')) return;
  const std::string_view info = rest.substr(0, at);
  const size_t colon = info.find(':');
  parts.user = info.substr(0, colon);
  if (colon != std::string_view::npos) parts.password = info.substr(colon + 1);
  rest.remove_prefix(at + 1);
}

void SplitHostPort(std::string_view hostPart, TUrlParts& parts) {
  if (!hostPart.empty() && hostPart.front() == '[') {
    const size_t close = hostPart.find(']');
    parts.host = hostPart.substr(1, close == std::string_view::npos ? close : close - 1);
    if (close != std::string_view::npos && close + 1 < hostPart.size() &&
        hostPart[close + 1] == ':') {
      parts.port = hostPart.substr(close + 2);
    }
    return;
  }
  const size_t colon = hostPart.find(':');
  parts.host = hostPart.substr(0, colon);
  if (colon != std::string_view::npos) parts.port = hostPart.substr(colon + 1);
}

// Number of bytes 128..191 that must follow a lead byte, -1 for a byte that cannot start one.
int ContinuationCount(unsigned char lead) {
  if (lead < 128) return 0;
  if (lead >= 192 && lead <= 223) return 1;
  if (lead >= 224 && lead <= 239) return 2;
  return -1;
}

bool IsContinuation(unsigned char c) {
  return c >= 128 && c <= 191;
}

}  // namespace

std::string SplitUrl(std::string_view url, TUrlParts& parts) {
  parts = TUrlParts();
  std::string_view rest = url;
  const size_t protocolEnd = ProtocolEnd(url);
  if (protocolEnd != std::string_view::npos) {
    parts.protocol = url.substr(0, protocolEnd);
    rest = url.substr(protocolEnd + kProtocolEnd.size());
  }
  if (SameText(parts.protocol, "HTTPS")) parts.port = kHttpsPort;
  if (SameText(parts.protocol, "FTP")) parts.port = kFtpPort;
  SplitUserInfo(rest, parts);
  const size_t slash = rest.find('/');
  const std::string_view pathPart =
      slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
  SplitHostPort(rest.substr(0, slash), parts);
  const size_t question = pathPart.find('?');
  parts.path = "/";
  parts.path += pathPart.substr(0, question);
  if (question != std::string_view::npos) parts.query = pathPart.substr(question + 1);
  if (parts.host.empty()) parts.host = kDefaultHost;
  std::string result = "/";
  result += pathPart;
  return result;
}

std::string UrlDecode(std::string_view text) {
  if (text.find('%') == std::string_view::npos) return std::string(text);
  std::string decoded;
  decoded.reserve(text.size());
  bool highByte = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const int high = i + 1 < text.size() && text[i] == '%' ? HexValue(text[i + 1]) : -1;
    const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
    if (high < 0 || (low < 0 && i + 2 < text.size())) {
      decoded += text[i];
      continue;
    }
    // At the very end of the text one digit after the "%" is enough.
    const int byte = low < 0 ? high : high * 16 + low;
    highByte = highByte || static_cast<unsigned>(byte) > kLastAsciiByte;
    decoded += static_cast<char>(byte);
    i += low < 0 ? 1 : 2;
  }
  return highByte && IsUtf8Text(decoded) ? Utf8ToAnsi(decoded) : decoded;
}

bool IsUtf8Text(std::string_view text) {
  bool multiByte = false;
  for (size_t i = 0; i < text.size() && text[i] != '\0'; ++i) {
    const int count = ContinuationCount(static_cast<unsigned char>(text[i]));
    if (count < 0) return false;
    for (int k = 1; k <= count; ++k) {
      if (i + k >= text.size() || !IsContinuation(static_cast<unsigned char>(text[i + k])))
        return false;
    }
    multiByte = multiByte || count > 0;
    i += static_cast<size_t>(count);
  }
  return multiByte;
}

std::string Utf8ToAnsi(std::string_view text) {
  const std::u16string wide = MultiByteToWide(kCodePageUtf8, text);
  if (wide.empty()) return {};
  return WideToMultiByte(SystemCodePage(), wide, kUnrepresentable);
}

std::string PercentEncode(std::string_view text, bool (*mustEscape)(unsigned char byte)) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (mustEscape(byte)) {
      encoded += '%';
      encoded += kHexDigits[byte >> 4];
      encoded += kHexDigits[byte & 0x0F];
    } else {
      encoded += c;
    }
  }
  return encoded;
}

std::string PercentEncodeControlBytes(std::string_view text) {
  return PercentEncode(text, [](unsigned char byte) { return byte < 32 || byte == 127; });
}

}  // namespace webtessl
