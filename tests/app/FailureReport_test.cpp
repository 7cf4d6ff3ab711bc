#include "app/FailureReport.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <system_error>

#include "common/Exception.h"

namespace webtessl {
namespace {

TEST(FailureReportTest, ClassNameColonMessage) {
  EXPECT_EQ(FailureReport(EInOutError("read: Is a directory")),
            "EInOutError: read: Is a directory");
  EXPECT_EQ(FailureReport(Exception("ESynapseError", "Address in use")),
            "ESynapseError: Address in use");
}

TEST(FailureReportTest, StandardLibraryErrorsGetClassNamesToo) {
  EXPECT_EQ(FailureReport(std::bad_alloc()).rfind("EOutOfMemory: ", 0), 0u);
  const std::system_error threadError(
      std::make_error_code(std::errc::resource_unavailable_try_again), "thread");
  EXPECT_EQ(FailureReport(threadError).rfind("EOSError: thread", 0), 0u);
  EXPECT_EQ(FailureReport(std::runtime_error("odd")), "Exception: odd");
}

}  // namespace
}  // namespace webtessl
