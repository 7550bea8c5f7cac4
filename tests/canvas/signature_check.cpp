// Compiled, never built: the javac-generated declarations and the
// library's own must agree, or this translation unit does not compile.
#include "com_qvx_morbit_forms_common_CursesCanvas7.h"

#include "CursesCanvas7.h"
