// System colours: a colour value of 0x80000000 + n names system colour n and
// is turned into plain 0x00BBGGRR when drawn. The window layer installs the
// resolver that reads its palette; until then (and in programs without a
// window layer) the classic defaults apply.
#pragma once

#include <cstdint>
#include <functional>

namespace ond {

// Returns the plain 0x00BBGGRR value of system colour Index.
using TSysColorProc = std::function<std::int32_t(std::int32_t Index)>;
void SetSysColorProc(TSysColorProc Proc);

// Plain 0x00BBGGRR for any colour, system colours resolved; the high byte of a
// plain colour is dropped.
std::int32_t ColorToRGB(std::int32_t Color);

}  // namespace ond
