#pragma once

#include <string>
#include <string_view>

namespace webtessl {

// Salted, deliberately slow password hashes, made and checked by the system's own library (the
// C library's crypt with yescrypt, else SHA-512-crypt; on Windows PBKDF2 with SHA-256 from the
// system's cryptography API). Only the hash line is ever stored. Thread-safe: no shared state.

// A new hash line for the password, with a fresh random salt; empty when the system offers no
// such hashing.
std::string HashPassword(std::string_view password);

// True when the password is the one the hash line was made from. The final comparison takes the
// same time wherever the two differ.
bool PasswordMatches(std::string_view password, std::string_view hashLine);

}  // namespace webtessl
