#include "app/FailureReport.h"

#include <new>
#include <system_error>

#include "common/Exception.h"

namespace webtessl {
namespace {

constexpr char kSeparator[] = ": ";
// Class names for the errors the standard library raises rather than this program.
constexpr char kOutOfMemoryClass[] = "EOutOfMemory";
constexpr char kOperatingSystemClass[] = "EOSError";
constexpr char kOtherClass[] = "Exception";

std::string ClassNameOf(const std::exception& error) {
  if (const auto* own = dynamic_cast<const Exception*>(&error)) return own->ClassName();
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return kOutOfMemoryClass;
  if (dynamic_cast<const std::system_error*>(&error) != nullptr) return kOperatingSystemClass;
  return kOtherClass;
}

}  // namespace

std::string FailureReport(const std::exception& error) {
  return ClassNameOf(error) + kSeparator + error.what();
}

}  // namespace webtessl
