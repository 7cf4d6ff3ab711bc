#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "http/HeaderList.h"

namespace webtessl {

// One cookie: read from a "Cookie" or "Set-Cookie" value, or written as a "Set-Cookie" value.
// Values keep any quotes they arrived with. Thread-compatible value type.
class THttpCookie {
 public:
  std::string Name;
  std::string Value;
  std::string Domain;
  std::string Path;
  std::string Expires;  // the expiry date text as received, never written
  std::string Version;
  std::string MaxAge;   // lifetime in seconds as text, written only
  std::string Comment;  // written only
  bool Secure = false;

  // Fills the fields from one cookie text ("name=value; $Path=/; ..."); true when a name/value
  // pair was found. Never raises.
  bool Parse(std::string_view text);
  // The text of a "Set-Cookie" header value for this cookie, attributes in a fixed order.
  std::string CookieText() const;
  // Copies everything from the source except Version and Comment.
  void Assign(const THttpCookie& source);
};

// The cookies of one message, in the order they were added: a request's "Cookie" headers, or the
// cookies that a response sends as "Set-Cookie". Thread-compatible: owned by one message.
class THttpCookies {
 public:
  // Number of cookies.
  int Count() const { return static_cast<int>(items_.size()); }
  // The cookie at the index (0-based); raises EStringListError outside the collection.
  THttpCookie& operator[](int index);
  const THttpCookie& operator[](int index) const;
  // Appends an empty cookie and returns it; the reference is valid until the next change.
  THttpCookie& Add();
  // Removes every cookie.
  void Clear() { items_.clear(); }

  // Rebuilds the collection from every comma-separated item of the "Cookie" headers.
  void ParseRequestCookies(const THeaderList& headers);
  // Rebuilds the collection from the "Set-Cookie", then the "Set-Cookie2" headers.
  void ParseResponseCookies(const THeaderList& headers);
  // Replaces the "Set-Cookie" headers by one per cookie; an empty Domain or Path of a cookie is
  // first set to the default.
  void WriteSetCookies(THeaderList& headers, std::string_view defaultDomain,
                       std::string_view defaultPath);

 private:
  // Appends one cookie per parseable item of the header's values.
  void AddCookiesOf(const THeaderList& headers, std::string_view headerName);
  // Raises EStringListError unless the index addresses a cookie.
  void CheckIndex(int index) const;

  std::vector<THttpCookie> items_;
};

}  // namespace webtessl
