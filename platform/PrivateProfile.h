#pragma once

#include <string>
#include <string_view>

namespace webtessl {

// Values longer than this are cut to it: the reader works in a buffer of one more character.
constexpr size_t kProfileValueMaxLength = 2047;

// Reads one value of an INI file afresh from the file. Section and key names match without regard
// to case, and the first matching key in the file wins; lines starting with ";" are comments;
// blanks around the value are dropped, then one pair of quotes (double or single) enclosing the
// whole value; a NUL ends the text of its line, and a line is read at most 64 KiB far. A missing
// or unreadable file, section or key gives defaultValue; so does anything but a regular file.
// The result is cut to kProfileValueMaxLength characters. A relative file name is relative to the
// current folder. Thread-safe.
std::string ReadProfileString(std::string_view section, std::string_view key,
                              std::string_view defaultValue, const std::string& fileName);

}  // namespace webtessl
