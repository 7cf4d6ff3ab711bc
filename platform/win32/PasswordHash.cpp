#include "platform/PasswordHash.h"

#include <windows.h>
#include <bcrypt.h>

#include <array>
#include <cstdint>
#include <string>

#include "common/ConstantTime.h"

namespace webtessl {
namespace {

// "$pbkdf2-sha256$<iterations>$<salt, hexadecimal>$<derived key, hexadecimal>"
constexpr std::string_view kPrefix = "$pbkdf2-sha256$";
constexpr ULONGLONG kIterations = 600000;
constexpr std::size_t kSaltBytes = 16;
constexpr std::size_t kKeyBytes = 32;
constexpr char kHexDigits[] = "0123456789abcdef";

bool Succeeded(NTSTATUS status) {
  return status >= 0;
}

std::string Hex(const unsigned char* bytes, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    text += kHexDigits[bytes[i] >> 4];
    text += kHexDigits[bytes[i] & 0x0F];
  }
  return text;
}

bool FromHex(std::string_view text, std::string& bytes) {
  if (text.size() % 2 != 0) return false;
  const auto value = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  bytes.clear();
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = value(text[i]);
    const int low = value(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes += static_cast<char>(high * 16 + low);
  }
  return true;
}

// The PBKDF2-HMAC-SHA256 key of the password and salt; empty on failure.
std::string DeriveKey(std::string_view password, std::string_view salt, ULONGLONG iterations) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!Succeeded(::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr,
                                               BCRYPT_ALG_HANDLE_HMAC_FLAG))) {
    return {};
  }
  std::array<unsigned char, kKeyBytes> key{};
  std::string secret(password);
  std::string saltBytes(salt);
  const bool derived = Succeeded(::BCryptDeriveKeyPBKDF2(
      algorithm, reinterpret_cast<PUCHAR>(secret.data()), static_cast<ULONG>(secret.size()),
      reinterpret_cast<PUCHAR>(saltBytes.data()), static_cast<ULONG>(saltBytes.size()),
      iterations, key.data(), static_cast<ULONG>(key.size()), 0));
  ::BCryptCloseAlgorithmProvider(algorithm, 0);
  return derived ? std::string(reinterpret_cast<const char*>(key.data()), key.size())
                 : std::string();
}

}  // namespace

std::string HashPassword(std::string_view password) {
  std::array<unsigned char, kSaltBytes> salt{};
  if (!Succeeded(::BCryptGenRandom(nullptr, salt.data(), static_cast<ULONG>(salt.size()),
                                   BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
    return {};
  }
  const std::string saltBytes(reinterpret_cast<const char*>(salt.data()), salt.size());
  const std::string key = DeriveKey(password, saltBytes, kIterations);
  if (key.empty()) return {};
  return std::string(kPrefix) + std::to_string(kIterations) + "$" +
         Hex(salt.data(), salt.size()) + "$" +
         Hex(reinterpret_cast<const unsigned char*>(key.data()), key.size());
}

bool PasswordMatches(std::string_view password, std::string_view hashLine) {
  if (hashLine.substr(0, kPrefix.size()) != kPrefix) return false;
  std::string_view rest = hashLine.substr(kPrefix.size());
  const std::size_t firstDollar = rest.find('$');
  const std::size_t secondDollar = rest.find('$', firstDollar + 1);
  if (firstDollar == std::string_view::npos || secondDollar == std::string_view::npos) {
    return false;
  }
  const std::string iterationsText(rest.substr(0, firstDollar));
  if (iterationsText.empty() ||
      iterationsText.find_first_not_of("0123456789") != std::string::npos ||
      iterationsText.size() > 9) {
    return false;
  }
  std::string salt;
  std::string expected;
  if (!FromHex(rest.substr(firstDollar + 1, secondDollar - firstDollar - 1), salt) ||
      !FromHex(rest.substr(secondDollar + 1), expected)) {
    return false;
  }
  const std::string key = DeriveKey(password, salt, std::stoull(iterationsText));
  return !key.empty() && SameBytesInConstantTime(key, expected);
}

}  // namespace webtessl
