// The platform's GDI+ wrapper classes. They call min and max unqualified, which the build's
// NOMINMAX takes away from <windows.h>; the standard ones stand in.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <algorithm>

namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus

#include <gdiplus.h>
