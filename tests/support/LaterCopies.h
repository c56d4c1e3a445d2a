// Copies of a file's old bytes as later interrupted in-place saves would
// leave them beside the first one the writer made: the second is the
// newest, the tenth comes first in letter order. For tests of which copy is
// named and how many are counted.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <fstream>
#include <string>

namespace ond::test {

inline bool SetFileTime(const std::string& name, std::time_t seconds) {
  const timespec times[2] = {{seconds, 0}, {seconds, 0}};
  return ::utimensat(AT_FDCWD, name.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

struct TLaterCopies {
  std::string Prefix;  // the first copy's name without its "copy"
  std::string Second, Tenth;
};

// `first` is the full name of a copy the writer made ("<prefix>copy").
inline TLaterCopies PlantLaterCopies(const std::string& first) {
  TLaterCopies c;
  c.Prefix = first.substr(0, first.size() - 4);
  c.Second = c.Prefix + "2.copy";
  c.Tenth = c.Prefix + "10.copy";
  std::ofstream(c.Second, std::ios::binary) << "second";
  std::ofstream(c.Tenth, std::ios::binary) << "tenth";
  SetFileTime(first, 1'000'000'000);
  SetFileTime(c.Tenth, 1'100'000'000);
  SetFileTime(c.Second, 1'200'000'000);
  return c;
}

}  // namespace ond::test
