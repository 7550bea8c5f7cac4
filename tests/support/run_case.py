#!/usr/bin/env python3
"""Runs one case file: the real client, usually against the scripted local
build server, and the checks of the case.  doc/TESTCASES.md describes the
case file: its sections, the server's verbs and the checks.

Usage: run_case.py --client XRBBLDC [--server XRBBLDS] [--keep] CASE
Exit status 0 passed, 1 failed, 77 skipped (the machine lacks what the case
needs)."""
import argparse
import codecs
import os
import re
import resource
import shlex
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fakesecmgr import FakeManager  # noqa: E402
from xrbsupport import Terminal, client_env, read, start_server  # noqa: E402

# Every section a case may hold; a name ending in " " takes an argument.
SECTIONS = ("cmd", "argv0", "env", "cwd", "chroot", "mkdir ", "file ", "bytes ", "pattern ",
            "server", "normal", "bind", "netns", "secmgr", "limits", "tty", "expect",
            "stdout", "stdout-start", "stderr", "log")
SECTION = re.compile(r"^\[(%s)\]$" % "|".join(
    re.escape(s.strip()) + (r" [^\]]+" if s.endswith(" ") else "") for s in SECTIONS))
STAMP = re.compile(r"\d\d/\d\d/\d\d \d\d:\d\d:\d\d ")
CLIENT_LIMIT = 30


class Failure(Exception):
    pass


class Skip(Exception):
    pass


def parse_case(path):
    """The sections by name, and their names in the order they came."""
    sections, order = {}, []
    current = None
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = SECTION.match(line.rstrip("\n"))
            if m:
                current = m.group(1)
                if current in sections:
                    raise Failure("section [%s] twice" % current)
                sections[current] = ""
                order.append(current)
            elif current is not None:
                sections[current] += line
            elif line.strip() and not line.startswith("#"):
                raise Failure("text before the first section: " + line.strip())
    return sections, order


