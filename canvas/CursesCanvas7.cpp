// Screen set-up and tear-down, and colour.
#include "CursesCanvas7.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>

#include <curses.h>

#include "canvas_internal.h"

using termcanvas::debug;
using termcanvas::debugMsg;

namespace {

char const TERMINAL_EXCEPTION[] = "stdscr TerminalException in C code";

// Like initscr(), which also hands back the existing screen when called again,
// but a terminal that cannot be set up gives no screen instead of ending the
// whole virtual machine, so that Java sees the failure as an exception.
WINDOW* openScreen()
{
    if (stdscr != nullptr)
        return stdscr;
    if (newterm(nullptr, stdout, stdin) == nullptr)
        return nullptr;
    def_prog_mode();
    return stdscr;
}

} // namespace

extern "C" {

JNIEXPORT void JNICALL TC_NATIVE(init)(JNIEnv* env, jobject, jint minLines, jint minCols)
{
    debug = std::getenv("DEBUG") != nullptr ? 1 : 0;
    if (debug)
        debugMsg("init entry");
    std::setlocale(LC_ALL, "");
    WINDOW* screen = openScreen();
    if (screen == nullptr || LINES < minLines || COLS < minCols)
        termcanvas::error(env, TERMINAL_EXCEPTION);
    // Set up all the same: Java gets the exception when this method returns.
    raw();
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    nodelay(stdscr, TRUE);
    typeahead(-1);
    if (debug)
        debugMsg("init exit");
}

JNIEXPORT jint JNICALL TC_NATIVE(initscr)(JNIEnv*, jobject)
{
    return openScreen() != nullptr ? 1 : 0;
}

JNIEXPORT void JNICALL TC_NATIVE(endwin)(JNIEnv*, jobject)
{
    if (debug)
        debugMsg("endwin entry");
    endwin();
    if (debug)
        debugMsg("endwin exit");
}

JNIEXPORT jint JNICALL TC_NATIVE(savetty)(JNIEnv*, jobject)
{
    return savetty();
}
JNIEXPORT jint JNICALL TC_NATIVE(resetty)(JNIEnv*, jobject)
{
    return resetty();
}
JNIEXPORT jint JNICALL TC_NATIVE(clear)(JNIEnv*, jobject)
{
    return wclear(stdscr);
}
JNIEXPORT jint JNICALL TC_NATIVE(erase)(JNIEnv*, jobject)
{
    return werase(stdscr);
}
JNIEXPORT jint JNICALL TC_NATIVE(refresh)(JNIEnv*, jobject)
{
    return wrefresh(stdscr);
}
JNIEXPORT jint JNICALL TC_NATIVE(beep)(JNIEnv*, jobject)
{
    return beep();
}

JNIEXPORT jint JNICALL TC_NATIVE(mvwin)(JNIEnv*, jobject, jint line, jint column)
{
    return mvwin(stdscr, line, column);
}

JNIEXPORT jboolean JNICALL TC_NATIVE(has_1colors)(JNIEnv*, jobject)
{
    return has_colors() ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jboolean JNICALL TC_NATIVE(can_1change_1color)(JNIEnv*, jobject)
{
    return can_change_color() ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jint JNICALL TC_NATIVE(start_1color)(JNIEnv*, jobject)
{
    return start_color();
}

JNIEXPORT jint JNICALL TC_NATIVE(init_1pair)(JNIEnv*, jobject, jint pair, jint fg, jint bg)
{
    return init_pair(static_cast<short>(pair), static_cast<short>(fg), static_cast<short>(bg));
}

JNIEXPORT jint JNICALL TC_NATIVE(init_1color)(JNIEnv*, jobject, jint color, jint r, jint g, jint b)
{
    return init_color(static_cast<short>(color), static_cast<short>(r), static_cast<short>(g), static_cast<short>(b));
}

JNIEXPORT jint JNICALL TC_NATIVE(COLORS)(JNIEnv*, jobject)
{
    return COLORS;
}
JNIEXPORT jint JNICALL TC_NATIVE(COLOR_1PAIRS)(JNIEnv*, jobject)
{
    return COLOR_PAIRS;
}

} // extern "C"
