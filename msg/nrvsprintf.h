// Positional formatter: printf with "%n$" directives mixed with plain ones.
#ifndef XRB_MSG_NRVSPRINTF_H
#define XRB_MSG_NRVSPRINTF_H

#include <cstdarg>

int nrvsprintf(char* out, char const* format, ...);
int nrvvsprintf(char* out, char const* format, va_list args);

#endif
