package com.qvx.morbit.forms.common;

import com.qvx.morbit.MorbitException;

/** The native side of the character-terminal canvas, as the tests see it. */
public class CursesCanvas7 {
    static {
        System.loadLibrary("termcanvas");
    }

    public native void init(int minLines, int minCols) throws MorbitException;
    public native int initscr();
    public native void endwin();
    public native int savetty();
    public native int resetty();
    public native int clear();
    public native int erase();
    public native int refresh();
    public native int mvwin(int line, int column);
    public native int beep();

    public native boolean has_colors();
    public native boolean can_change_color();
    public native int start_color();
    public native int init_pair(int pair, int fg, int bg);
    public native int init_color(int color, int r, int g, int b);
    public native int COLORS();
    public native int COLOR_PAIRS();

    public native int getx();
    public native int gety();
    public native int getmaxx();
    public native int getmaxy();
    public native int move(int column, int line);
    public native int addch(int ch, int attrs, int pair);
    public native int getch();

    public native int add_wch(int ch, int attrs, int pair);
    public native int mvadd_wch(int column, int line, char ch, int attrs, int pair);
    public native int get_wch();

    public native int KEY_F(int n);
    public native int KEY_DOWN();
    public native int KEY_UP();
    public native int KEY_LEFT();
    public native int KEY_RIGHT();
    public native int KEY_HOME();
    public native int KEY_BACKSPACE();
    public native int KEY_DC();
    public native int KEY_IC();
    public native int KEY_EIC();
    public native int KEY_NPAGE();
    public native int KEY_PPAGE();
    public native int KEY_ENTER();
    public native int KEY_BTAB();
    public native int KEY_END();
    public native int ERR();

    public native int A_NORMAL();
    public native int A_CHARTEXT();
    public native int A_COLOR();
    public native int A_STANDOUT();
    public native int A_UNDERLINE();
    public native int A_REVERSE();
    public native int A_BLINK();
    public native int A_DIM();
    public native int A_BOLD();
    public native int A_ALTCHARSET();
    public native int A_INVIS();
    public native int A_PROTECT();
    public native int A_HORIZONTAL();
    public native int A_LEFT();
    public native int A_LOW();
    public native int A_RIGHT();
    public native int A_TOP();
    public native int A_VERTICAL();
    public native int A_ATTRIBUTES();

    public native int COLOR_BLACK();
    public native int COLOR_RED();
    public native int COLOR_GREEN();
    public native int COLOR_YELLOW();
    public native int COLOR_BLUE();
    public native int COLOR_MAGENTA();
    public native int COLOR_CYAN();
    public native int COLOR_WHITE();

    public native int deferInterrupt();
    public native int interruptPending();
    public native int clearInterrupt();
    public native int deferQuit();
    public native int quitPending();
    public native int clearQuit();
}
