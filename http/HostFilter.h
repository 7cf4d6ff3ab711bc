#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace webtessl {

// Decides whether the "Host" of a request names this server, so that a page of a foreign site
// that makes a browser on this machine talk to the server under the site's own name (DNS
// rebinding) is refused. Admitted: no "Host" at all, IP literals (IPv4 dotted, IPv6 in
// brackets), "localhost" and names below it, this machine's own name (also with ".local"), and
// the extra names given; letter case, a port and a final dot do not matter. Thread-safe because
// immutable after construction.
class THostFilter {
 public:
  // The machine's name as the system reports it, and the extra names the operator allows.
  THostFilter(std::string_view machineName, const std::vector<std::string>& extraNames);

  bool Admits(std::string_view hostHeader) const;

 private:
  std::vector<std::string> names_;  // lower case, without a final dot
};

}  // namespace webtessl
