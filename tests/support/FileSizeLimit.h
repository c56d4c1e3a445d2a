// Runs a piece of a test in a child process under a file-size limit, so
// that the limit touches no other test.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>

namespace ond::test {

// The body's result (0 to 255) as the child's exit status; 2 when the limit
// could not be set, 4 when the body threw, 1000 + n when signal n ended the
// child, -1 when no child ran.
template <class F>
int UnderFileSizeLimit(std::size_t Bytes, F&& Body) {
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    const rlimit limit{Bytes, Bytes};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(2);
    // Nothing may leave the child but its exit: a test framework unwound
    // into would go on running tests there.
    try {
      ::_exit(Body());
    } catch (...) {
      ::_exit(4);
    }
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

}  // namespace ond::test
