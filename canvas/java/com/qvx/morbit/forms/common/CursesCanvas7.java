package com.qvx.morbit.forms.common;

import com.qvx.morbit.MorbitException;

/**
 * A wide-character curses screen for a Java terminal program: the Java side
 * of the native library {@code libtermcanvas.so}.
 *
 * <p><b>Fixed names.</b> Every method here is a native method whose C
 * function the library exports under the JNI name of this class and method
 * ({@code Java_com_qvx_morbit_forms_common_CursesCanvas7_init}, ...). The
 * package, the class name and the method names are therefore part of the
 * library's interface: a class of another name or package cannot use the
 * library ({@link UnsatisfiedLinkError} at the first call).
 *
 * <p><b>Loading.</b> The class loads the library when it is initialised, with
 * {@code System.loadLibrary("termcanvas")}, which searches
 * {@code java.library.path}. The Debian package installs the library in
 * {@code /usr/lib/jni}, which is on the JVM's default path; otherwise start
 * Java with {@code -Djava.library.path=} the folder holding
 * {@code libtermcanvas.so}. A missing library is an
 * {@link UnsatisfiedLinkError} when the class is first used.
 *
 * <p><b>Life cycle.</b> {@link #init(int, int)} sets the terminal up;
 * {@link #endwin()} gives it back. {@code init} may throw
 * {@link MorbitException} after it has put the terminal into curses mode, so
 * call {@code endwin} in a {@code finally} block:
 *
 * <pre>{@code
 * CursesCanvas7 c = new CursesCanvas7();
 * try {
 *     c.init(24, 80);          // at least 24 lines of 80 columns
 *     c.move(1, 1);
 *     c.add_wch('A', c.A_BOLD(), 0);
 *     c.refresh();
 * } catch (MorbitException e) {
 *     // the terminal is unusable or too small
 * } finally {
 *     c.endwin();
 * }
 * }</pre>
 *
 * <p><b>Positions.</b> {@link #move(int, int)} and
 * {@link #mvadd_wch(int, int, char, int, int)} take 1-based positions with
 * the column first; {@link #getx()} and {@link #gety()} report curses'
 * 0-based positions; {@link #mvwin(int, int)} passes its 0-based line and
 * column to curses unchanged.
 *
 * <p><b>Results.</b> Unless a method says otherwise, the result is curses'
 * result: 0 ({@code OK}) for success and -1 ({@code ERR}, see {@link #ERR()})
 * for failure. The methods never throw, except {@code init}.
 *
 * <p><b>Before {@code init}.</b> There is no screen until {@code init} (or
 * {@link #initscr()}) made one: the methods that work on the screen fail with
 * -1, the size and cursor methods answer -1, {@link #has_colors()} answers
 * false and {@link #COLORS()} 0. The constants and the signal methods work at
 * any time. The same holds after {@code init} on a terminal curses cannot
 * use.
 *
 * <p><b>Threads.</b> Curses state belongs to the whole process and the
 * library takes no locks: make all calls from one thread, or one at a time.
 *
 * <p><b>Debug log.</b> When the environment variable {@code DEBUG} is set
 * (to anything, even the empty text) at {@code init}, the library appends
 * lines to {@code /tmp/CursesDebug.log}: the entry and exit of
 * {@code init} and {@code endwin}, exceptions, every character drawn with
 * {@code mvadd_wch} and every {@code get_wch} result, so also every key
 * typed.
 *
 * <p>Method names follow curses, so they break Java's naming conventions.
 */
public class CursesCanvas7 {
    static {
        System.loadLibrary("termcanvas");
    }

    /** A handle on the one curses screen of the process; it holds no state of its own. */
    public CursesCanvas7() {
    }

    // ---- Screen set-up and tear-down --------------------------------------

