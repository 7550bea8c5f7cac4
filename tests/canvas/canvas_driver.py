#!/usr/bin/env python3
"""Runs the canvas probe in a real JVM inside a pseudo-terminal and checks
what it reports and what the terminal shows.  One case per invocation; every
wait is bounded and every tmux server and process started is ended."""

import argparse
import os
import pty
import resource
import shlex
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import threading
import time
import unicodedata

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import throwaway  # noqa: E402
from xrbsupport import Tally, drain  # noqa: E402

WAIT = 30.0
DEBUG_LOG = "/tmp/CursesDebug.log"
EXCEPTION_TEXT = "stdscr TerminalException in C code"

TALLY = Tally()
check, failures = TALLY.check, TALLY.failures


class Report:
    """The probe's "key value" lines, read as they grow."""

    def __init__(self, path):
        self.path = path

    def lines(self):
        try:
            with open(self.path, encoding="utf-8") as f:
                return [l.rstrip("\n").split(" ", 1) for l in f if l.strip()]
        except FileNotFoundError:
            return []

    def values(self, key):
        return [v[1] if len(v) > 1 else "" for v in self.lines() if v[0] == key]

    def get(self, key):
        v = self.values(key)
        return v[-1] if v else None

    def wait(self, key, value=None, alive=lambda: True):
        end = time.monotonic() + WAIT
        while time.monotonic() < end:
            if any(value is None or v == value for v in self.values(key)):
                return True
            if not alive():
                break
            time.sleep(0.05)
        return any(value is None or v == value for v in self.values(key))

    def go(self, step):
        open(self.path + ".go%d" % step, "w").close()


class Harness:
    def __init__(self, opts, case):
        self.opts = opts
        os.makedirs(opts.work, exist_ok=True)
        self.dir = tempfile.mkdtemp(prefix=case + ".", dir=opts.work)
        self.report = Report(os.path.join(self.dir, "report"))

    def env(self, extra=None, drop=("DEBUG", "TMUX", "JAVA_TOOL_OPTIONS")):
        env = {k: v for k, v in os.environ.items() if k not in drop and not k.startswith("LC_")}
        env.update(LANG="C.UTF-8", LC_ALL="C.UTF-8", TERM="screen-256color")
        env.update(extra or {})
        return env

    def java_argv(self, scenario, *args):
        return [self.opts.java, "-Djava.library.path=" + self.opts.libdir,
                "-cp", self.opts.jar, "canvasprobe.CanvasProbe", scenario,
                self.report.path] + [str(a) for a in args]


class Tmux:
    """A private tmux server holding one pane of the given size."""

    servers = 0

    def __init__(self, harness, cols, lines):
        self.h = harness
        self.cols, self.lines = cols, lines
        # A server of its own each time: a new one on the socket of a server
        # that is still going away would fail to start.
        Tmux.servers += 1
        self.socket = "canvas-%d-%s-%d" % (os.getpid(), os.path.basename(harness.dir),
                                           Tmux.servers)
        self.conf = os.path.join(harness.dir, "tmux.conf")
        with open(self.conf, "w") as f:
            # No status line, so the pane is the whole window; keep the pane
            # after the program ends so that its exit can be seen.
            f.write("set -g status off\nset -g remain-on-exit on\n"
                    "set -g default-terminal screen-256color\nset -g escape-time 0\n")

    def tmux(self, *args, check_rc=True):
        r = subprocess.run([self.h.opts.tmux, "-L", self.socket, "-f", self.conf] + list(args),
                           capture_output=True, timeout=WAIT, env=self.h.env())
        if check_rc and r.returncode != 0:
            raise RuntimeError("tmux %s: %s" % (args[0], r.stderr.decode(errors="replace")))
        return r.stdout.decode("utf-8", errors="replace")

    def __enter__(self):
        return self

    def start(self, argv, env):
        exports = " ".join("%s=%s" % (k, shlex.quote(v)) for k, v in env.items())
        cmd = "exec env -i %s %s" % (exports, " ".join(map(shlex.quote, argv)))
        self.tmux("new-session", "-d", "-s", "t", "-x", str(self.cols), "-y", str(self.lines), cmd)

    def alive(self):
        return self.tmux("display-message", "-p", "-t", "t", "#{pane_dead}",
                         check_rc=False).strip() == "0"

    def capture(self):
        return self.tmux("capture-pane", "-p", "-e", "-N", "-t", "t")

    def keys(self, *keys, literal=False):
        self.tmux("send-keys", "-t", "t", *((["-l"] if literal else []) + list(keys)))

    def __exit__(self, *exc):
        self.tmux("kill-server", check_rc=False)
        end = time.monotonic() + WAIT
        while self.running() and time.monotonic() < end:
            time.sleep(0.05)
        path = os.path.join(os.environ.get("TMUX_TMPDIR", "/tmp"), "tmux-%d" % os.getuid(),
                            self.socket)
        if not self.running() and os.path.exists(path):
            os.unlink(path)

    def running(self):
        r = subprocess.run([self.h.opts.tmux, "-L", self.socket, "list-sessions"],
                           capture_output=True, timeout=WAIT, env=self.h.env())
        return r.returncode == 0


