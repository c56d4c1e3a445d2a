// Threads whose failures are reported like every other failure of the
// program: an exception that escapes the work of a thread is handed to one
// program-wide sink instead of ending the process. The window layer points
// the sink at the application's exception hook on the GUI thread.
#pragma once

#include <exception>
#include <functional>
#include <thread>

namespace ond {

using TThreadExceptionSink = std::function<void(std::exception_ptr)>;

// Sets (or, with an empty function, removes) the sink. Thread-safe.
void SetThreadExceptionSink(TThreadExceptionSink sink);

// Hands an exception to the sink from any thread; without a sink its
// message goes to the standard error stream.
void ReportThreadException(std::exception_ptr e) noexcept;

// Runs the work on a new thread; whatever it throws is reported.
std::thread StartGuardedThread(std::function<void()> work);

}  // namespace ond
