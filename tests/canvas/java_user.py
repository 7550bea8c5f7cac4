#!/usr/bin/env python3
"""The canvas library as a Java developer meets it: the example program in a
real JVM under tmux, a program built against the installed jar alone, the
Debian package, and every command of the README section "Using the canvas
library from Java".  One case per invocation.

Each command of that README section is listed in README_COMMANDS with the case
that runs it; the readme case checks that the section shows exactly these
commands, and each case fails unless it ran all of its own.  Commands run as
written, except that paths are moved into the test's folders: "build/" is the
build folder under test, "/usr/..." a DESTDIR install of it with the prefix
/usr, "/usr/local/..." an install with the prefix /usr/local under a
temporary root."""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import canvas_driver as cd  # noqa: E402  (tmux pane, screen parsing, checks)
from canvas_driver import check, cell, parse_screen  # noqa: E402

WAIT = cd.WAIT
SECTION = "## Using the canvas library from Java"

DEMO = "bash examples/canvas-demo.sh"
DEMO_JAVA = ("java -Djava.library.path=build/canvas -cp "
             "build/canvas/termcanvas.jar:build/examples/canvas_demo.jar CanvasDemo")
JAVAC_HELLO = "javac -cp /usr/share/java/termcanvas.jar Hello.java"
JAVA_HELLO = "java -cp /usr/share/java/termcanvas.jar:. Hello"
LIBRARY_PATH = "java -XshowSettings:properties -version 2>&1 | grep -A5 java.library.path"
JAVA_HELLO_LOCAL = ("java -Djava.library.path=/usr/local/lib/jni -cp "
                    "/usr/local/share/java/termcanvas.jar:. Hello")
DEMO_DEBUG = "DEBUG= bash examples/canvas-demo.sh"
TAIL_LOG = "tail /tmp/CursesDebug.log"

README_COMMANDS = {
    DEMO: "example",
    DEMO_JAVA: "example_java",
    JAVAC_HELLO: "installed",
    JAVA_HELLO: "installed",
    LIBRARY_PATH: "installed",
    JAVA_HELLO_LOCAL: "installed",
    DEMO_DEBUG: "debug",
    TAIL_LOG: "debug",
}
ran = set()

# What an install must hold, relative to the prefix: the canvas pieces and
# what was installed before them.
INSTALLED = ["bin/xrbbldc", "bin/xrbblds", "lib/jni/libtermcanvas.so",
             "share/java/termcanvas.jar", "share/java/xrbsecmgr.jar",
             "share/doc/xrbbld/examples/CanvasDemo.java", "share/man/man1/xrbbldc.1"]


# ---- the README section ---------------------------------------------------

def readme_section(source):
    with open(os.path.join(source, "README.md"), encoding="utf-8") as f:
        text = f.read()
    start = text.index(SECTION)
    end = text.find("\n## ", start + len(SECTION))
    return text[start:end if end >= 0 else len(text)]


def code_blocks(section):
    """Indented code blocks: lists of lines without their four blanks."""
    blocks, current, previous_blank = [], None, True
    for line in section.split("\n"):
        if current is not None and (line.startswith("    ") or not line.strip()):
            current.append(line[4:])
        elif line.startswith("    ") and previous_blank:
            current = [line[4:]]
            blocks.append(current)
        else:
            current = None
        previous_blank = not line.strip()
    for b in blocks:
        while b and not b[-1].strip():
            b.pop()
    return blocks


def readme_commands(source):
    commands, java = [], []
    for block in code_blocks(readme_section(source)):
        if block[0].startswith(("import ", "package ", "public ")):
            java.append("\n".join(block) + "\n")
        else:
            commands += [re.sub(r"\s+#\s.*$", "", l).strip() for l in block if l.strip()]
    return commands, java


def hello_source(source):
    java = readme_commands(source)[1]
    check(len(java) == 1 and "public class Hello" in java[0],
          "the README section shows one Java program, class Hello")
    return java[0] if java else ""


# ---- running commands -------------------------------------------------------