def parse_screen(text):
    """Cells of a capture with escape sequences: (char, rendition) per column."""
    rows = []
    for line in text.split("\n"):
        cells, state, i = [], {}, 0
        while i < len(line):
            ch = line[i]
            if ch == "\x1b" and i + 1 < len(line) and line[i + 1] == "[":
                j = i + 2
                while j < len(line) and not line[j].isalpha():
                    j += 1
                if j < len(line) and line[j] == "m":
                    sgr(state, line[i + 2:j])
                i = j + 1
                continue
            cells.append((ch, dict(state)))
            if unicodedata.east_asian_width(ch) in "WF":
                cells.append(("", dict(state)))
            i += 1
        rows.append(cells)
    return rows


def sgr(state, params):
    codes = [int(p) if p.isdigit() else 0 for p in params.split(";")] if params else [0]
    k = 0
    while k < len(codes):
        c = codes[k]
        if c == 0:
            state.clear()
        elif c in (1, 2, 4, 5, 7):
            state[{1: "bold", 2: "dim", 4: "underline", 5: "blink", 7: "reverse"}[c]] = True
        elif c in (22, 24, 25, 27):
            for name in {22: ("bold", "dim"), 24: ("underline",), 25: ("blink",),
                         27: ("reverse",)}[c]:
                state.pop(name, None)
        elif 30 <= c <= 37:
            state["fg"] = c - 30
        elif 40 <= c <= 47:
            state["bg"] = c - 40
        elif c in (38, 48) and k + 2 < len(codes) and codes[k + 1] == 5:
            state["fg" if c == 38 else "bg"] = codes[k + 2]
            k += 2
        elif c == 39:
            state.pop("fg", None)
        elif c == 49:
            state.pop("bg", None)
        k += 1


def cell(rows, column, line):
    """The cell at a 1-based column and line."""
    try:
        return rows[line - 1][column - 1]
    except IndexError:
        return ("", {})


def run_tmux_probe(h, cols, lines, scenario, *args, env=None, steps=()):
    """Runs the probe in a pane; steps maps a ready step to an action(tmux)."""
    with Tmux(h, cols, lines) as t:
        t.start(h.java_argv(scenario, *args), h.env(env))
        for step in steps:
            if not h.report.wait("ready", str(step), t.alive):
                check(False, "probe reached step %d" % step)
                break
            steps[step](t)
            h.report.go(step)
        h.report.wait("done", alive=t.alive)
        end = time.monotonic() + WAIT
        while t.alive() and time.monotonic() < end:
            time.sleep(0.05)
    check(h.report.get("thrown") is None, "probe threw nothing (%s)" % h.report.get("thrown"))
    check(h.report.get("done") == "1", "probe finished")


# ---- cases -----------------------------------------------------------------

