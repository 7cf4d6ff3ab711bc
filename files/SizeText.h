#pragma once

#include <cstdint>
#include <string>

namespace webtessl {

// A byte count as a short text for people: "512  b", "1.5 kb", "2.0 Mb", "1.0 Gb", "3.2 Tb", with
// the decimal separator of the user's locale. Thread-safe.
std::string SizeToText(int64_t size);

}  // namespace webtessl
