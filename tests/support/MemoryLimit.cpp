// The memory watch of a test process: a thread that reads the resident size
// and the allocator's count of bytes in use every few milliseconds. It
// allocates nothing and takes only the allocator's own locks, which a fork
// takes and gives back itself, so it can run beside any test, and a test that
// forks is not disturbed by it. Built into every test program (not into the
// support library, whose members are linked only when named), it starts
// before main.
#include "tests/support/MemoryLimit.h"

#include <fcntl.h>
#include <malloc.h>
#include <pthread.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define OND_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OND_TEST_ASAN 1
#endif
#endif
#ifdef OND_TEST_ASAN
// The sanitizer runtime's count of bytes in use (its allocator replaces the
// C library's, whose figures then stay at zero).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace ond::test {
namespace {

constexpr long WatchPeriodNs = 10'000'000;

std::atomic<std::int64_t> gLimitMb{0};
// The process whose watch thread runs (a forked child has none).
std::atomic<pid_t> gWatchedProcess{0};

std::int64_t ResidentBytes() {
  const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  char text[128];
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (n <= 0) return -1;
  text[n] = 0;
  // "size resident shared ...", in pages.
  const char* p = text;
  while (*p && *p != ' ') ++p;
  std::int64_t pages = 0;
  for (++p; *p >= '0' && *p <= '9'; ++p) pages = pages * 10 + (*p - '0');
  return pages * ::sysconf(_SC_PAGESIZE);
}

// Bytes the allocator has handed out and not had back. Some machines report
// a resident size that lags behind what a process touched, so the watch does
// not rest on that figure alone.
std::int64_t HeapBytes() {
#ifdef OND_TEST_ASAN
  return static_cast<std::int64_t>(__sanitizer_get_current_allocated_bytes());
#else
  const struct mallinfo2 info = ::mallinfo2();
  return static_cast<std::int64_t>(info.uordblks + info.hblkhd);
#endif
}

std::int64_t HeldBytes() {
  const std::int64_t resident = ResidentBytes();
  const std::int64_t heap = HeapBytes();
  return resident > heap ? resident : heap;
}

void Stop(std::int64_t residentMb, std::int64_t limitMb) {
  char message[160];
  const int n = std::snprintf(message, sizeof message,
                              "\n*** test process holds %lld MB of memory, over its limit of %lld MB (%s): ended\n",
                              static_cast<long long>(residentMb), static_cast<long long>(limitMb), MemoryLimitVariable);
  if (n > 0) (void)!::write(STDERR_FILENO, message, static_cast<size_t>(n));
  ::_exit(MemoryLimitExitStatus);
}

void* Watch(void*) {
  const timespec period{0, WatchPeriodNs};
  for (;;) {
    const std::int64_t limitMb = gLimitMb.load(std::memory_order_relaxed);
    const std::int64_t bytes = HeldBytes();
    if (limitMb > 0 && bytes > limitMb * (1 << 20)) Stop((bytes + (1 << 20) - 1) >> 20, limitMb);
    ::nanosleep(&period, nullptr);
  }
  return nullptr;
}

// The limit from the environment, or the default.
std::int64_t ConfiguredLimitMb() {
  const char* text = std::getenv(MemoryLimitVariable);
  if (text == nullptr || *text == 0) return DefaultMemoryLimitMb;
  char* end = nullptr;
  const long long mb = std::strtoll(text, &end, 10);
  return *end == 0 && mb >= 0 ? mb : DefaultMemoryLimitMb;
}

[[maybe_unused]] const bool gStarted = [] {
  const std::int64_t mb = ConfiguredLimitMb();
  return mb > 0 && WatchMemory(mb);
}();

}  // namespace

bool WatchMemory(std::int64_t limitMb) {
  gLimitMb.store(limitMb, std::memory_order_relaxed);
  const pid_t self = ::getpid();
  if (gWatchedProcess.load() == self) return true;
  pthread_attr_t attr;
  if (::pthread_attr_init(&attr) != 0) return false;
  ::pthread_attr_setstacksize(&attr, 256 * 1024);
  ::pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  const bool started = ::pthread_create(&thread, &attr, Watch, nullptr) == 0;
  ::pthread_attr_destroy(&attr);
  if (started) gWatchedProcess.store(self);
  return started;
}

std::int64_t WatchedMemoryLimitMb() {
  return gWatchedProcess.load() == ::getpid() ? gLimitMb.load(std::memory_order_relaxed) : 0;
}

std::int64_t ResidentMemoryMb() {
  const std::int64_t bytes = ResidentBytes();
  return bytes < 0 ? -1 : bytes >> 20;
}

std::int64_t HeapMemoryMb() { return HeapBytes() >> 20; }

std::int64_t HeldMemoryMb() { return HeldBytes() >> 20; }

}  // namespace ond::test
