#pragma once

#include <exception>
#include <string>

namespace webtessl {

// The console line for an error that ended the main sequence: the error's class name, ": ", and
// its message ("EInOutError: read: Input/output error"). Thread-safe.
std::string FailureReport(const std::exception& error);

}  // namespace webtessl