    /**
     * Sets the terminal up for the canvas and checks its size.
     *
     * <p>In order: reads the environment variable {@code DEBUG} (set, even to
     * the empty text, turns the debug log on until the next {@code init});
     * sets the C locale from the environment ({@code setlocale(LC_ALL, "")}),
     * so a UTF-8 locale is needed for characters beyond ASCII; makes the
     * curses screen ({@code initscr}, or keeps the one that exists); and puts
     * the terminal in raw, no-echo mode with key codes for the function keys
     * and reads that never wait ({@code raw}, {@code noecho}, {@code nonl},
     * {@code keypad}, {@code nodelay}, {@code typeahead(-1)}). In raw mode
     * Ctrl-C and Ctrl-\ are read as the keys 3 and 28 and send no signal.
     * Nothing appears on the terminal until the first {@link #refresh()}.
     *
     * <p>Calling it again keeps the existing screen and sets the modes
     * again; after {@link #endwin()} the next refresh takes the terminal back.
     *
     * @param minLines the fewest lines the program can work with
     * @param minCols the fewest columns the program can work with
     * @throws MorbitException when there is no usable terminal ({@code TERM}
     *     unknown, no terminal) or it has fewer than {@code minLines} lines or
     *     {@code minCols} columns; the message is
     *     "stdscr TerminalException in C code" and the code null. The set-up
     *     goes on all the same, so a terminal that is too small is left in
     *     curses mode: call {@link #endwin()} (in a {@code finally} block)
     *     to give it back.
     */
    public native void init(int minLines, int minCols) throws MorbitException;

    /**
     * Makes the curses screen if there is none, without the modes and the
     * size check of {@link #init(int, int)}. A terminal curses cannot use
     * gives no screen (and does not end the JVM).
     *
     * @return 1 when there is a screen afterwards, 0 otherwise
     */
    public native int initscr();

    /**
     * Gives the terminal back: leaves curses mode, restores the terminal
     * modes that were in force before curses set up, and puts the cursor at
     * the bottom line. The screen is kept; the next {@link #refresh()} (or
     * {@link #init(int, int)}) resumes curses mode, which lets a program
     * leave the terminal to another program for a while. Harmless before
     * {@code init} and when called twice.
     */
    public native void endwin();

    /**
     * Saves the current terminal modes for a later {@link #resetty()}.
     *
     * @return 0, or -1 before {@code init}
     */
    public native int savetty();

    /**
     * Restores the terminal modes saved by {@link #savetty()}.
     *
     * @return 0, or -1 before {@code init}
     */
    public native int resetty();

    /**
     * Blanks the whole screen and makes the next {@link #refresh()} repaint
     * the terminal from scratch.
     *
     * @return 0, or -1 before {@code init}
     */
    public native int clear();

    /**
     * Blanks the whole screen; the next {@link #refresh()} sends only the
     * changes.
     *
     * @return 0, or -1 before {@code init}
     */
    public native int erase();

    /**
     * Shows on the terminal what was drawn since the last refresh and puts
     * the terminal's cursor at the screen's cursor. Nothing drawn appears
     * before this call.
     *
     * @return 0, or -1 before {@code init}
     */
    public native int refresh();

    /**
     * Moves the screen window to another place of the terminal (curses'
     * {@code mvwin}). The standard screen fills the whole terminal, so only
     * (0, 0) succeeds.
     *
     * @param line the new top line, 0-based (note: line first, unlike
     *     {@link #move(int, int)})
     * @param column the new left column, 0-based
     * @return 0, or -1 when the window would not fit the terminal or before
     *     {@code init}
     */
    public native int mvwin(int line, int column);

    /**
     * Sounds the terminal's bell, or flashes the screen if it has no bell.
     *
     * @return 0, or -1 before {@code init}
     */
    public native int beep();

    // ---- Colour -------------------------------------------------------------

    /**
     * Whether the terminal can show colours.
     *
     * @return true when it can; false before {@code init}
     */
    public native boolean has_colors();

    /**
     * Whether the terminal lets {@link #init_color(int, int, int, int)}
     * redefine its colours.
     *
     * @return true when it does; false before {@code init}
     */
    public native boolean can_change_color();

    /**
     * Starts colour: needed once after {@link #init(int, int)} and before
     * {@link #init_pair(int, int, int)}, {@link #COLORS()} and
     * {@link #COLOR_PAIRS()} mean anything. On a terminal without colours
     * (see {@link #has_colors()}) it succeeds, but {@code COLORS} stays 0
     * and {@code init_pair} fails.
     *
     * @return 0, or -1 before {@code init}
     */
    public native int start_color();

    /**
     * Defines a colour pair: a foreground and a background colour that
     * drawing methods name by the pair's number. Pair 0 is the terminal's
     * own colours and cannot be changed. Each argument is cut to 16 bits.
     *
     * @param pair the pair, 1 to {@link #COLOR_PAIRS()} - 1
     * @param fg the foreground colour, 0 to {@link #COLORS()} - 1, for
     *     example {@link #COLOR_YELLOW()}
     * @param bg the background colour, 0 to {@link #COLORS()} - 1
     * @return 0, or -1 for numbers out of range, before
     *     {@link #start_color()} or before {@code init}
     */
    public native int init_pair(int pair, int fg, int bg);