def case_init_size(h):
    for cols, lines, raised in ((80, 24, "0"), (79, 24, "1"), (80, 23, "1")):
        h.report = Report(os.path.join(h.dir, "report%dx%d" % (cols, lines)))
        run_tmux_probe(h, cols, lines, "size", 24, 80)
        r = h.report
        check(r.values("raised") == [raised], "%dx%d: init raised %s time(s), got %s"
              % (cols, lines, raised, r.values("raised")))
        check(r.values("message") == ([EXCEPTION_TEXT] if raised == "1" else []),
              "%dx%d: exception text %s" % (cols, lines, r.values("message")))
        check(r.values("code") == (["null"] if raised == "1" else []),
              "%dx%d: exception built with a null first argument: %s"
              % (cols, lines, r.values("code")))
        check(r.get("size") == "%dx%d" % (cols, lines), "%dx%d: screen size %s"
              % (cols, lines, r.get("size")))
        check(r.get("before") == "-1 -1 -1 -1", "no screen before init: %s" % r.get("before"))
        check(r.get("getch") == "-1" and int(r.get("getch_ms") or 9999) < 500,
              "%dx%d: set-up went on, getch returned %s in %s ms"
              % (cols, lines, r.get("getch"), r.get("getch_ms")))


def case_cursor(h):
    run_tmux_probe(h, 80, 24, "cursor")
    r = h.report
    check(r.get("move11") == "0 0 0", "move(1,1) then getx, gety: %s" % r.get("move11"))
    check(r.get("move105") == "0 9 4", "move(10,5), column first: %s" % r.get("move105"))
    check(r.get("max") == "80 24", "getmaxx, getmaxy: %s" % r.get("max"))
    check(r.get("initscr") == "1", "initscr with a screen: %s" % r.get("initscr"))


def case_draw(h):
    shots = []
    run_tmux_probe(h, 80, 24, "draw", steps={1: lambda t: shots.append(t.capture())})
    r = h.report
    check(r.values("raised") == ["0"], "init passed")
    check(bool(shots), "screen captured")
    if not shots:
        return
    rows = parse_screen(shots[0])
    check(cell(rows, 5, 3)[0] == "X", "X at column 5, line 3: %r" % (cell(rows, 5, 3),))
    check(cell(rows, 10, 4)[0] == "\u00e9", "U+00E9 at column 10, line 4: %r"
          % (cell(rows, 10, 4),))
    check(cell(rows, 20, 5)[0] == "\u4e2d", "U+4E2D at column 20, line 5: %r"
          % (cell(rows, 20, 5),))
    check(r.get("after_wide") == "21", "cursor after the double-width character: %s"
          % r.get("after_wide"))
    check(cell(rows, 21, 5)[0] == "" and cell(rows, 22, 5)[0] == " ",
          "double-width character takes two cells")
    check(r.get("outside") == "-1 -1 -1 -1", "mvadd_wch outside the screen: %s"
          % r.get("outside"))
    check("Z" not in shots[0], "nothing drawn for positions outside the screen")
    for name in ("x", "eacute", "wide", "add_wch", "addch"):
        check(r.get(name) == "0", "%s returned OK: %s" % (name, r.get(name)))
    check(r.get("pair1") == "0" and (r.get("colors") or "").startswith("true 0"),
          "colours started: %s / %s" % (r.get("colors"), r.get("pair1")))
    b, c, d, e = cell(rows, 1, 6), cell(rows, 2, 6), cell(rows, 1, 8), cell(rows, 2, 8)
    check(b[0] == "B" and b[1].get("bold") and b[1].get("fg") == 1 and b[1].get("bg") == 4,
          "add_wch bold in pair 1 (red on blue): %r" % (b,))
    check(c[0] == "C" and c[1].get("underline") and c[1].get("fg") == 2
          and not c[1].get("bold"), "addch underlined in pair 2 (green): %r" % (c,))
    check(d[0] == "D" and d[1].get("reverse"), "mvadd_wch reverse: %r" % (d,))
    check(e[0] == "E" and e[1].get("reverse"),
          "rendition of mvadd_wch stays the screen's: %r" % (e,))
    check(cell(rows, 5, 3)[1] == {}, "X drawn in the plain rendition: %r" % (cell(rows, 5, 3),))
    q, rr = cell(rows, 1, 10), cell(rows, 2, 10)
    check(r.get("badpair") == "0 0" and q[0] == "Q" and q[1].get("bold")
          and rr[0] == "R" and rr[1].get("bold"),
          "add_wch with a pair curses refuses: %s %r %r" % (r.get("badpair"), q, rr))


