// The trace's pointer-checking formatting: like vsnprintf, except that a null
// string prints "<bad pointer>" and a floating directive prints a percent
// sign.  Each argument is fetched with the type its directive names.
#ifndef XRB_TRACE_TRACEFMT_H
#define XRB_TRACE_TRACEFMT_H

#include <cstdarg>
#include <cstddef>

// Writes at most cap bytes including the terminating zero; returns the
// length written.
size_t traceFormatChecked(char* out, size_t cap, char const* format, va_list args);

#endif
