// Runs a piece of work in a forked child and kills it with SIGKILL a given
// time after it starts, as a crash or a power cut would end a save. Kill loops
// over the file writer use it to check what a killed save leaves on disk.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

namespace ond::test {

// Runs `work` in a child; kills the child `delay` after it says it started
// (never when delay is negative: then the work must end with true) and gives
// how long it ran.
inline std::chrono::microseconds RunInKilledChild(const std::function<bool()>& work,
                                                  std::chrono::microseconds delay) {
  int ready[2];
  EXPECT_EQ(::pipe(ready), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(ready[0]);
    const char go = 1;
    (void)!::write(ready[1], &go, 1);
    ::_exit(work() ? 0 : 1);
  }
  ::close(ready[1]);
  char go = 0;
  (void)!::read(ready[0], &go, 1);
  ::close(ready[0]);
  const auto start = std::chrono::steady_clock::now();
  if (delay.count() >= 0) {
    std::this_thread::sleep_for(delay);
    ::kill(pid, SIGKILL);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (delay.count() < 0) {
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
}

}  // namespace ond::test