def case_input(h):
    def typing(t):
        t.keys("q")
        t.keys("F1")
        t.keys("\u00e9", literal=True)
        t.keys("z")

    run_tmux_probe(h, 80, 24, "input", steps={1: typing})
    r = h.report
    idle = (r.get("idle") or "x x 99999").split()
    check(idle[:2] == ["-1", "-1"] and int(idle[2]) < 500,
          "get_wch and getch with nothing typed: %s" % r.get("idle"))
    check(r.get("key1") == str(ord("q")), "typed q through get_wch: %s" % r.get("key1"))
    check(r.get("key2") == "265", "F1 through get_wch: %s" % r.get("key2"))
    check(r.get("key3") == "233", "U+00E9 typed, through get_wch: %s" % r.get("key3"))
    check(r.get("key4") == str(ord("z")), "typed z through getch: %s" % r.get("key4"))


def run_signal_case(h, scenario, signo):
    """Signals need no screen; the JVM runs on a bare pty of its own session."""
    master, slave = pty.openpty()
    proc = subprocess.Popen(h.java_argv(scenario), stdin=slave, stdout=slave, stderr=slave,
                            env=h.env(), start_new_session=True,
                            preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_CORE, (0, 0)))
    os.close(slave)
    # Drain the terminal so that the JVM can never block writing to it.
    output = []
    reader = threading.Thread(target=drain, args=(master, output), daemon=True)
    reader.start()
    alive = lambda: proc.poll() is None
    try:
        r = h.report
        check(r.wait("ready", "1", alive), "probe deferred the signal")
        check(r.get("defer") == "1", "defer returned 1")
        pid = int(r.get("pid") or proc.pid)
        check(pid == proc.pid, "probe is the process started")
        os.kill(proc.pid, signo)
        r.go(1)
        check(r.wait("ready", "2", alive), "JVM still running after the deferred signal")
        check(r.get("pending") == "1", "pending after the signal: %s" % r.get("pending"))
        check(r.get("clear") == "0" and r.get("after_clear") == "0",
              "clear returned %s, flag then %s" % (r.get("clear"), r.get("after_clear")))
        os.kill(proc.pid, signo)
        r.go(2)
        try:
            rc = proc.wait(timeout=WAIT)
        except subprocess.TimeoutExpired:
            rc = None
        check(rc == -signo, "second signal without a new deferral ends the JVM: rc %s" % rc)
        check(r.get("survived") is None, "probe did not outlive the second signal")
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait(timeout=WAIT)
        reader.join(timeout=WAIT)
        os.close(master)
    # The JVM's own handlers (shutdown on SIGINT, thread dump on SIGQUIT) must
    # not have run for the deferred signal.
    text = b"".join(output).decode(errors="replace")
    check("Full thread dump" not in text, "no thread dump printed: %r" % text[:200])


def case_interrupt(h):
    run_signal_case(h, "interrupt", signal.SIGINT)


def case_quit(h):
    run_signal_case(h, "quit", signal.SIGQUIT)


def log_size():
    try:
        return os.path.getsize(DEBUG_LOG)
    except FileNotFoundError:
        return 0


def log_since(offset):
    try:
        with open(DEBUG_LOG, "rb") as f:
            f.seek(offset)
            return f.read().decode("utf-8", errors="replace").split("\n")[:-1]
    except FileNotFoundError:
        return []


