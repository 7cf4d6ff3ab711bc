#pragma once

namespace webtessl {

// The order of the answered matches.
enum class TSortKey {
  Path,  // full path, byte by byte
  Name,  // name with case folded
  Size,  // size in bytes (folders 0)
  Date   // last modification
};

}  // namespace webtessl
