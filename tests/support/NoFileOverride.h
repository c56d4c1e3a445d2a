// Tests of permissions run as root too (CI does): while one of these lives,
// the calling thread gives up the capabilities that let root past the
// permission bits of files and folders, and takes them back when it goes. For
// an ordinary user it changes nothing.
#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

namespace ond::test {

class TNoFileOverride {
 public:
  TNoFileOverride() {
    FHeader.version = _LINUX_CAPABILITY_VERSION_3;
    FHeader.pid = 0;  // this thread
    if (::syscall(SYS_capget, &FHeader, FSaved) != 0) return;
    __user_cap_data_struct reduced[2];
    std::memcpy(reduced, FSaved, sizeof reduced);
    for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
      reduced[cap / 32].effective &= ~(1u << (cap % 32));
    FActive = ::syscall(SYS_capset, &FHeader, reduced) == 0;
  }
  ~TNoFileOverride() {
    if (FActive) ::syscall(SYS_capset, &FHeader, FSaved);
  }
  TNoFileOverride(const TNoFileOverride&) = delete;
  TNoFileOverride& operator=(const TNoFileOverride&) = delete;

 private:
  __user_cap_header_struct FHeader{};
  __user_cap_data_struct FSaved[2]{};
  bool FActive = false;
};

}  // namespace ond::test