    /**
     * Redefines a colour, on terminals where {@link #can_change_color()} is
     * true. Each argument is cut to 16 bits.
     *
     * @param color the colour, 0 to {@link #COLORS()} - 1
     * @param r its red part, 0 to 1000
     * @param g its green part, 0 to 1000
     * @param b its blue part, 0 to 1000
     * @return 0, or -1 when the terminal cannot change colours, for numbers
     *     out of range or before {@code init}
     */
    public native int init_color(int color, int r, int g, int b);

    /**
     * The number of colours of the terminal.
     *
     * @return curses' {@code COLORS}: 8, 16, 256, ... after
     *     {@link #start_color()}, 0 before
     */
    public native int COLORS();

    /**
     * The number of colour pairs of the terminal.
     *
     * @return curses' {@code COLOR_PAIRS} after {@link #start_color()}, 0
     *     before
     */
    public native int COLOR_PAIRS();

    // ---- Cursor, single-byte output and input -----------------------------

    /**
     * The cursor's column.
     *
     * @return the column, 0-based (the column {@code move} calls n is n - 1),
     *     or -1 before {@code init}
     */
    public native int getx();

    /**
     * The cursor's line.
     *
     * @return the line, 0-based (the line {@code move} calls n is n - 1), or
     *     -1 before {@code init}
     */
    public native int gety();

    /**
     * The width of the screen.
     *
     * @return the number of columns, or -1 before {@code init}
     */
    public native int getmaxx();

    /**
     * The height of the screen.
     *
     * @return the number of lines, or -1 before {@code init}
     */
    public native int getmaxy();

    /**
     * Moves the cursor. The terminal's cursor follows at the next
     * {@link #refresh()}.
     *
     * @param column the column, 1-based (1 is the left edge)
     * @param line the line, 1-based (1 is the top line)
     * @return 0, or -1 when the position is outside the screen (the cursor
     *     stays where it was) or before {@code init}
     */
    public native int move(int column, int line);

    /**
     * Draws a single-byte character at the cursor and moves the cursor one
     * column on (to the next line after the last column). Meant for ASCII:
     * other characters go through {@link #add_wch(int, int, int)}. The value
     * drawn is {@code ch | attrs | pair << 8}.
     *
     * @param ch the character, 0 to 255 (control characters are shown as
     *     {@code ^X}; a newline clears the rest of the line and moves to the
     *     next)
     * @param attrs attributes, {@code A_} values or-ed together, for example
     *     {@code A_BOLD() | A_UNDERLINE()}; 0 for none
     * @param pair the colour pair, 0 for the terminal's colours
     * @return 0; -1 when nothing could be drawn, when the character filled
     *     the bottom right corner (it is drawn; the screen does not scroll),
     *     or before {@code init}
     */
    public native int addch(int ch, int attrs, int pair);

    /**
     * Reads a byte or key code without waiting. Characters beyond ASCII
     * arrive as several bytes in a UTF-8 terminal: use {@link #get_wch()} to
     * read them whole.
     *
     * @return the byte (0 to 255), a key code ({@code KEY_} values, 256 and
     *     above), or -1 when no key is waiting or before {@code init}
     */
    public native int getch();

    // ---- Wide-character output and input ---------------------------------

    /**
     * Draws a character at the cursor in the given attributes and colour
     * pair and moves the cursor on by the character's width: one column, or
     * two for a wide character such as {@code '世'} (one that does not fit
     * on the rest of the line goes to the start of the next). The colour
     * pair becomes the screen's current pair.
     *
     * @param ch the character's Unicode code point (for example from
     *     {@code String.codePoints()})
     * @param attrs attributes, {@code A_} values or-ed together; 0 for none
     * @param pair the colour pair, 0 for the terminal's colours; a pair
     *     curses refuses (negative, or not below {@link #COLOR_PAIRS()})
     *     leaves the screen's current pair in force
     * @return 0; -1 when nothing could be drawn, when the character filled
     *     the bottom right corner (it is drawn), or before {@code init}
     */
    public native int add_wch(int ch, int attrs, int pair);

