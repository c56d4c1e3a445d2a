// Exceptions that escape a guarded thread go to the sink, not to std::terminate.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/GuardedThread.h"
#include "platform/core/SysUtils.h"

namespace ond {
namespace {

TEST(GuardedThread, EscapingExceptionsGoToTheSink) {
  std::vector<std::string> seen;
  SetThreadExceptionSink([&](std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const EListError& error) {
      seen.push_back("EListError: " + error.Message);
    } catch (const std::exception& other) {
      seen.push_back(other.what());
    }
  });
  StartGuardedThread([] { throw EListError("worker failed"); }).join();
  StartGuardedThread([] {}).join();
  SetThreadExceptionSink(nullptr);
  EXPECT_EQ(seen, std::vector<std::string>{"EListError: worker failed"});
  // Without a sink the failure is only written out; the process goes on.
  testing::internal::CaptureStderr();
  StartGuardedThread([] { throw EListError("nobody listens"); }).join();
  EXPECT_NE(testing::internal::GetCapturedStderr().find("nobody listens"), std::string::npos);
}

}  // namespace
}  // namespace ond
