// Helpers shared by the units of the canvas library and never exported: the
// library is built with hidden visibility and a version script, so `error`
// here can never be bound to the C library's function of the same name.
#ifndef TERMCANVAS_CANVAS_INTERNAL_H
#define TERMCANVAS_CANVAS_INTERNAL_H

#include <jni.h>

namespace termcanvas {

// 1 when DEBUG was in the environment at the last init, else 0.
extern int debug;

// Appends "text\n" to the debug log; a log that cannot be opened is ignored.
void debugMsg(char const* text);

// debugMsg of a printf-style text cut to the debug line size, when debugging.
void debugf(char const* format, ...) __attribute__((format(printf, 1, 2)));

// Marks a com.qvx.morbit.MorbitException pending in the virtual machine; it is
// thrown when the native method returns.  Returns normally.
void error(JNIEnv* env, char const* text);

} // namespace termcanvas

#endif