    /**
     * Moves the cursor, then draws a character there, in the given
     * attributes and colour pair, and moves the cursor on by its width (one
     * or two columns). The rendition ({@code attrs | pair << 8}) stays the
     * screen's current rendition afterwards, so later {@link #addch} calls
     * are drawn in it too.
     *
     * @param column the column, 1-based
     * @param line the line, 1-based
     * @param ch the character; a Java {@code char}, so one from the Basic
     *     Multilingual Plane (use {@link #add_wch(int, int, int)} for others)
     * @param attrs attributes, {@code A_} values or-ed together; 0 for none
     * @param pair the colour pair, 0 for the terminal's colours
     * @return 0; -1 when the position is outside the screen (nothing is
     *     drawn, the cursor stays, the rendition is set all the same), when
     *     the character filled the bottom right corner (it is drawn), or
     *     before {@code init}
     */
    public native int mvadd_wch(int column, int line, char ch, int attrs, int pair);

    /**
     * Reads a character or key code without waiting: the call to use for
     * keyboard input. Characters and key codes come in one range and are
     * not told apart: a key code such as {@link #KEY_UP()} (259) is also the
     * code point of a character (U+0103), so a program that expects such
     * characters must read with care. With {@code DEBUG} set, each result is
     * written to the debug log.
     *
     * @return the character's Unicode code point, a key code ({@code KEY_}
     *     values), or -1 when no key is waiting or before {@code init}.
     *     Return reads as 13, Tab as 9, Backspace usually as 127 or
     *     {@link #KEY_BACKSPACE()}, Ctrl-C as 3.
     */
    public native int get_wch();

    // ---- Key codes (curses' values) ----------------------------------------

    /**
     * The key code of a function key.
     *
     * @param n the function key's number, 0 to 63 (F1 is 1)
     * @return 264 + n: {@code KEY_F(1)} is 265, {@code KEY_F(12)} is 276
     */
    public native int KEY_F(int n);

    /**
     * The key code of the down arrow key.
     *
     * @return 258 (0x102)
     */
    public native int KEY_DOWN();

    /**
     * The key code of the up arrow key.
     *
     * @return 259 (0x103)
     */
    public native int KEY_UP();

    /**
     * The key code of the left arrow key.
     *
     * @return 260 (0x104)
     */
    public native int KEY_LEFT();

    /**
     * The key code of the right arrow key.
     *
     * @return 261 (0x105)
     */
    public native int KEY_RIGHT();

    /**
     * The key code of the Home key.
     *
     * @return 262 (0x106)
     */
    public native int KEY_HOME();

    /**
     * The key code of the Backspace key, on terminals that send one (many
     * send the character 127 instead).
     *
     * @return 263 (0x107)
     */
    public native int KEY_BACKSPACE();

    /**
     * The key code of the Delete key (delete character).
     *
     * @return 330 (0x14A)
     */
    public native int KEY_DC();

    /**
     * The key code of the Insert key (insert character).
     *
     * @return 331 (0x14B)
     */
    public native int KEY_IC();

    /**
     * The key code of the key that leaves insert mode, on terminals that
     * have one.
     *
     * @return 332 (0x14C)
     */
    public native int KEY_EIC();

    /**
     * The key code of the Page Down key (next page).
     *
     * @return 338 (0x152)
     */
    public native int KEY_NPAGE();

    /**
     * The key code of the Page Up key (previous page).
     *
     * @return 339 (0x153)
     */
    public native int KEY_PPAGE();

    /**
     * The key code of the keypad's Enter key, on terminals that send one;
     * the Return key reads as the character 13.
     *
     * @return 343 (0x157)
     */
    public native int KEY_ENTER();

    /**
     * The key code of Shift-Tab (back tab).
     *
     * @return 353 (0x161)
     */
    public native int KEY_BTAB();

    /**
     * The key code of the End key.
     *
     * @return 360 (0x168)
     */
    public native int KEY_END();

    /**
     * Curses' failure result, also what the read methods answer when no key
     * is waiting.
     *
     * @return -1
     */
    public native int ERR();

    // ---- Attributes (or them together for the attrs arguments) ------------

    /**
     * No attributes.
     *
     * @return 0
     */
    public native int A_NORMAL();

    /**
     * The bits of a curses character value that hold the character.
     *
     * @return 0xFF
     */
    public native int A_CHARTEXT();

    /**
     * The bits of a curses character value that hold the colour pair (pair n
     * is {@code n << 8}).
     *
     * @return 0xFF00
     */
    public native int A_COLOR();

    /**
     * The terminal's best highlighting.
     *
     * @return 0x10000
     */
    public native int A_STANDOUT();

    /**
     * Underlined.
     *
     * @return 0x20000
     */
    public native int A_UNDERLINE();

    /**
     * Reverse video: foreground and background swapped.
     *
     * @return 0x40000
     */
    public native int A_REVERSE();

    /**
     * Blinking.
     *
     * @return 0x80000
     */
    public native int A_BLINK();

