// Marks a function that takes a printf format, so that the compiler checks
// its callers. The Windows build formats as C99 does (__USE_MINGW_ANSI_STDIO),
// so its checks follow GNU rules there too.
#pragma once

#if defined(__MINGW32__) && !defined(__clang__)
#define TRASVIK_PRINTF(formatIndex, firstArgument) __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#else
#define TRASVIK_PRINTF(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#endif
