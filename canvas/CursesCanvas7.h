// Native methods of the Java class com.qvx.morbit.forms.common.CursesCanvas7.
//
// Each function is one native method; the exported name is the JNI spelling of
// the Java name ("_" written "_1").  Positions given to move and mvadd_wch are
// 1-based with the column first; getx and gety report curses' 0-based values.
// Results are the curses results (ERR is -1) unless a comment says otherwise.
#ifndef TERMCANVAS_CURSESCANVAS7_H
#define TERMCANVAS_CURSESCANVAS7_H

#include <jni.h>

#define TC_NATIVE(name) Java_com_qvx_morbit_forms_common_CursesCanvas7_##name

#ifdef __cplusplus
extern "C" {
#endif

// Screen set-up and tear-down.  init raises com.qvx.morbit.MorbitException
// when the terminal is unusable or smaller than asked, and sets up the rest
// all the same.  initscr answers 1 when a screen exists afterwards, else 0.
JNIEXPORT void JNICALL TC_NATIVE(init)(JNIEnv*, jobject, jint minLines, jint minCols);
JNIEXPORT jint JNICALL TC_NATIVE(initscr)(JNIEnv*, jobject);
JNIEXPORT void JNICALL TC_NATIVE(endwin)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(savetty)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(resetty)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(clear)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(erase)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(refresh)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(mvwin)(JNIEnv*, jobject, jint line, jint column);
JNIEXPORT jint JNICALL TC_NATIVE(beep)(JNIEnv*, jobject);

// Colour.  init_pair and init_color cut their arguments to 16 bits.
JNIEXPORT jboolean JNICALL TC_NATIVE(has_1colors)(JNIEnv*, jobject);
JNIEXPORT jboolean JNICALL TC_NATIVE(can_1change_1color)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(start_1color)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(init_1pair)(JNIEnv*, jobject, jint pair, jint fg, jint bg);
JNIEXPORT jint JNICALL TC_NATIVE(init_1color)(JNIEnv*, jobject, jint color, jint r, jint g, jint b);
JNIEXPORT jint JNICALL TC_NATIVE(COLORS)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(COLOR_1PAIRS)(JNIEnv*, jobject);

// Cursor, single-byte output and input.  The getters answer -1 without a screen.
JNIEXPORT jint JNICALL TC_NATIVE(getx)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(gety)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(getmaxx)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(getmaxy)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(move)(JNIEnv*, jobject, jint column, jint line);
JNIEXPORT jint JNICALL TC_NATIVE(addch)(JNIEnv*, jobject, jint ch, jint attrs, jint pair);
JNIEXPORT jint JNICALL TC_NATIVE(getch)(JNIEnv*, jobject);

// Wide-character output and input.  mvadd_wch answers -1 for a position
// outside the screen and leaves its rendition as the screen's; get_wch
// answers the character or key code read, or -1 when nothing was waiting.
JNIEXPORT jint JNICALL TC_NATIVE(add_1wch)(JNIEnv*, jobject, jint ch, jint attrs, jint pair);
JNIEXPORT jint JNICALL TC_NATIVE(mvadd_1wch)(JNIEnv*, jobject, jint column, jint line, jchar ch, jint attrs, jint pair);
JNIEXPORT jint JNICALL TC_NATIVE(get_1wch)(JNIEnv*, jobject);

// Key codes.
JNIEXPORT jint JNICALL TC_NATIVE(KEY_1F)(JNIEnv*, jobject, jint n);
JNIEXPORT jint JNICALL TC_NATIVE(KEY_1DOWN)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(KEY_1UP)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(KEY_1LEFT)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(KEY_1RIGHT)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(KEY_1HOME)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(KEY_1BACKSPACE)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(KEY_1DC)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(KEY_1IC)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(KEY_1EIC)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(KEY_1NPAGE)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(KEY_1PPAGE)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(KEY_1ENTER)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(KEY_1BTAB)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(KEY_1END)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(ERR)(JNIEnv*, jobject);

// Attributes and colours.
JNIEXPORT jint JNICALL TC_NATIVE(A_1NORMAL)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(A_1CHARTEXT)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(A_1COLOR)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(A_1STANDOUT)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(A_1UNDERLINE)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(A_1REVERSE)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(A_1BLINK)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(A_1DIM)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(A_1BOLD)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(A_1ALTCHARSET)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(A_1INVIS)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(A_1PROTECT)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(A_1HORIZONTAL)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(A_1LEFT)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(A_1LOW)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(A_1RIGHT)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(A_1TOP)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(A_1VERTICAL)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(A_1ATTRIBUTES)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(COLOR_1BLACK)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(COLOR_1RED)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(COLOR_1GREEN)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(COLOR_1YELLOW)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(COLOR_1BLUE)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(COLOR_1MAGENTA)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(COLOR_1CYAN)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(COLOR_1WHITE)(JNIEnv*, jobject);

// Signal deferral.  One deferral catches one signal: the handler is reset to
// the default as it runs, so Java defers again to catch the next.  The flags
// stay set until cleared; the clear methods answer the flag read back.
JNIEXPORT jint JNICALL TC_NATIVE(deferInterrupt)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(interruptPending)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(clearInterrupt)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(deferQuit)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(quitPending)(JNIEnv*, jobject);
JNIEXPORT jint JNICALL TC_NATIVE(clearQuit)(JNIEnv*, jobject);

#ifdef __cplusplus
}
#endif

#endif