class OwnDebugLog:
    """Sets aside whatever is at the debug log's name for the case and puts
    it back after, so the case starts from a known state."""

    def __enter__(self):
        self.saved = DEBUG_LOG + ".xrbtest-%d" % os.getpid()
        try:
            os.rename(DEBUG_LOG, self.saved)
        except FileNotFoundError:
            self.saved = None
        return self

    def __exit__(self, *exc):
        clear_debug_log()
        if self.saved:
            os.rename(self.saved, DEBUG_LOG)


def clear_debug_log():
    try:
        os.unlink(DEBUG_LOG)
    except FileNotFoundError:
        pass


def case_debug_log(h):
    with OwnDebugLog():
        debug_log_lines(h)


def debug_log_lines(h):
    start = log_size()
    run_tmux_probe(h, 79, 24, "debug", env={"DEBUG": ""})
    got = log_since(start)
    want = ["init entry", "error entry", EXCEPTION_TEXT, "error exit", "init exit",
            "mvadd_wch: x = 3, y = 2, wch = 41", "get_wch: wch = ffffffff",
            "endwin entry", "endwin exit"]
    check(got == want, "debug log with DEBUG empty: %r" % (got,))
    h.report = Report(os.path.join(h.dir, "report.nodebug"))
    start = log_size()
    run_tmux_probe(h, 79, 24, "debug")
    check(log_since(start) == [], "nothing logged without DEBUG: %r" % (log_since(start),))


def case_debug_log_planted(h):
    """The debug log in /tmp holds every key typed.  A throw-away user
    plants a link (to a file of the caller's, or dangling) or a file of its
    own at its name: nothing is written there.  A new log is the caller's
    alone (0600)."""
    if not throwaway.can_run():
        print("skipped: needs root to make a throw-away user")
        return throwaway.SKIP
    private = tempfile.mkdtemp(dir=h.dir)
    victim = os.path.join(private, "victim")
    with open(victim, "w") as f:
        f.write("precious\n")
    nowhere = os.path.join(private, "nowhere")

    def probe(tag):
        h.report = Report(os.path.join(h.dir, "report." + tag))
        run_tmux_probe(h, 79, 24, "debug", env={"DEBUG": ""})

    with OwnDebugLog():
        with throwaway.User("xrbt17log") as user:
            user.symlink(victim, DEBUG_LOG)
            probe("link")
            check(open(victim).read() == "precious\n", "link to the caller's file: target untouched")
            check(os.path.islink(DEBUG_LOG), "link left as it was")
            clear_debug_log()

            user.symlink(nowhere, DEBUG_LOG)
            probe("dangling")
            check(not os.path.lexists(nowhere), "dangling link: its target not created")
            clear_debug_log()

            user.write(DEBUG_LOG, "theirs\n", 0o666)
            probe("theirs")
            check(open(DEBUG_LOG).read() == "theirs\n", "another user's file: nothing written to it")
            clear_debug_log()

        probe("new")
        st = os.lstat(DEBUG_LOG)
        check(stat.S_ISREG(st.st_mode) and st.st_uid == os.geteuid()
              and stat.S_IMODE(st.st_mode) == 0o600,
              "new log: the caller's plain file, mode 0600 (%o)" % stat.S_IMODE(st.st_mode))
        check(log_since(0)[:1] == ["init entry"], "new log: written (%r)" % log_since(0)[:1])

        # The caller's own log, made readable by others by an older library:
        # appended to, and the caller's alone from then on.
        clear_debug_log()
        with open(DEBUG_LOG, "w") as f:
            f.write("earlier\n")
        os.chmod(DEBUG_LOG, 0o644)
        probe("own")
        check(log_since(0)[:2] == ["earlier", "init entry"], "own log appended to")
        check(stat.S_IMODE(os.lstat(DEBUG_LOG).st_mode) == 0o600, "own log now 0600")
    return None


