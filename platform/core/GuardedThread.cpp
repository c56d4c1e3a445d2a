#include "platform/core/GuardedThread.h"

#include <cstdio>
#include <mutex>

namespace ond {

namespace {
std::mutex gSinkLock;
TThreadExceptionSink& Sink() {
  static TThreadExceptionSink sink;
  return sink;
}
}  // namespace

void SetThreadExceptionSink(TThreadExceptionSink sink) {
  std::lock_guard<std::mutex> guard(gSinkLock);
  Sink() = std::move(sink);
}

void ReportThreadException(std::exception_ptr e) noexcept {
  try {
    TThreadExceptionSink sink;
    {
      std::lock_guard<std::mutex> guard(gSinkLock);
      sink = Sink();
    }
    if (sink) {
      sink(e);
      return;
    }
    std::rethrow_exception(e);
  } catch (const std::exception& unreported) {
    std::fprintf(stderr, "Exception in a thread: %s\n", unreported.what());
  } catch (...) {
    std::fprintf(stderr, "Unknown exception in a thread\n");
  }
}

std::thread StartGuardedThread(std::function<void()> work) {
  return std::thread([work = std::move(work)] {
    try {
      work();
    } catch (...) {
      ReportThreadException(std::current_exception());
    }
  });
}

}  // namespace ond
