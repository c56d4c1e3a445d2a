// The memory watch every test program runs under: it is on in a test
// process, and a test that takes memory without end is ended by it soon
// after passing its limit, with its own exit status, while the machine
// keeps its memory.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/MemoryLimit.h"

namespace ond {
namespace {

TEST(MemoryLimit, EveryTestProcessIsWatched) {
  const char* configured = std::getenv(test::MemoryLimitVariable);
  const std::int64_t expected =
      configured != nullptr && *configured != 0 ? std::strtoll(configured, nullptr, 10) : test::DefaultMemoryLimitMb;
  EXPECT_EQ(test::WatchedMemoryLimitMb(), expected);
  EXPECT_GT(test::ResidentMemoryMb(), 0);
}

// The exit status of a child that watches itself against `limitMb` above
// what it holds now and takes memory in pieces, touching every byte, up to
// `takeMb` more; it then gives the watch `waitMs` and exits 0 if nothing
// ended it. 1000 + n when signal n ended it.
int RunawayChild(std::int64_t limitMb, std::int64_t takeMb, int waitMs) {
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    const std::int64_t base = test::HeldMemoryMb();
    const std::int64_t residentBase = test::ResidentMemoryMb();
    const std::int64_t heapBase = test::HeapMemoryMb();
    if (base < 0 || !test::WatchMemory(base + limitMb)) ::_exit(2);
    std::vector<std::string> held;
    for (std::int64_t taken = 0; taken < takeMb; taken += 16) held.emplace_back(std::size_t{16} << 20, 'x');
    for (int i = 0; i < waitMs / 10; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // Still here: say what the watch saw, so that a failure explains itself.
    std::fprintf(stderr, "not ended: resident %lld -> %lld MB, heap %lld -> %lld MB, limit %lld MB\n",
                 static_cast<long long>(residentBase), static_cast<long long>(test::ResidentMemoryMb()),
                 static_cast<long long>(heapBase), static_cast<long long>(test::HeapMemoryMb()),
                 static_cast<long long>(base + limitMb));
    ::_exit(held.size() > 0 ? 0 : 3);
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

TEST(MemoryLimit, ARunawayTestIsEndedByTheWatch) {
  // Twice the limit at most is taken, so a watch that fails costs the
  // machine little; one that works ends the child long before the wait ends.
  EXPECT_EQ(RunawayChild(128, 256, 30000), test::MemoryLimitExitStatus);
  // Under its limit a process is left alone.
  EXPECT_EQ(RunawayChild(256, 32, 100), 0);
}

}  // namespace
}  // namespace ond
