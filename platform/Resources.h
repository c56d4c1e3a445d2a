// Internal to the window layer: registers the program's Qt resources (images)
// once; the resource file lives in a static library, so it must be pulled in.
#pragma once

namespace ond {
void InitResources();
}