def command(cmd):
    """A command of the README, marked as run by this case."""
    if cmd not in README_COMMANDS:
        raise KeyError("not a README command: " + cmd)
    ran.add(cmd)
    return cmd


def moved(cmd, build=None, usr=None, local=None):
    """The command with its paths moved into the test's folders."""
    if build:
        cmd = re.sub(r"(?<=[ =:])build/", build.rstrip("/") + "/", cmd)
    if local:
        cmd = re.sub(r"(?<=[ =:])/usr/local/", local.rstrip("/") + "/usr/local/", cmd)
    if usr:
        cmd = re.sub(r"(?<=[ =:])/usr/(?!local/)", usr.rstrip("/") + "/usr/", cmd)
    return cmd


def shell(cmd, cwd, env=None, timeout=WAIT * 4):
    print("$ " + cmd)
    r = subprocess.run(["bash", "-c", cmd], cwd=cwd, env=env, capture_output=True, text=True,
                       timeout=timeout)
    if r.returncode != 0:
        print(r.stdout[-2000:] + r.stderr[-2000:])
    return r


class Pane(cd.Tmux):
    """A tmux pane running one shell command in a folder."""

    def run(self, cmd, cwd, env=None):
        print("$ (in a %dx%d pane) %s" % (self.cols, self.lines, cmd))
        # The exit status goes to a file: tmux does not always know it.
        self.status_file = os.path.join(self.h.dir, "status.%d" % cd.Tmux.servers)
        self.start(["bash", "-c", "cd %s && %s; echo $? > %s"
                    % (shlex_quote(cwd), cmd, shlex_quote(self.status_file))],
                   self.h.env(env))

    def text(self):
        """The pane's text with wrapped lines joined, and its history: tmux may
        scroll what a program printed last out of sight when it ends."""
        return self.tmux("capture-pane", "-p", "-J", "-S", "-", "-t", "t")

    def screen(self):
        return parse_screen(self.capture())

    def info(self, what):
        return self.tmux("display-message", "-p", "-t", "t", what).strip()

    def cursor(self):
        """The terminal's cursor as a 1-based (column, line)."""
        x, y = self.info("#{cursor_x} #{cursor_y}").split()
        return int(x) + 1, int(y) + 1

    def wait_for(self, cond, what):
        end = time.monotonic() + WAIT
        while time.monotonic() < end:
            if cond():
                return True
            time.sleep(0.05)
        ok = cond()
        check(ok, what)
        if not ok:
            print(self.text())
        return ok

    def wait_text(self, text):
        return self.wait_for(lambda: text in self.text(), "screen shows %r" % text)

    def wait_end(self):
        """Waits for the program to end; its exit status, or None."""
        if not self.wait_for(lambda: self.info("#{pane_dead}") == "1"
                             and os.path.exists(self.status_file), "program ended"):
            return None
        with open(self.status_file) as f:
            return int(f.read().strip() or -1)


def shlex_quote(s):
    return "'" + s.replace("'", "'\\''") + "'"


def rows_text(rows, line):
    return "".join(ch for ch, _ in rows[line - 1]) if line <= len(rows) else ""


# ---- cases --------------------------------------------------------------------

def demo_env(h):
    return {"BUILD": h.opts.build}


