#include "http/BasicAuthentication.h"

#include <optional>
#include <utility>

#include "common/AsciiText.h"
#include "common/Base64.h"
#include "common/ConstantTime.h"
#include "platform/PasswordHash.h"

namespace webtessl {
namespace {

constexpr std::string_view kScheme = "Basic";
// Credentials remembered at most; a few browsers of one user need no more.
constexpr std::size_t kMostRemembered = 8;
// Longest header looked at: no honest name and password come near it.
constexpr std::size_t kLongestAuthorization = 1024;

}  // namespace

TBasicAuthentication::TBasicAuthentication(std::string userName, std::string passwordHash)
    : userName_(std::move(userName)), passwordHash_(std::move(passwordHash)) {}

bool TBasicAuthentication::Admits(std::string_view authorization) const {
  authorization = Trim(authorization);
  if (authorization.size() > kLongestAuthorization ||
      !StartsWithText(authorization, kScheme) || authorization.size() <= kScheme.size() ||
      authorization[kScheme.size()] != ' ') {
    return false;
  }
  if (Remembered(authorization)) return true;
  const std::optional<std::string> credentials =
      DecodeBase64(Trim(authorization.substr(kScheme.size())));
  if (!credentials) return false;
  const std::size_t colon = credentials->find(':');
  if (colon == std::string::npos) return false;
  const bool nameRight =
      SameBytesInConstantTime(std::string_view(*credentials).substr(0, colon), userName_);
  const bool passwordRight = PasswordMatches(credentials->substr(colon + 1), passwordHash_);
  if (!nameRight || !passwordRight) return false;
  Remember(authorization);
  return true;
}

bool TBasicAuthentication::Remembered(std::string_view authorization) const {
  const TMutexLock guard(lock_);
  bool found = false;
  for (const std::string& admitted : admitted_) {
    found = SameBytesInConstantTime(admitted, authorization) || found;
  }
  return found;
}

void TBasicAuthentication::Remember(std::string_view authorization) const {
  const TMutexLock guard(lock_);
  if (admitted_.size() >= kMostRemembered) admitted_.erase(admitted_.begin());
  admitted_.emplace_back(authorization);
}

}  // namespace webtessl
