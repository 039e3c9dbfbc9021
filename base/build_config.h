#pragma once

// The one place that names the target. Shared code asks these macros, never
// the compiler's own platform macros.

#if defined(_WIN32)
#define CORVANE_OS_WIN 1
#define CORVANE_OS_LINUX 0
#else
#define CORVANE_OS_WIN 0
#define CORVANE_OS_LINUX 1
#endif

namespace nbase {

// The wide character type holds UTF-16 code units on Windows and code points
// on Linux.
inline constexpr bool kWideIsUtf16 = sizeof(wchar_t) == 2;

}  // namespace nbase
