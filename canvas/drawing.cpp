// Cursor, output and input on the standard screen.
#include "CursesCanvas7.h"

#include <curses.h>

#include "canvas_internal.h"

using termcanvas::debugf;

namespace {

// The 16-bit code of a Java char; characters outside the BMP come as
// surrogates and are drawn one half at a time, as curses sees them.
wchar_t javaChar(jint code)
{
    return static_cast<wchar_t>(code & 0xFFFF);
}

chtype rendition(jint attrs, jint pair)
{
    return static_cast<chtype>(attrs) | (static_cast<chtype>(pair) << 8);
}

} // namespace

extern "C" {

JNIEXPORT jint JNICALL TC_NATIVE(getx)(JNIEnv*, jobject)
{
    return getcurx(stdscr);
}
JNIEXPORT jint JNICALL TC_NATIVE(gety)(JNIEnv*, jobject)
{
    return getcury(stdscr);
}
JNIEXPORT jint JNICALL TC_NATIVE(getmaxx)(JNIEnv*, jobject)
{
    return getmaxx(stdscr);
}
JNIEXPORT jint JNICALL TC_NATIVE(getmaxy)(JNIEnv*, jobject)
{
    return getmaxy(stdscr);
}

JNIEXPORT jint JNICALL TC_NATIVE(move)(JNIEnv*, jobject, jint column, jint line)
{
    return wmove(stdscr, line - 1, column - 1);
}

JNIEXPORT jint JNICALL TC_NATIVE(addch)(JNIEnv*, jobject, jint ch, jint attrs, jint pair)
{
    return waddch(stdscr, static_cast<chtype>(ch) | rendition(attrs, pair));
}

JNIEXPORT jint JNICALL TC_NATIVE(getch)(JNIEnv*, jobject)
{
    return wgetch(stdscr);
}

JNIEXPORT jint JNICALL TC_NATIVE(add_1wch)(JNIEnv*, jobject, jint ch, jint attrs, jint pair)
{
    wchar_t const text[2] = {static_cast<wchar_t>(ch), L'\0'};
    cchar_t cell;
    // The colour comes from the screen's pair alone: setcchar refuses a negative
    // pair and would leave the cell unset.
    setcchar(&cell, text, static_cast<attr_t>(attrs), 0, nullptr);
    wcolor_set(stdscr, static_cast<short>(pair), nullptr);
    return wadd_wch(stdscr, &cell);
}

JNIEXPORT jint JNICALL TC_NATIVE(mvadd_1wch)(JNIEnv*, jobject, jint column, jint line, jchar ch, jint attrs, jint pair)
{
    wchar_t const code = javaChar(ch);
    debugf("mvadd_wch: x = %d, y = %d, wch = %x", static_cast<int>(column), static_cast<int>(line),
           static_cast<unsigned>(code));
    wchar_t const text[2] = {code, L'\0'};
    cchar_t cell;
    setcchar(&cell, text, A_NORMAL, 0, nullptr);
    // The rendition is the screen's, so it stays in force after this call.
    wattrset(stdscr, static_cast<int>(rendition(attrs, pair)));
    if (wmove(stdscr, line - 1, column - 1) == ERR)
        return -1;
    return wadd_wch(stdscr, &cell);
}

JNIEXPORT jint JNICALL TC_NATIVE(get_1wch)(JNIEnv*, jobject)
{
    wint_t wch = 0;
    jint const result = wget_wch(stdscr, &wch) == ERR ? -1 : static_cast<jint>(wch);
    debugf("get_wch: wch = %x", static_cast<unsigned>(result));
    return result;
}

} // extern "C"
