package canvasprobe;

import com.qvx.morbit.MorbitException;
import com.qvx.morbit.forms.common.CursesCanvas7;

import java.io.FileOutputStream;
import java.io.IOException;
import java.io.PrintStream;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.Arrays;
import java.util.Comparator;

/**
 * Drives the canvas library for the test driver: runs one scenario, writes
 * "key value" lines to a report file, and at each "ready N" line waits for the
 * driver to create the file report.goN before going on.
 */
public final class CanvasProbe {
    private static final long WAIT_MS = 20000;

    private final CursesCanvas7 c = new CursesCanvas7();
    private final String report;
    private final PrintStream out;

    private CanvasProbe(String report) throws IOException {
        this.report = report;
        this.out = new PrintStream(new FileOutputStream(report, true), true, "UTF-8");
    }

    private void put(String key, Object value) {
        out.println(key + " " + value);
    }

    private void ready(int step) throws InterruptedException {
        put("ready", step);
        long end = System.currentTimeMillis() + WAIT_MS;
        while (!Files.exists(Paths.get(report + ".go" + step))) {
            if (System.currentTimeMillis() > end) {
                put("timeout", step);
                return;
            }
            Thread.sleep(10);
        }
    }

    /** Counts the exceptions init raises, and keeps the text of the last. */
    private void init(int lines, int cols) {
        int raised = 0;
        try {
            c.init(lines, cols);
        } catch (MorbitException e) {
            raised++;
            put("message", e.getMessage());
            put("code", e.getCode());
        }
        put("raised", raised);
    }

    private int pollWch() throws InterruptedException {
        long end = System.currentTimeMillis() + WAIT_MS;
        int k;
        while ((k = c.get_wch()) == -1 && System.currentTimeMillis() < end) Thread.sleep(10);
        return k;
    }

    private void size(int lines, int cols) {
        put("before", c.getx() + " " + c.gety() + " " + c.getmaxx() + " " + c.getmaxy());
        init(lines, cols);
        // Set-up goes on after the exception: reads do not wait.
        long t0 = System.nanoTime();
        put("getch", c.getch());
        put("getch_ms", (System.nanoTime() - t0) / 1000000);
        put("size", c.getmaxx() + "x" + c.getmaxy());
        c.endwin();
    }

    private void cursor() {
        init(24, 80);
        put("move11", c.move(1, 1) + " " + c.getx() + " " + c.gety());
        put("move105", c.move(10, 5) + " " + c.getx() + " " + c.gety());
        put("max", c.getmaxx() + " " + c.getmaxy());
        put("initscr", c.initscr());
        c.endwin();
    }

    private void draw() throws InterruptedException {
        init(24, 80);
        put("colors", c.has_colors() + " " + c.start_color() + " " + c.COLORS());
        put("pair1", c.init_pair(1, c.COLOR_RED(), c.COLOR_BLUE()));
        put("pair2", c.init_pair(2, c.COLOR_GREEN(), c.COLOR_BLACK()));
        put("x", c.mvadd_wch(5, 3, 'X', 0, 0));
        put("eacute", c.mvadd_wch(10, 4, '\u00e9', 0, 0));
        put("wide", c.mvadd_wch(20, 5, '\u4e2d', 0, 0));
        put("after_wide", c.getx());
        put("outside", c.mvadd_wch(81, 1, 'Z', 0, 0) + " " + c.mvadd_wch(1, 25, 'Z', 0, 0)
                + " " + c.mvadd_wch(0, 1, 'Z', 0, 0) + " " + c.mvadd_wch(1, 0, 'Z', 0, 0));
        c.move(1, 6);
        put("add_wch", c.add_wch('B', c.A_BOLD(), 1));
        put("addch", c.addch('C', c.A_UNDERLINE(), 2));
        // The reverse rendition stays the screen's, so E is drawn reversed too.
        put("rendition", c.mvadd_wch(1, 8, 'D', c.A_REVERSE(), 0) + " " + c.addch('E', 0, 0));
        // A pair curses refuses (negative, or cut to a negative short) still draws the
        // character with its attributes, in the screen's pair.
        c.move(1, 10);
        put("badpair", c.add_wch('Q', c.A_BOLD(), -1) + " " + c.add_wch('R', c.A_BOLD(), 0x8000));
        c.refresh();
        ready(1);
        c.endwin();
    }

