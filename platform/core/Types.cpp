#include "platform/core/Types.h"

#include <mutex>

namespace ond {

namespace {

// The classic defaults of the platform's system colours, 0x00BBGGRR.
constexpr TColor kDefaultSysColors[31] = {
    0xC8C8C8, 0x000000, 0xD1B499, 0xDBCDBF, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000,
    0x000000, 0x000000, 0xB4B4B4, 0xFCF7F4, 0xABABAB, 0xD77800, 0xFFFFFF, 0xF0F0F0,
    0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000,
    0xE1FFFF, 0x000000, 0xCC6600, 0xEAD1B9, 0xF2E4D7, 0xFF9933, 0xF0F0F0,
};

std::mutex& SysColorMutex() {
  static std::mutex m;
  return m;
}
TSysColorProc& SysColorProc() {
  static TSysColorProc p;
  return p;
}

}  // namespace

void SetSysColorProc(TSysColorProc Proc) {
  std::lock_guard<std::mutex> lock(SysColorMutex());
  SysColorProc() = std::move(Proc);
}

TColor ColorToRGB(TColor Color) {
  if ((static_cast<std::uint32_t>(Color) & 0xFF000000u) != 0x80000000u) return Color & 0x00FFFFFF;
  const std::int32_t index = static_cast<std::int32_t>(Color & 0xFF);
  TSysColorProc proc;
  {
    std::lock_guard<std::mutex> lock(SysColorMutex());
    proc = SysColorProc();
  }
  if (proc) return proc(index) & 0xFFFFFF;
  return index < 31 ? kDefaultSysColors[index] : 0;
}

}  // namespace ond