def check_demo_screen(rows):
    """The example's first screen, as CanvasDemo.java draws it."""
    title = cell(rows, 2, 1)
    check(rows_text(rows, 1).startswith(" termcanvas demo") and title[1].get("bold")
          and title[1].get("fg") == 7 and title[1].get("bg") == 4,
          "title bold white on blue: %r" % (title,))
    check(rows_text(rows, 3).startswith("  Grüße, 世界!"), "greeting: %r" % rows_text(rows, 3))
    for column, ch in ((3, "G"), (5, "ü"), (6, "ß"), (10, "世"), (12, "界"), (14, "!")):
        got = cell(rows, column, 3)
        check(got[0] == ch and got[1].get("bold") and got[1].get("fg") == 3
              and got[1].get("bg") == 4, "%s at column %d, bold yellow on blue: %r"
              % (ch, column, got))
    check(cell(rows, 11, 3)[0] == "" and cell(rows, 13, 3)[0] == "",
          "世 and 界 take two columns each")
    column = 3
    for i, name in enumerate(("red", "green", "yellow", "blue", "magenta", "cyan")):
        got = cell(rows, column, 4)
        check(rows_text(rows, 4)[column - 1:column - 1 + len(name)] == name
              and got[1].get("fg") == i + 1, "%s in colour %d: %r" % (name, i + 1, got))
        column += len(name) + 1
    for column, word, attr in ((3, "bold", "bold"), (8, "underline", "underline"),
                               (18, "reverse", "reverse"), (26, "dim", "dim")):
        got = cell(rows, column, 5)
        check(rows_text(rows, 5)[column - 1:column - 1 + len(word)] == word
              and got[1].get(attr), "%s drawn %s: %r" % (word, attr, got))
    for column, line, ch in ((3, 7, "┌"), (34, 7, "┐"), (3, 13, "└"), (34, 13, "┘"),
                             (4, 7, "─"), (3, 8, "│"), (34, 12, "│")):
        check(cell(rows, column, line)[0] == ch, "box %s at %d,%d" % (ch, column, line))


def at_sign(rows):
    """The 1-based (column, line) of the @ inside the box."""
    for line in range(8, 13):
        text = rows_text(rows, line)
        if "@" in text:
            return text.index("@") + 1, line
    return None


def case_example(h):
    """The README's demo command: draws, moves the @, shows keys, defers
    Ctrl-C and interrupt signals, quits on q and gives the terminal back."""
    with Pane(h, 80, 24) as t:
        t.run(command(DEMO), h.opts.source, demo_env(h))
        if not t.wait_text("termcanvas demo"):
            return
        t.wait_text("is deferred too")
        rows = t.screen()
        check_demo_screen(rows)
        check(at_sign(rows) == (4, 8), "@ starts at the top left of the box: %s"
              % (at_sign(rows),))
        check(t.cursor() == (4, 8), "terminal cursor on the @: %s" % (t.cursor(),))
        check("Key: none yet" in t.text(), "no key yet")
        check(t.info("#{alternate_on}") == "1", "curses screen in use")

        t.keys("Right", "Right", "Right", "Down", "Down")
        t.wait_text("Key: down arrow (258)")
        t.wait_for(lambda: at_sign(t.screen()) == (7, 10), "@ moved 3 right, 2 down: %s"
                   % (at_sign(t.screen()),))
        check(t.cursor() == (7, 10), "terminal cursor follows the @: %s" % (t.cursor(),))
        t.keys("Up")
        t.wait_text("Key: up arrow (259)")
        t.keys("Left")
        t.wait_text("Key: left arrow (260)")
        check(at_sign(t.screen()) == (6, 9), "@ moved up and left: %s" % (at_sign(t.screen()),))
        t.keys(*["Left"] * 8)
        t.wait_for(lambda: at_sign(t.screen()) == (4, 9), "@ stops at the box's edge")

        t.keys("x", literal=True)
        t.wait_text("Key: 'x' (120)")
        t.keys("é", literal=True)
        t.wait_text("Key: 'é' (233)")
        t.keys("F5")
        t.wait_text("Key: F5 (269)")
        t.keys("C-c")
        t.wait_text("Key: Ctrl-C, a key in raw mode (3)")
        check(t.info("#{pane_dead}") == "0", "Ctrl-C did not end the demo")

        pid = re.search(r"kill -INT (\d+) is deferred too", t.text())
        check(pid is not None, "demo shows its process id")
        if pid:
            os.kill(int(pid.group(1)), signal.SIGINT)
            t.wait_text("interrupt signal 1 deferred, q quits")
            os.kill(int(pid.group(1)), signal.SIGINT)
            t.wait_text("interrupt signal 2 deferred, q quits")
            check(t.info("#{pane_dead}") == "0", "two interrupt signals did not end the demo")
        shot = t.tmux("capture-pane", "-p", "-t", "t")
        print("---- the example's screen\n" + shot.rstrip() + "\n----")
        with open(os.path.join(h.opts.work, "example-screen.txt"), "w", encoding="utf-8") as f:
            f.write(shot)

        t.keys("q")
        rc = t.wait_end()
        check(rc == 0, "q ends the demo with status 0: %s" % rc)
        check(t.info("#{alternate_on}") == "0", "terminal given back (normal screen)")
        check("CanvasDemo: bye" in t.text(), "demo said bye on the normal screen")


