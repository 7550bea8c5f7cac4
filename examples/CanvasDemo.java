import com.qvx.morbit.MorbitException;
import com.qvx.morbit.forms.common.CursesCanvas7;

/**
 * The terminal canvas in one screen: size check, wide characters, colours and
 * attributes, a cursor moved with the arrow keys, typed keys shown, Ctrl-C
 * deferred, and the terminal given back however the program ends.
 *
 * <p>Build and run it in the current terminal: {@code bash examples/canvas-demo.sh}
 */
public final class CanvasDemo {
    static final int MIN_COLUMNS = 44, MIN_LINES = 16;
    // Colour pairs of this program (pair 0 is the terminal's own colours).
    static final int TITLE = 1, GREETING = 2, FIRST_COLOUR = 3;
    // The box the @ moves in: its top left corner and the size inside it.
    static final int BOX_COLUMN = 3, BOX_LINE = 7, FIELD_WIDTH = 30, FIELD_HEIGHT = 5;

    private final CursesCanvas7 c;
    private int atColumn = 1, atLine = 1;   // the @, 1-based within the box
    private String lastKey = "none yet";
    private String status = "kill -INT " + ProcessHandle.current().pid() + " is deferred too";
    private int interrupts = 0;

    private CanvasDemo(CursesCanvas7 canvas) {
        c = canvas;
    }

    public static void main(String[] args) throws InterruptedException {
        CursesCanvas7 c = new CursesCanvas7();   // loads libtermcanvas.so
        c.deferInterrupt();      // SIGINT now sets a flag instead of ending the JVM
        String problem = null;
        try {
            c.init(MIN_LINES, MIN_COLUMNS);       // the size check: throws if too small
            new CanvasDemo(c).run();
        } catch (MorbitException e) {
            // init went on after the check, so the terminal is in curses mode:
            // the finally block gives it back.  Say why after that.
            int columns = c.getmaxx(), lines = c.getmaxy();     // -1 without a screen
            problem = columns < 0 ? "this terminal cannot be used (TERM=" + System.getenv("TERM") + ")"
                    : "the demo needs " + MIN_COLUMNS + " columns and " + MIN_LINES
                      + " lines, this terminal has " + columns + " and " + lines;
        } finally {
            c.endwin();          // always: normal mode, echo and cursor come back
        }
        if (problem != null) {
            System.err.println("CanvasDemo: " + problem);
            System.exit(1);
        }
        System.out.println("CanvasDemo: bye");
    }

    private void run() throws InterruptedException {
        if (c.has_colors()) {
            c.start_color();
            c.init_pair(TITLE, c.COLOR_WHITE(), c.COLOR_BLUE());
            c.init_pair(GREETING, c.COLOR_YELLOW(), c.COLOR_BLUE());
            int[] colours = {c.COLOR_RED(), c.COLOR_GREEN(), c.COLOR_YELLOW(), c.COLOR_BLUE(),
                             c.COLOR_MAGENTA(), c.COLOR_CYAN()};
            for (int i = 0; i < colours.length; i++) {
                c.init_pair(FIRST_COLOUR + i, colours[i], c.COLOR_BLACK());
            }
        }   // without colours every pair draws in the terminal's colours
        draw();
        while (true) {
            int key = c.get_wch();              // never waits: -1 when nothing was typed
            if (key == c.ERR()) {
                if (c.interruptPending() == 1) {
                    c.deferInterrupt();         // first catch the next signal too,
                    c.clearInterrupt();         // then reset the flag
                    status = "interrupt signal " + ++interrupts + " deferred, q quits";
                    draw();
                }
                Thread.sleep(20);
                continue;
            }
            if (key == 'q' || key == 'Q') {
                return;
            }
            if (key == c.KEY_LEFT()) atColumn = Math.max(1, atColumn - 1);
            if (key == c.KEY_RIGHT()) atColumn = Math.min(FIELD_WIDTH, atColumn + 1);
            if (key == c.KEY_UP()) atLine = Math.max(1, atLine - 1);
            if (key == c.KEY_DOWN()) atLine = Math.min(FIELD_HEIGHT, atLine + 1);
            lastKey = describe(key) + " (" + key + ")";
            draw();
        }
    }

