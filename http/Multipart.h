#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "http/HeaderList.h"

namespace webtessl {

// Called once per complete part of a multipart body with the part's header lines, the "name"
// parameter of its "Content-Disposition" header and its body; returning true ends the parsing.
using TMultipartPartHandler = std::function<bool(
    const THeaderList& partHeaders, const std::string& fieldName, std::string_view partBody)>;

// Walks a multipart body and calls onPart for every part whose closing delimiter is present. An
// empty boundary is taken from the body's first line ("--" and the boundary). Stateless, so
// thread-safe.
void ParseMultipart(std::string_view body, std::string boundary,
                    const TMultipartPartHandler& onPart);

}  // namespace webtessl
