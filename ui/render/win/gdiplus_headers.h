#pragma once

// windows.h and GDI+ as this back end's files include them.

#include <windows.h>
// Left out by WIN32_LEAN_AND_MEAN; GDI+ needs its property and stream types.
#include <objidl.h>
#include <wtypes.h>
// After windows.h: the GDI+ headers use its types.
#include <gdiplus.h>

// windows.h names the text flags that the UI library defines as constants of
// its own (with the same values), and DrawText after its wide version, which
// would rename the render context's operation in these files.
#undef DrawText
#undef DT_CENTER
#undef DT_RIGHT
#undef DT_VCENTER
#undef DT_BOTTOM
#undef DT_SINGLELINE
#undef DT_NOCLIP
#undef DT_END_ELLIPSIS
