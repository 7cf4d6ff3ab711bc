#pragma once

#include <string>
#include <string_view>

namespace webtessl {

// Path text of the file service: separators, trailing separators, dot segments and the file
// name part. Paths use "/" as separator; URIs also treat "\" as one. Pure and thread-safe.

// Every "/" and "\" that differs from the separator becomes the separator.
std::string ConvertSeparators(std::string_view path, char separator);

// The path without its trailing "/" and "\" characters.
std::string StripTrailingSeparators(std::string_view path);

// The path with a trailing "/", unless it is empty or already ends with one.
std::string EnsureTrailingSeparator(std::string_view path);

// Removes "." segments, empty segments and every ".." together with the segment before it, in a
// relative path with "/" separators; a trailing "/" stays on a non-empty result. False (path
// unchanged) when a ".." would climb above the path's start. An empty result is allowed.
bool NormalizeRelativePath(std::string& path);

// The part of the path after its last "/": the file name.
std::string ExtractFileName(std::string_view path);

// True when the path has a segment that begins with "." other than "." and "..": a hidden
// file or folder.
bool HasHiddenSegment(std::string_view path);

}  // namespace webtessl
