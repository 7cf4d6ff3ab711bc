#pragma once

#include <stdlib.h>

#include <string>

namespace webtessl::testing_search {

// Local time is UTC while the object lives; the zone before is restored after. Set it before
// other threads read the time zone.
class TUtcZone {
 public:
  TUtcZone() {
    const char* zone = ::getenv("TZ");
    hadZone_ = zone != nullptr;
    if (hadZone_) saved_ = zone;
    ::setenv("TZ", "UTC", 1);
  }
  ~TUtcZone() {
    if (hadZone_) {
      ::setenv("TZ", saved_.c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
  }
  TUtcZone(const TUtcZone&) = delete;
  TUtcZone& operator=(const TUtcZone&) = delete;

 private:
  std::string saved_;
  bool hadZone_ = false;
};

}  // namespace webtessl::testing_search