def case_bad_terminal(h):
    """A terminal curses cannot use gives the exception, not the JVM's end."""
    master, slave = pty.openpty()
    try:
        proc = subprocess.run(h.java_argv("badterm"), stdin=slave, stdout=slave, stderr=slave,
                              env=h.env({"TERM": "no-such-terminal-xyz"}), timeout=WAIT,
                              start_new_session=True)
    finally:
        os.close(slave)
        os.close(master)
    r = h.report
    check(proc.returncode == 0, "JVM exit status %s" % proc.returncode)
    check(r.values("raised") == ["1"] and r.get("message") == EXCEPTION_TEXT,
          "exception raised once: %s %s" % (r.values("raised"), r.values("message")))
    check(r.get("initscr") == "0" and r.get("getx") == "-1",
          "no screen: initscr %s, getx %s" % (r.get("initscr"), r.get("getx")))
    check(r.get("noscreen") == " ".join(["-1"] * 15),
          "drawing, input and colour calls fail without a screen: %s" % r.get("noscreen"))
    check((r.get("noscreen_misc") or "").startswith("false 0"),
          "no colours without a screen: %s" % r.get("noscreen_misc"))
    check(r.get("survived") == "1", "probe went on after init")


CONSTANTS = {
    "KEY_DOWN": 0x102, "KEY_UP": 0x103, "KEY_LEFT": 0x104, "KEY_RIGHT": 0x105,
    "KEY_HOME": 0x106, "KEY_BACKSPACE": 0x107, "KEY_DC": 0x14A, "KEY_IC": 0x14B,
    "KEY_EIC": 0x14C, "KEY_NPAGE": 0x152, "KEY_PPAGE": 0x153, "KEY_ENTER": 0x157,
    "KEY_BTAB": 0x161, "KEY_END": 0x168, "ERR": -1,
    "KEY_F(0)": 264, "KEY_F(1)": 265, "KEY_F(12)": 276,
    "A_NORMAL": 0, "A_CHARTEXT": 0xFF, "A_COLOR": 0xFF00, "A_STANDOUT": 0x10000,
    "A_UNDERLINE": 0x20000, "A_REVERSE": 0x40000, "A_BLINK": 0x80000, "A_DIM": 0x100000,
    "A_BOLD": 0x200000, "A_ALTCHARSET": 0x400000, "A_INVIS": 0x800000,
    "A_PROTECT": 0x1000000, "A_HORIZONTAL": 0x2000000, "A_LEFT": 0x4000000,
    "A_LOW": 0x8000000, "A_RIGHT": 0x10000000, "A_TOP": 0x20000000,
    "A_VERTICAL": 0x40000000, "A_ATTRIBUTES": -256,
    "COLOR_BLACK": 0, "COLOR_RED": 1, "COLOR_GREEN": 2, "COLOR_YELLOW": 3,
    "COLOR_BLUE": 4, "COLOR_MAGENTA": 5, "COLOR_CYAN": 6, "COLOR_WHITE": 7,
}


def case_constants(h):
    proc = subprocess.run(h.java_argv("constants"), stdin=subprocess.DEVNULL,
                          capture_output=True, env=h.env(), timeout=WAIT)
    got = {l[0]: l[1] for l in h.report.lines() if len(l) == 2}
    check(proc.returncode == 0, "JVM exit status %s %s" % (proc.returncode, proc.stderr[-500:]))
    for name, value in CONSTANTS.items():
        check(got.get(name) == str(value), "%s = %s, got %s" % (name, value, got.get(name)))
    extra = set(got) - set(CONSTANTS) - {"done"}
    check(not extra, "no constant left unchecked: %s" % sorted(extra))


def main():
    ap = argparse.ArgumentParser()
    for opt in ("java", "jar", "libdir", "tmux", "work"):
        ap.add_argument("--" + opt, required=True)
    ap.add_argument("case")
    opts = ap.parse_args()
    fn = globals().get("case_" + opts.case)
    if fn is None:
        print("unknown case " + opts.case)
        return 2
    h = Harness(opts, opts.case)
    if fn(h) == throwaway.SKIP:
        return throwaway.SKIP
    print("%d failure(s)" % len(failures))
    if not failures:
        shutil.rmtree(h.dir, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