def pattern(size):
    """The bytes of the scripted server's size=N files."""
    return bytes(((i * 7 + i // 251) & 0xFF) for i in range(size))


def unescape(text):
    return codecs.decode(text.encode("latin-1", "backslashreplace"), "unicode_escape")


def stamped(text):
    return STAMP.sub("<TS> ", text)


# ---- the checks of [expect] ------------------------------------------------
# Each takes the finished run and the rest of its line (with {tmp}, {port} and
# {secport} put in) and calls run.check(ok, what).  A check marked "before"
# steers the run itself and has nothing left to check afterwards.

CHECKS = {}


def check(name, before=False):
    def register(fn):
        CHECKS[name] = fn
        fn.before = before
        return fn
    return register


@check("status")
def check_status(run, rest):
    if run.waited_out:
        return          # ended by the test: its status says nothing
    run.check(run.status == int(rest), "exit status %d, expected %s" % (run.status, rest))


@check("server-status")
def check_server_status(run, rest):
    run.want_server = int(rest)


@check("limit", before=True)
def check_limit(run, rest):
    pass


@check("still-running", before=True)
def check_still_running(run, rest):
    pass


@check("needs-v6-only", before=True)
def check_needs_v6_only(run, rest):
    pass


def has(word, stream):
    def fn(run, rest):
        present = unescape(rest) in getattr(run, stream)
        run.check(present == word.endswith("has"), "%s %r" % (word, rest))
    return fn


for _word in ("stdout-has", "stdout-lacks", "stderr-has", "stderr-lacks"):
    check(_word)(has(_word, _word.split("-")[0]))


@check("stderr-empty")
def check_stderr_empty(run, rest):
    run.check(run.stderr == "", "standard error is not empty")


def log_check(word):
    def fn(run, rest):
        path, _, text = rest.partition(" ")
        log = read(path) if os.path.exists(path) else None
        if run.check(log is not None, "no log %s" % path):
            run.check((unescape(text) in log) == (word == "log-has"), "%s %s %r" % (word, path, text))
    return fn


check("log-has")(log_check("log-has"))
check("log-lacks")(log_check("log-lacks"))


@check("file")
def check_file(run, rest):
    m = re.match(r"^(\S+) =(?: (.*))?$", rest)
    if not m:
        raise Failure("bad check: file " + rest)
    path, text = m.group(1), m.group(2) or ""
    if run.check(os.path.isfile(path), "no file %s" % path):
        got = read(path)
        run.check(got == unescape(text), "file %s holds %r, expected %r" % (path, got, unescape(text)))


@check("pattern")
def check_pattern(run, rest):
    path, size = rest.rsplit(" ", 1)
    ok = os.path.isfile(path) and read(path).encode("latin-1") == pattern(int(size))
    run.check(ok, "%s does not hold the %s-byte pattern" % (path, size))


@check("present")
def check_present(run, rest):
    run.check(os.path.isfile(rest) and os.path.getsize(rest) > 0, "%s missing or empty" % rest)


@check("absent")
def check_absent(run, rest):
    run.check(not os.path.lexists(rest), "%s exists" % rest)


@check("pidfile")
def check_pidfile(run, rest):
    got = read(rest) if os.path.isfile(rest) else None
    want = "%d " % run.pid
    run.check(got == want, "pid file %s holds %r, expected %r" % (rest, got, want))


def record_check(word):
    def fn(run, rest):
        found = re.search(rest, run.record, re.M) is not None
        run.check(found == (word == "record-has"), "%s %r" % (word, rest))
    return fn


check("record-has")(record_check("record-has"))
check("record-lacks")(record_check("record-lacks"))


@check("secmgr-got")
def check_secmgr_got(run, rest):
    got = run.secmgr.requests[0] if run.secmgr and run.secmgr.requests else None
    if run.secmgr and got is None:
        got = ""
    run.check(got == unescape(rest), "the security manager got %r, expected %r" % (got, unescape(rest)))


@check("slower-than")
def check_slower_than(run, rest):
    run.check(run.elapsed >= float(rest), "took %.1f s, expected at least %s" % (run.elapsed, rest))


@check("faster-than")
def check_faster_than(run, rest):
    run.check(run.elapsed < float(rest), "took %.1f s, expected under %s" % (run.elapsed, rest))


@check("max-rss-mb")
def check_max_rss_mb(run, rest):
    with open(run.client, "rb") as f:
        sanitized = b"AddressSanitizer" in f.read()
    if sanitized:
        print("max-rss-mb not checked: the client carries a sanitizer")
    else:
        run.check(run.peak_kib <= float(rest) * 1024,
                  "peak memory %.1f MiB, expected at most %s" % (run.peak_kib / 1024.0, rest))


# ---- preparing and running a case -----------------------------------------

def prepare_root(root, client):
    """Copies the client and the shared libraries it needs under root."""
    os.makedirs(root, exist_ok=True)
    shutil.copy2(client, os.path.join(root, "xrbbldc"))
    listing = subprocess.run(["ldd", client], capture_output=True, text=True).stdout
    for lib in re.findall(r"(/\S+)\s+\(0x", listing):
        target = os.path.join(root, lib.lstrip("/"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy2(os.path.realpath(lib), target)


def enter_netns(addresses):
    """Runs this case again in a new network namespace; inside, brings its
    loopback up with the addresses."""
    if os.environ.get("XRB_E2E_NETNS") != "1":
        if os.geteuid() != 0 or shutil.which("unshare") is None:
            raise Skip("a network namespace needs root and unshare")
        env = dict(os.environ, XRB_E2E_NETNS="1")
        sys.stdout.flush()
        os.execvpe("unshare", ["unshare", "-n", sys.executable] + sys.argv, env)
    setup = [["ip", "link", "set", "lo", "up"]]
    setup += [["ip", "addr", "add", a, "dev", "lo"] for a in addresses]
    for cmd in setup:
        if subprocess.run(cmd, stderr=subprocess.DEVNULL).returncode != 0:
            raise Skip(" ".join(cmd) + " failed")


def only_v6(name):
    try:
        found = socket.getaddrinfo(name, None, proto=socket.IPPROTO_TCP)
    except OSError:
        return False
    return bool(found) and all(f[0] == socket.AF_INET6 for f in found)


class Run:
    """One case: its folder, what it started, and what the client did."""

    def __init__(self, args, sections, order):
        self.args, self.sections, self.order = args, sections, order
        self.client = args.client
        self.tmp = None
        self.port = self.secport = ""
        self.server = self.secmgr = self.mounted = None
        self.failures = []
        self.want_server = 0
        self.waited_out = False
        self.record = ""
        self.checks = [l for l in sections.get("expect", "").splitlines()
                       if l.strip() and not l.startswith("#")]
        for c in self.checks:
            word = c.split(" ", 1)[0]
            if word not in CHECKS:
                raise Failure("unknown check: " + c)

    def check(self, ok, what):
        if not ok:
            self.failures.append(what)
        return ok

    def subst(self, text):
        return (text.replace("{tmp}", self.tmp).replace("{port}", self.port)
                .replace("{secport}", self.secport))

    def words(self, word):
        return [c.split(" ", 1)[1] if " " in c else "" for c in self.checks if c.split(" ", 1)[0] == word]

    def make_files(self):
        self.tmp = tempfile.mkdtemp(prefix="xrb-case-")
        os.makedirs(os.path.join(self.tmp, "home"))
        for name in self.order:
            kind, _, arg = name.partition(" ")
            if not arg:
                continue
            if kind == "mkdir":
                os.makedirs(os.path.join(self.tmp, self.subst(arg.strip())), exist_ok=True)
                continue
            if kind == "pattern":
                arg, size = arg.rsplit(" ", 1)
                data = pattern(int(size))
            elif kind == "file":
                data = self.subst(self.sections[name]).encode("latin-1")
            else:    # bytes
                body = self.sections[name]
                data = unescape(body[:-1] if body.endswith("\n") else body).encode("latin-1")
            target = os.path.join(self.tmp, self.subst(arg.strip()))
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target, "wb") as f:
                f.write(data)
            if arg.strip().startswith("scripts/"):
                os.chmod(target, 0o755)

    def needs_server(self):
        return ("server" in self.sections or "normal" in self.sections or
                any("{port}" in text for text in self.sections.values()))

    def start_server(self):
        s = self.sections
        limit = float((self.words("limit") or [CLIENT_LIMIT])[-1])
        if "normal" in s:
            os.makedirs(os.path.join(self.tmp, "srv"), exist_ok=True)
            mode = ["--scripts", os.path.join(self.tmp, "scripts"), "--work", os.path.join(self.tmp, "srv")]
            mode += shlex.split(self.subst(s["normal"]))
        else:
            script = os.path.join(self.tmp, "server.script")
            with open(script, "w", encoding="latin-1") as f:
                f.write(self.subst(s.get("server", "")))
            mode = ["--script", script, "--record", os.path.join(self.tmp, "server.record"),
                    "--deadline", str(int(limit) + 5)]
        bind = s.get("bind", "").strip()
        if bind:
            mode += ["--bind", bind]
        if not self.args.server:
            raise Failure("the case needs the build server: give --server")
        with open(os.path.join(self.tmp, "server.err"), "wb") as err:
            self.server, port = start_server(self.args.server, self.tmp, mode, stderr=err)
        if port is None:
            why = read(os.path.join(self.tmp, "server.err"))
            if bind and "cannot listen" in why:
                raise Skip(why.strip())
            raise Failure("the server did not start: " + why)
        self.port = str(port)

    def environment(self):
        env = client_env(LANG="C", HOME=os.path.join(self.tmp, "home"))
        for k in [k for k in env if k.startswith("LC_")]:
            del env[k]
        if self.secmgr is not None:
            env["XRBSEC_PORT"] = self.secport
            del env["CLASSPATH"]
        for line in self.sections.get("env", "").splitlines():
            if "=" in line:
                k, v = line.split("=", 1)
                env[k.strip()] = self.subst(v)
        return env

    def start_client(self):
        s = self.sections
        argv = [self.client] + shlex.split(self.subst(s.get("cmd", "")))
        # The client echoes its own name: the same wherever the binary lies.
        shown = s.get("argv0", "").strip() or "xrbbldc"
        cwd = self.subst(s.get("cwd", "").strip()) or os.path.join(self.tmp, "home")
        os.makedirs(cwd, exist_ok=True)
        steps = []
        if "chroot" in s:
            root = os.path.join(self.tmp, "root")
            prepare_root(root, self.client)
            inner = s["chroot"].strip() or "/"
            argv[0] = "/xrbbldc"
            cwd = root
            steps.append(lambda: (os.chroot(root), os.chdir(inner)))
            # A sanitizer runtime reads its options and threads from /proc.
            os.makedirs(os.path.join(root, "proc"), exist_ok=True)
            if subprocess.run(["mount", "-t", "proc", "proc", os.path.join(root, "proc")],
                              stderr=subprocess.DEVNULL).returncode == 0:
                self.mounted = os.path.join(root, "proc")
        limits = []
        for line in s.get("limits", "").splitlines():
            if line.strip():
                what, value = line.split()
                limits.append(({"fsize": resource.RLIMIT_FSIZE}[what], int(value)))

        def preexec():
            for res, value in limits:
                resource.setrlimit(res, (value, value))
            for step in steps:
                step()

        self.terminal = Terminal() if "tty" in s else None
        return subprocess.Popen([shown] + argv[1:], executable=argv[0],
                                cwd=cwd, env=self.environment(), stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE,
                                stderr=self.terminal.slave if self.terminal else subprocess.PIPE,
                                preexec_fn=preexec if (limits or steps) else None)

    def wait_client(self, proc):
        limit = float((self.words("limit") or [CLIENT_LIMIT])[-1])
        waits = "still-running" in self.checks
        try:
            out, err = proc.communicate(timeout=limit)
            if waits:
                self.failures.append("the client ended (status %d) before its limit of %s s"
                                     % (proc.returncode, limit))
        except subprocess.TimeoutExpired:
            if not waits:
                proc.kill()
                out, err = proc.communicate()
                raise Failure("the client did not end within %s s\nstdout:\n%s\nstderr:\n%s"
                              % (limit, out.decode("latin-1"), (err or b"").decode("latin-1")))
            self.waited_out = True
            proc.terminate()
            try:
                out, err = proc.communicate(timeout=5)
            except subprocess.TimeoutExpired:
                proc.kill()
                out, err = proc.communicate()
                self.failures.append("the client did not end on SIGTERM")
        return out, err

    def play(self):
        s = self.sections
        if "chroot" in s and os.geteuid() != 0:
            raise Skip("a changed root folder needs root")
        if "netns" in s:
            enter_netns(s["netns"].split())
        for name in self.words("needs-v6-only"):
            if not only_v6(name):
                raise Skip("%s does not resolve to IPv6 addresses only" % name)
        self.make_files()
        if self.needs_server():
            self.start_server()
        if "secmgr" in s:
            self.secmgr = FakeManager(unescape(s["secmgr"].rstrip("\n")).encode("latin-1"), connections=1)
            self.secport = str(self.secmgr.port)

        started = time.time()
        proc = self.start_client()
        self.pid = proc.pid
        out, err = self.wait_client(proc)
        self.elapsed = time.time() - started
        # Only the client has been waited for so far: the children's peak is its own.
        self.peak_kib = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
        self.status = proc.returncode
        if self.status < 0 and not self.waited_out:
            self.failures.append("the client was ended by signal %d" % -self.status)
        if self.secmgr is not None:
            self.secmgr.close()
        if self.terminal:
            err = self.terminal.text()
        self.stdout, self.stderr = out.decode("latin-1"), err.decode("latin-1")

        server_status = None
        if self.server is not None:
            normal = "normal" in s
            try:
                server_status = self.server.wait(timeout=0.5 if normal else 10)
            except subprocess.TimeoutExpired:
                self.server.kill()
                self.server.wait()
                server_status = 0 if normal else "hung"
        record = os.path.join(self.tmp, "server.record")
        self.record = read(record) if os.path.exists(record) else ""

        for c in self.checks:
            word, _, rest = c.partition(" ")
            CHECKS[word](self, self.subst(rest))
        if self.server is not None:
            self.check(server_status == self.want_server,
                       "server status %s, expected %d" % (server_status, self.want_server))
        self.compare()
        if self.failures:
            raise Failure("\n".join(self.failures) +
                          "\n\nstdout:\n%s\nstderr:\n%s\nserver record:\n%s\nserver stderr:\n%s"
                          % (self.stdout, self.stderr, self.record, self.server_err()))

    def compare(self):
        """The exact texts of [stdout], [stdout-start], [stderr] and [log]."""
        s = self.sections
        log_path = os.path.join(self.subst(s.get("cwd", "").strip()) or os.path.join(self.tmp, "home"),
                                "xrbbldc.log")
        log = read(log_path) if os.path.exists(log_path) else None
        for name, got in (("stdout", self.stdout), ("stderr", self.stderr), ("log", log),
                          ("stdout-start", self.stdout)):
            if name not in s:
                continue
            want = self.subst(s[name])
            got_n = stamped(got) if got is not None else "(no log)\n"
            if name == "stdout-start":
                want = want[:-1] if want.endswith("\n") else want
                got_n = got_n[:len(want)]
            self.check(got_n == want, "%s differs:\n--- expected\n%s--- got\n%s---" % (name, want, got_n))

    def server_err(self):
        path = os.path.join(self.tmp, "server.err")
        return read(path) if os.path.exists(path) else ""

    def clean(self):
        if self.tmp is None:
            return
        if self.server is not None and self.server.poll() is None:
            self.server.send_signal(signal.SIGKILL)
            self.server.wait()
        if self.secmgr is not None:
            self.secmgr.close()
        if self.mounted and subprocess.run(["umount", self.mounted]).returncode != 0:
            subprocess.run(["umount", "-l", self.mounted])
        if self.args.keep:
            print("case folder:", self.tmp)
        elif not (self.mounted and os.path.ismount(self.mounted)):
            shutil.rmtree(self.tmp, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--client", required=True)
    ap.add_argument("--server", default="")
    ap.add_argument("--keep", action="store_true", help="keep the case folder")
    ap.add_argument("case")
    args = ap.parse_args()
    args.client = os.path.abspath(args.client)
    if args.server:
        args.server = os.path.abspath(args.server)
    name = os.path.basename(args.case)
    run = None
    try:
        sections, order = parse_case(args.case)
        run = Run(args, sections, order)
        run.play()
    except Skip as e:
        print("skipped: %s" % e)
        return 77
    except Failure as e:
        print("FAIL %s\n%s" % (name, e))
        if not args.keep:
            print("(case folder removed; --keep leaves it)")
        return 1
    finally:
        if run is not None:
            run.clean()
    print("ok %s" % name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