def case_example_java(h):
    """The README's java command for the demo, from the build folder."""
    with Pane(h, 80, 24) as t:
        t.run(moved(command(DEMO_JAVA), build=h.opts.build), h.opts.source)
        if t.wait_text("termcanvas demo"):
            check_demo_screen(t.screen())
        t.keys("q")
        check(t.wait_end() == 0, "demo ended with status 0")
        check("CanvasDemo: bye" in t.text(), "demo said bye")


def case_example_small(h):
    """init throws: the demo gives the terminal back and says why."""
    for cols, lines, env, message in (
            (40, 12, None,
             "CanvasDemo: the demo needs 44 columns and 16 lines, this terminal has 40 and 12"),
            (43, 24, None,
             "CanvasDemo: the demo needs 44 columns and 16 lines, this terminal has 43 and 24"),
            (80, 24, {"TERM": "no-such-terminal"},
             "CanvasDemo: this terminal cannot be used (TERM=no-such-terminal)")):
        with Pane(h, cols, lines) as t:
            t.run(DEMO, h.opts.source, dict(demo_env(h), **(env or {})))
            rc = t.wait_end()
            check(rc == 1, "%dx%d %s: status 1, got %s" % (cols, lines, env, rc))
            check(message in t.text(), "%dx%d %s: message %r" % (cols, lines, env, message))
            check(t.info("#{alternate_on}") == "0", "terminal given back after the exception")


def case_debug(h):
    """DEBUG set: the log gets the set-up, the drawing and every key."""
    start = cd.log_size()
    with Pane(h, 80, 24) as t:
        t.run(command(DEMO_DEBUG), h.opts.source, demo_env(h))
        t.wait_text("is deferred too")
        t.keys("x", literal=True)
        t.wait_text("Key: 'x' (120)")
        t.keys("q")
        check(t.wait_end() == 0, "demo ended with status 0")
    log = cd.log_since(start)
    for line in ("init entry", "init exit", "mvadd_wch: x = 3, y = 7, wch = 250c",
                 "get_wch: wch = ffffffff", "get_wch: wch = 78", "get_wch: wch = 71",
                 "endwin entry", "endwin exit"):
        check(line in log, "log has %r" % line)
    check(log.index("init entry") < log.index("get_wch: wch = 78") < log.index("endwin exit")
          if all(x in log for x in ("init entry", "get_wch: wch = 78", "endwin exit")) else False,
          "log in order: set-up, key, tear-down")
    r = shell(command(TAIL_LOG), h.opts.source)
    tail = r.stdout.split("\n")[:-1]
    check(r.returncode == 0 and len(tail) == 10 and tail[-2:] == ["endwin entry", "endwin exit"]
          and "get_wch: wch = 71" in tail, "tail shows the end of the run: %r" % tail)


def install(h, root, prefix):
    env = dict(os.environ, DESTDIR=root) if root else None
    r = subprocess.run([h.opts.cmake, "--install", h.opts.build, "--prefix", prefix],
                       env=env, capture_output=True, text=True, timeout=WAIT * 4)
    check(r.returncode == 0, "cmake --install --prefix %s: %s" % (prefix, r.stderr[-500:]))
    base = (root or "") + prefix
    for f in INSTALLED:
        check(os.path.isfile(os.path.join(base, f)), "installed %s/%s" % (prefix, f))
    return base


