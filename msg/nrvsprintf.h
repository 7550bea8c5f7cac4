// Positional formatter: printf with "%n$" directives mixed with plain ones.
// A format holds at most 100 directives and refers to arguments 1 to 100;
// directives beyond those bounds are copied as plain text.  Each argument is
// fetched with the type its conversion and length modifier name, so integers,
// pointers, strings and floating-point values all format correctly on 32-bit
// and 64-bit hosts.  A null string prints as nothing.
#ifndef XRB_MSG_NRVSPRINTF_H
#define XRB_MSG_NRVSPRINTF_H

#include <cstdarg>
#include <cstddef>

// The output area must be large enough; returns the count of characters written.
// These two are kept for completeness of the interface; the client does not call them.
int nrvsprintf(char* out, char const* format, ...);
int nrvvsprintf(char* out, char const* format, va_list args);

// Bounded forms: write at most size - 1 characters and the terminator (nothing
// when size is 0); return the length the whole text would have had.
// Kept for completeness of the interface; the client does not call it.
int nrvsnprintf(char* out, std::size_t size, char const* format, ...);
int nrvvsnprintf(char* out, std::size_t size, char const* format, va_list args);

#endif
