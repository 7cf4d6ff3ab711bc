#pragma once

namespace webtessl {

// Header names that both the response and the server that sends it work with.
inline constexpr const char* kHeaderLastModified = "Last-Modified";

}  // namespace webtessl
