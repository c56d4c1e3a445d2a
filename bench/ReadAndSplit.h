// The floor of opening a file: its bytes read into memory of its size,
// fresh each time, and split at its line feeds.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>

namespace ond {

// The number of lines of the file at Path; -1 when it cannot be read.
inline long ReadAndSplit(const std::string& Path) {
  const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0) return -1;
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return -1;
  }
  const auto size = static_cast<std::size_t>(st.st_size);
  std::unique_ptr<char[]> buffer(new char[size]);
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, buffer.get() + got, size - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  long lines = 0;
  const char* p = buffer.get();
  const char* end = p + got;
  while (p < end) {
    const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    ++lines;
    p = nl ? nl + 1 : end;
  }
  return lines;
}

}  // namespace ond