    /** Draws the whole screen; refresh sends only what changed to the terminal. */
    private void draw() {
        c.erase();
        int width = c.getmaxx();
        text(1, 1, " ".repeat(width), c.A_BOLD(), TITLE);
        text(2, 1, "termcanvas demo", c.A_BOLD(), TITLE);
        text(3, 3, "Grüße, 世界!", c.A_BOLD(), GREETING);   // 世 and 界 take two columns each
        int column = 3;
        String[] names = {"red", "green", "yellow", "blue", "magenta", "cyan"};
        for (int i = 0; i < names.length; i++) {
            column = text(column, 4, names[i], 0, FIRST_COLOUR + i) + 1;
        }
        column = text(3, 5, "bold", c.A_BOLD(), 0) + 1;
        column = text(column, 5, "underline", c.A_UNDERLINE(), 0) + 1;
        column = text(column, 5, "reverse", c.A_REVERSE(), 0) + 1;
        text(column, 5, "dim", c.A_DIM(), 0);

        // The box, one character at a time with mvadd_wch (1-based, column first).
        // Its attributes stay the screen's for later calls, so keep them 0 here.
        int right = BOX_COLUMN + FIELD_WIDTH + 1, bottom = BOX_LINE + FIELD_HEIGHT + 1;
        for (int x = BOX_COLUMN + 1; x < right; x++) {
            c.mvadd_wch(x, BOX_LINE, '─', 0, 0);
            c.mvadd_wch(x, bottom, '─', 0, 0);
        }
        for (int y = BOX_LINE + 1; y < bottom; y++) {
            c.mvadd_wch(BOX_COLUMN, y, '│', 0, 0);
            c.mvadd_wch(right, y, '│', 0, 0);
        }
        c.mvadd_wch(BOX_COLUMN, BOX_LINE, '┌', 0, 0);
        c.mvadd_wch(right, BOX_LINE, '┐', 0, 0);
        c.mvadd_wch(BOX_COLUMN, bottom, '└', 0, 0);
        c.mvadd_wch(right, bottom, '┘', 0, 0);

        text(3, 14, "Key: " + lastKey, 0, 0);
        text(3, 15, "Arrows move the @, q quits, Ctrl-C does not", c.A_DIM(), 0);
        text(3, 16, status, 0, 0);
        // The @ last, and the terminal's cursor left on it.
        text(BOX_COLUMN + atColumn, BOX_LINE + atLine, "@", c.A_BOLD(), GREETING);
        c.move(BOX_COLUMN + atColumn, BOX_LINE + atLine);
        c.refresh();
    }

    /** Draws text from a 1-based column and line; answers the column after it. */
    private int text(int column, int line, String s, int attrs, int pair) {
        c.move(column, line);
        s.codePoints().forEach(ch -> c.add_wch(ch, attrs, pair));
        return c.getx() + 1;                      // getx is 0-based
    }

    private String describe(int key) {
        if (key == c.KEY_UP()) return "up arrow";
        if (key == c.KEY_DOWN()) return "down arrow";
        if (key == c.KEY_LEFT()) return "left arrow";
        if (key == c.KEY_RIGHT()) return "right arrow";
        if (key >= c.KEY_F(1) && key <= c.KEY_F(12)) return "F" + (key - c.KEY_F(0));
        if (key == 3) return "Ctrl-C, a key in raw mode";
        if (key == 13) return "Return";
        if (key == 27) return "Escape";
        if (key == 127 || key == c.KEY_BACKSPACE()) return "Backspace";
        if (key < 32) return "Ctrl-" + (char) ('@' + key);
        return "'" + new String(Character.toChars(key)) + "'";
    }
}
