// The state a line's highlighting ends in, the one value the editor keeps per
// line for its highlighter and hands back before the next line. It lives below
// both the editor and the highlighters, so neither reaches into the other for it.
#pragma once

#include <cstdint>

namespace ond {

// The state a highlighter hands out at the end of a line and takes back before
// the next. Opaque to the editor: a highlighter may store an id or a pointer.
using TOndRangeState = std::intptr_t;
constexpr TOndRangeState RangeStateUnknown = -1;

}  // namespace ond