def run_hello(h, cmd, cwd, expect_key=True):
    """Hello in a pane: its greeting, then a key ends it."""
    with Pane(h, 80, 24) as t:
        t.run(cmd, cwd)
        if t.wait_text("Grüße, 世界!"):
            rows = t.screen()
            g, wide = cell(rows, 1, 1), cell(rows, 8, 1)
            check(g[0] == "G" and g[1].get("bold") and g[1].get("fg") == 3
                  and g[1].get("bg") == 4, "Hello: bold yellow on blue at the top left: %r" % (g,))
            check(wide[0] == "世" and cell(rows, 9, 1)[0] == "", "Hello: 世 takes two columns")
        t.keys("k", literal=True)
        check(t.wait_end() == 0, "Hello ended with status 0 after a key")
        check(t.info("#{alternate_on}") == "0", "Hello gave the terminal back")
        check("bye" in t.text(), "Hello said bye: %r" % t.text().strip())
    with Pane(h, 30, 8) as t:
        t.run(cmd, cwd)
        check(t.wait_end() == 0, "Hello in a small terminal ended with status 0")
        check(t.info("#{alternate_on}") == "0", "Hello in a small terminal gave it back")
        check("stdscr TerminalException in C code" in t.text(),
              "Hello in a small terminal printed the exception: %r" % t.text().strip())


def case_installed(h):
    """Programs built against the installed jar alone, as a user would."""
    w = h.dir
    # As the package installs: prefix /usr (under a DESTDIR).
    dest = os.path.join(w, "dest")
    usr = install(h, dest, "/usr")

    r = shell(command(LIBRARY_PATH), w)
    path = [p.strip() for p in r.stdout.split("java.library.path =", 1)[-1].split("\n")]
    check("/usr/lib/jni" in path[:5], "the JVM's default library path has /usr/lib/jni: %r"
          % path[:5])
    check("/usr/local/lib/jni" not in r.stdout, "and not /usr/local/lib/jni")

    hello = os.path.join(w, "hello")
    os.makedirs(hello)
    with open(os.path.join(hello, "Hello.java"), "w", encoding="utf-8") as f:
        f.write(hello_source(h.opts.source))
    r = shell(moved(command(JAVAC_HELLO), usr=dest), hello, h.env())
    check(r.returncode == 0 and os.path.isfile(os.path.join(hello, "Hello.class")),
          "README's Hello compiles against the installed jar alone")
    # The JVM would find /usr/lib/jni by itself (checked above); here the
    # install is under a DESTDIR, so its folder is named.
    run = moved(command(JAVA_HELLO), usr=dest).replace(
        "java ", "java -Djava.library.path=%s/lib/jni " % usr, 1)
    run_hello(h, run, hello)

    # Without the library on the path: the error the README names.
    r = shell("java -Djava.library.path=%s -cp %s/share/java/termcanvas.jar:. Hello"
              % (os.path.join(w, "empty"), usr), hello, h.env())
    check(r.returncode != 0 and "UnsatisfiedLinkError: no termcanvas in java.library.path"
          in r.stderr, "no library: %r" % r.stderr[:300])

    # The installed example, compiled against the installed jar and run.
    demo = os.path.join(w, "demo")
    r = shell("javac -encoding UTF-8 -d %s -cp %s/share/java/termcanvas.jar "
              "%s/share/doc/xrbbld/examples/CanvasDemo.java" % (demo, usr, usr), w, h.env())
    check(r.returncode == 0, "installed example compiles against the installed jar")
    with Pane(h, 80, 24) as t:
        t.run("java -Djava.library.path=%s/lib/jni -cp %s/share/java/termcanvas.jar:%s CanvasDemo"
              % (usr, usr, demo), w)
        if t.wait_text("termcanvas demo"):
            check_demo_screen(t.screen())
        t.keys("q")
        check(t.wait_end() == 0, "installed example ended with status 0")

    # As "cmake --install build" installs: prefix /usr/local.
    local = os.path.join(w, "local")
    install(h, local, "/usr/local")
    run_hello(h, moved(command(JAVA_HELLO_LOCAL), local=local), hello)