    /**
     * Half bright.
     *
     * @return 0x100000
     */
    public native int A_DIM();

    /**
     * Bold or extra bright.
     *
     * @return 0x200000
     */
    public native int A_BOLD();

    /**
     * The terminal's alternate (line-drawing) character set.
     *
     * @return 0x400000
     */
    public native int A_ALTCHARSET();

    /**
     * Invisible.
     *
     * @return 0x800000
     */
    public native int A_INVIS();

    /**
     * Protected.
     *
     * @return 0x1000000
     */
    public native int A_PROTECT();

    /**
     * Horizontal highlight (rarely supported).
     *
     * @return 0x2000000
     */
    public native int A_HORIZONTAL();

    /**
     * Left highlight (rarely supported).
     *
     * @return 0x4000000
     */
    public native int A_LEFT();

    /**
     * Low highlight (rarely supported).
     *
     * @return 0x8000000
     */
    public native int A_LOW();

    /**
     * Right highlight (rarely supported).
     *
     * @return 0x10000000
     */
    public native int A_RIGHT();

    /**
     * Top highlight (rarely supported).
     *
     * @return 0x20000000
     */
    public native int A_TOP();

    /**
     * Vertical highlight (rarely supported).
     *
     * @return 0x40000000
     */
    public native int A_VERTICAL();

    /**
     * The bits of a curses character value that hold attributes and colour
     * pair.
     *
     * @return 0xFFFFFF00 (-256)
     */
    public native int A_ATTRIBUTES();

    // ---- Colours (for init_pair) -------------------------------------------

    /**
     * Black.
     *
     * @return 0
     */
    public native int COLOR_BLACK();

    /**
     * Red.
     *
     * @return 1
     */
    public native int COLOR_RED();

    /**
     * Green.
     *
     * @return 2
     */
    public native int COLOR_GREEN();

    /**
     * Yellow.
     *
     * @return 3
     */
    public native int COLOR_YELLOW();

    /**
     * Blue.
     *
     * @return 4
     */
    public native int COLOR_BLUE();

    /**
     * Magenta.
     *
     * @return 5
     */
    public native int COLOR_MAGENTA();

    /**
     * Cyan.
     *
     * @return 6
     */
    public native int COLOR_CYAN();

    /**
     * White.
     *
     * @return 7
     */
    public native int COLOR_WHITE();

    // ---- Signal deferral ----------------------------------------------------

    /**
     * Catches the next interrupt signal ({@code SIGINT}): instead of the
     * JVM's handling (running the shutdown hooks and ending), the signal
     * sets a flag that {@link #interruptPending()} reads.
     *
     * <p>One call catches one signal: the handler is removed as the signal
     * arrives, and a further {@code SIGINT} before the next
     * {@code deferInterrupt} ends the JVM at once (no shutdown hooks, no
     * {@code finally}, the terminal left in curses mode). So call it again
     * as soon as {@code interruptPending} reports the signal. While the
     * terminal is in the raw mode of {@link #init(int, int)}, typing Ctrl-C
     * sends no signal (it reads as the key 3); signals still come from
     * {@code kill} and while the terminal is not in raw mode. Works before
     * {@code init}.
     *
     * @return 1
     */
    public native int deferInterrupt();

    /**
     * Whether a deferred interrupt signal arrived.
     *
     * @return 1 when one arrived since the last {@link #clearInterrupt()},
     *     else 0
     */
    public native int interruptPending();

    /**
     * Resets the flag of {@link #interruptPending()}. It does not catch the
     * next signal: {@link #deferInterrupt()} does.
     *
     * @return 0, the flag read back
     */
    public native int clearInterrupt();

    /**
     * Catches the next quit signal ({@code SIGQUIT}): instead of the JVM's
     * handling (printing a thread dump), the signal sets a flag that
     * {@link #quitPending()} reads. One call catches one signal; a further
     * {@code SIGQUIT} before the next {@code deferQuit} ends the JVM at once
     * (with a core dump where they are enabled). In raw mode, typing Ctrl-\
     * sends no signal (it reads as the key 28). Works before {@code init}.
     *
     * @return 1
     */
    public native int deferQuit();

    /**
     * Whether a deferred quit signal arrived.
     *
     * @return 1 when one arrived since the last {@link #clearQuit()}, else 0
     */
    public native int quitPending();

    /**
     * Resets the flag of {@link #quitPending()}. It does not catch the next
     * signal: {@link #deferQuit()} does.
     *
     * @return 0, the flag read back
     */
    public native int clearQuit();
}