    private void input() throws InterruptedException {
        init(24, 80);
        long t0 = System.nanoTime();
        int w = c.get_wch();
        int g = c.getch();
        put("idle", w + " " + g + " " + (System.nanoTime() - t0) / 1000000);
        ready(1);
        put("key1", pollWch());
        put("key2", pollWch());
        put("key3", pollWch());
        long end = System.currentTimeMillis() + WAIT_MS;
        int k;
        while ((k = c.getch()) == -1 && System.currentTimeMillis() < end) Thread.sleep(10);
        put("key4", k);
        c.endwin();
    }

    private void signal(boolean quit) throws InterruptedException {
        put("pid", ProcessHandle.current().pid());
        put("defer", quit ? c.deferQuit() : c.deferInterrupt());
        ready(1);
        long end = System.currentTimeMillis() + WAIT_MS;
        while ((quit ? c.quitPending() : c.interruptPending()) == 0
                && System.currentTimeMillis() < end) Thread.sleep(10);
        put("pending", quit ? c.quitPending() : c.interruptPending());
        put("clear", quit ? c.clearQuit() : c.clearInterrupt());
        put("after_clear", quit ? c.quitPending() : c.interruptPending());
        ready(2);
        // A second signal, not deferred, should end the process before this.
        Thread.sleep(WAIT_MS);
        put("survived", 1);
    }

    private void debugLog() throws InterruptedException {
        init(24, 80);
        c.mvadd_wch(3, 2, 'A', 0, 0);
        c.get_wch();
        c.endwin();
    }

    private void badTerminal() {
        init(24, 80);
        put("initscr", c.initscr());
        put("getx", c.getx());
        // Without a screen every call fails as curses says, and none may crash.
        put("noscreen", c.move(1, 1) + " " + c.addch('a', 0, 0) + " " + c.add_wch('b', 0, 1)
                + " " + c.mvadd_wch(1, 1, 'c', c.A_BOLD(), 1) + " " + c.getch() + " "
                + c.get_wch() + " " + c.clear() + " " + c.erase() + " " + c.refresh() + " "
                + c.mvwin(0, 0) + " " + c.start_color() + " " + c.init_pair(1, 1, 2) + " "
                + c.gety() + " " + c.getmaxx() + " " + c.getmaxy());
        put("noscreen_misc", c.has_colors() + " " + c.COLORS() + " " + c.savetty() + " "
                + c.resetty() + " " + c.beep());
        c.endwin();
        put("survived", 1);
    }

    private void constants() throws Exception {
        Method[] methods = CursesCanvas7.class.getDeclaredMethods();
        Arrays.sort(methods, Comparator.comparing(Method::getName));
        for (Method m : methods) {
            String n = m.getName();
            if (Modifier.isNative(m.getModifiers()) && m.getParameterCount() == 0
                    && (n.startsWith("KEY_") || n.startsWith("A_") || n.startsWith("COLOR_")
                        && !n.equals("COLOR_PAIRS") || n.equals("ERR")))
                put(n, m.invoke(c));
        }
        put("KEY_F(0)", c.KEY_F(0));
        put("KEY_F(1)", c.KEY_F(1));
        put("KEY_F(12)", c.KEY_F(12));
    }

    public static void main(String[] args) throws Exception {
        CanvasProbe p = new CanvasProbe(args[1]);
        try {
            switch (args[0]) {
                case "size": p.size(Integer.parseInt(args[2]), Integer.parseInt(args[3])); break;
                case "cursor": p.cursor(); break;
                case "draw": p.draw(); break;
                case "input": p.input(); break;
                case "interrupt": p.signal(false); break;
                case "quit": p.signal(true); break;
                case "debug": p.debugLog(); break;
                case "badterm": p.badTerminal(); break;
                case "constants": p.constants(); break;
                default: p.put("unknown", args[0]);
            }
        } catch (Throwable t) {
            p.put("thrown", t);
        }
        p.put("done", 1);
    }
}
