// Key-code, attribute and colour constants, as curses defines them.
#include "CursesCanvas7.h"

#include <curses.h>

// Java code keeps these values, so a curses with other ones must not build.
#define TC_CONSTANT(jniName, name, value)                                                                              \
    static_assert(static_cast<jint>(name) == static_cast<jint>(value), #name " is not the value Java expects");        \
    JNIEXPORT jint JNICALL TC_NATIVE(jniName)(JNIEnv*, jobject)                                                        \
    {                                                                                                                  \
        return static_cast<jint>(name);                                                                                \
    }

extern "C" {

static_assert(KEY_F(0) == 0x108, "KEY_F(0) is not the value Java expects");
JNIEXPORT jint JNICALL TC_NATIVE(KEY_1F)(JNIEnv*, jobject, jint n)
{
    return KEY_F(n);
}

TC_CONSTANT(KEY_1DOWN, KEY_DOWN, 0x102)
TC_CONSTANT(KEY_1UP, KEY_UP, 0x103)
TC_CONSTANT(KEY_1LEFT, KEY_LEFT, 0x104)
TC_CONSTANT(KEY_1RIGHT, KEY_RIGHT, 0x105)
TC_CONSTANT(KEY_1HOME, KEY_HOME, 0x106)
TC_CONSTANT(KEY_1BACKSPACE, KEY_BACKSPACE, 0x107)
TC_CONSTANT(KEY_1DC, KEY_DC, 0x14A)
TC_CONSTANT(KEY_1IC, KEY_IC, 0x14B)
TC_CONSTANT(KEY_1EIC, KEY_EIC, 0x14C)
TC_CONSTANT(KEY_1NPAGE, KEY_NPAGE, 0x152)
TC_CONSTANT(KEY_1PPAGE, KEY_PPAGE, 0x153)
TC_CONSTANT(KEY_1ENTER, KEY_ENTER, 0x157)
TC_CONSTANT(KEY_1BTAB, KEY_BTAB, 0x161)
TC_CONSTANT(KEY_1END, KEY_END, 0x168)
// Spelled out: ERR is itself a macro and would be expanded inside TC_CONSTANT.
static_assert(ERR == -1, "ERR is not the value Java expects");
JNIEXPORT jint JNICALL TC_NATIVE(ERR)(JNIEnv*, jobject)
{
    return ERR;
}

TC_CONSTANT(A_1NORMAL, A_NORMAL, 0)
TC_CONSTANT(A_1CHARTEXT, A_CHARTEXT, 0xFF)
TC_CONSTANT(A_1COLOR, A_COLOR, 0xFF00)
TC_CONSTANT(A_1STANDOUT, A_STANDOUT, 0x10000)
TC_CONSTANT(A_1UNDERLINE, A_UNDERLINE, 0x20000)
TC_CONSTANT(A_1REVERSE, A_REVERSE, 0x40000)
TC_CONSTANT(A_1BLINK, A_BLINK, 0x80000)
TC_CONSTANT(A_1DIM, A_DIM, 0x100000)
TC_CONSTANT(A_1BOLD, A_BOLD, 0x200000)
TC_CONSTANT(A_1ALTCHARSET, A_ALTCHARSET, 0x400000)
TC_CONSTANT(A_1INVIS, A_INVIS, 0x800000)
TC_CONSTANT(A_1PROTECT, A_PROTECT, 0x1000000)
TC_CONSTANT(A_1HORIZONTAL, A_HORIZONTAL, 0x2000000)
TC_CONSTANT(A_1LEFT, A_LEFT, 0x4000000)
TC_CONSTANT(A_1LOW, A_LOW, 0x8000000)
TC_CONSTANT(A_1RIGHT, A_RIGHT, 0x10000000)
TC_CONSTANT(A_1TOP, A_TOP, 0x20000000)
TC_CONSTANT(A_1VERTICAL, A_VERTICAL, 0x40000000)
TC_CONSTANT(A_1ATTRIBUTES, A_ATTRIBUTES, 0xFFFFFF00u)

TC_CONSTANT(COLOR_1BLACK, COLOR_BLACK, 0)
TC_CONSTANT(COLOR_1RED, COLOR_RED, 1)
TC_CONSTANT(COLOR_1GREEN, COLOR_GREEN, 2)
TC_CONSTANT(COLOR_1YELLOW, COLOR_YELLOW, 3)
TC_CONSTANT(COLOR_1BLUE, COLOR_BLUE, 4)
TC_CONSTANT(COLOR_1MAGENTA, COLOR_MAGENTA, 5)
TC_CONSTANT(COLOR_1CYAN, COLOR_CYAN, 6)
TC_CONSTANT(COLOR_1WHITE, COLOR_WHITE, 7)

} // extern "C"