def case_package(h):
    """The Debian package carries the library and the jar, and they work."""
    w = h.dir
    r = subprocess.run([h.opts.cpack, "-G", "DEB", "--config",
                        os.path.join(h.opts.build, "CPackConfig.cmake"), "-B", w],
                       capture_output=True, text=True, timeout=WAIT * 8)
    debs = [f for f in os.listdir(w) if f.endswith(".deb")]
    check(r.returncode == 0 and len(debs) == 1, "cpack -G DEB made one package: %s %s"
          % (debs, r.stderr[-500:]))
    if not debs:
        return
    deb = os.path.join(w, debs[0])
    listing = subprocess.run(["dpkg-deb", "-c", deb], capture_output=True, text=True,
                             timeout=WAIT).stdout
    print("---- dpkg-deb -c %s\n%s----" % (debs[0], listing))
    names = [l.split()[-1] for l in listing.splitlines()]
    for f in INSTALLED:
        check("./usr/" + f in names, "package has /usr/" + f)
    control = subprocess.run(["dpkg-deb", "-f", deb, "Description", "Depends"],
                             capture_output=True, text=True, timeout=WAIT).stdout
    print(control)
    for text in ("libtermcanvas.so, in /usr/lib/jni", "JNI library",
                 "com.qvx.morbit.forms.common.CursesCanvas7", "/usr/share/java/termcanvas.jar"):
        check(text in control, "description says %r" % text)
    check("libncursesw" in control, "package depends on ncursesw")

    # The packaged (stripped) library loads and answers through the packaged jar.
    root = os.path.join(w, "root")
    subprocess.run(["dpkg-deb", "-x", deb, root], check=True, timeout=WAIT)
    probe = os.path.join(w, "probe")
    os.makedirs(probe)
    with open(os.path.join(probe, "Probe.java"), "w") as f:
        f.write("import com.qvx.morbit.forms.common.CursesCanvas7;\n"
                "public class Probe {\n"
                "    public static void main(String[] args) {\n"
                "        CursesCanvas7 c = new CursesCanvas7();\n"
                "        System.out.println(c.KEY_F(1) + \" \" + c.getmaxx() + \" \" + c.A_BOLD());\n"
                "    }\n"
                "}\n")
    jar = os.path.join(root, "usr/share/java/termcanvas.jar")
    r = shell("javac -cp %s Probe.java && java -Djava.library.path=%s -cp %s:. Probe"
              % (jar, os.path.join(root, "usr/lib/jni"), jar), probe, h.env())
    check(r.stdout.strip() == "265 -1 2097152",
          "packaged library and jar work together: %r %r" % (r.stdout, r.stderr[-300:]))


def case_readme(h):
    """The section shows exactly the commands this file runs."""
    commands, java = readme_commands(h.opts.source)
    print("README commands:\n  " + "\n  ".join(commands))
    for c in commands:
        check(c in README_COMMANDS, "README command is run by a test: %r" % c)
    for c in README_COMMANDS:
        check(c in commands, "README still shows %r" % c)
    check(len(commands) == len(set(commands)), "no README command shown twice")
    check(len(java) == 1, "one Java program in the section")
    for case in set(README_COMMANDS.values()):
        check("case_" + case in globals(), "case %s exists" % case)


def main():
    ap = argparse.ArgumentParser()
    for opt in ("source", "build", "tmux", "work", "cmake", "cpack"):
        ap.add_argument("--" + opt, required=True)
    ap.add_argument("case")
    opts = ap.parse_args()
    opts.source = os.path.abspath(opts.source)
    opts.build = os.path.abspath(opts.build)
    fn = globals().get("case_" + opts.case)
    if fn is None:
        print("unknown case " + opts.case)
        return 2
    h = cd.Harness(opts, opts.case)
    try:
        fn(h)
    finally:
        for cmd, case in README_COMMANDS.items():
            if case == opts.case:
                check(cmd in ran, "README command run: %r" % cmd)
    print("%d failure(s)" % len(cd.failures))
    if not cd.failures:
        shutil.rmtree(h.dir, ignore_errors=True)
    return 1 if cd.failures else 0


if __name__ == "__main__":
    sys.exit(main())
