#!/usr/bin/env python3
"""Runs one end-to-end case: the real client against the scripted server.

A case file is a set of sections:

  [cmd]            the client's arguments (shell words)
  [env]            NAME=value lines added to the client's environment
  [cwd]            the client's folder, default {tmp}/home
  [chroot]         run the client with {tmp}/root as its root folder (the
                   binary and its libraries are copied in; needs root); the
                   section's text is the client's folder inside, default /
  [mkdir PATH]     a folder to create first
  [file PATH]      a file to create first, with the section's text
  [pattern PATH N] a file of N bytes of the server's size=N pattern
  [server]         the server's script (see tools/buildserver/script.h)
  [limits]         resource limits of the client, one "fsize BYTES" a line
  [secmgr]         a security manager on {secport} that takes one request,
                   sends the section's text (escapes allowed, no end marker
                   unless written) and closes
  [normal]         instead of [server]: the server in normal mode, with the
                   scripts of {tmp}/scripts and these further arguments
  [bind]           the address the server listens on (default 127.0.0.1);
                   the case is skipped when the machine cannot listen there
  [netns]          the case runs in a network namespace of its own (needs
                   root, else skipped) whose loopback also has the
                   addresses of the section, one a line (fd00::7)
  [tty]            the client's standard error is a pseudo-terminal; what
                   it shows there is checked as standard error
  [expect]         checks, one a line (see CHECKS below)
  [stdout]         the exact standard output, time stamps shown as "<TS> "
  [stderr]         the exact standard error

Every text may use {tmp} (the case's own folder), {port} and {secport}.
Server verbs: see tools/buildserver/scripted.cpp; "ask file NAME
stop_after=N" takes N chunks of the file and "serve NAME ... stop_after=N"
sends N, and then each goes silent (no acknowledgement, no next chunk) and
the script goes on, usually with "sleep".

The check "max-rss-mb N" bounds the client's peak resident memory; it is
skipped for a client built with a sanitizer, whose own memory would count.
The check "needs-v6-only NAME" skips the case unless NAME resolves to IPv6
addresses only.  The check "still-running" expects the client to be waiting at its limit;
it is then ended by the test.  A client that dies of a signal fails.  Check texts
take Python escapes (\\n, \\f, \\x0c).
"""
import argparse
import codecs
import os
import pty
import resource
import re
import shlex
import shutil
import signal
import subprocess
import sys
import socket
import tempfile
import threading
import time

SECTION = re.compile(r"^\[(cmd|env|cwd|chroot|server|secmgr|limits|normal|bind|netns|tty|expect|stdout|stderr|file [^\]]+|mkdir [^\]]+|pattern [^\]]+)\]$")
STAMP = re.compile(r"\d\d/\d\d/\d\d \d\d:\d\d:\d\d ")


def parse_case(path):
    sections, order = {}, []
    current = None
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = SECTION.match(line.rstrip("\n"))
            if m:
                current = m.group(1)
                sections[current] = ""
                order.append(current)
            elif current is not None:
                sections[current] += line
    return sections, order


def pattern(size):
    """The bytes of the scripted server's size=N files."""
    return bytes(((i * 7 + i // 251) & 0xFF) for i in range(size))


def unescape(text):
    return codecs.decode(text.encode("latin-1", "backslashreplace"), "unicode_escape")


class Failure(Exception):
    pass


def prepare_root(root, client):
    """Copies the client and the shared libraries it needs under root."""
    os.makedirs(root, exist_ok=True)
    shutil.copy2(client, os.path.join(root, "xrbbldc"))
    listing = subprocess.run(["ldd", client], capture_output=True, text=True).stdout
    for lib in re.findall(r"(/\S+)\s+\(0x", listing):
        target = os.path.join(root, lib.lstrip("/"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy2(os.path.realpath(lib), target)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class SecurityManager:
    """Takes one request, answers with a fixed text and closes."""

    def __init__(self, reply):
        self.reply = reply
        self.request = b""
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(4)
        self.sock.settimeout(30)
        self.port = self.sock.getsockname()[1]
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        try:
            conn, _ = self.sock.accept()
        except OSError:
            return
        with conn:
            conn.settimeout(5)
            try:
                # The client sends no terminator: take what comes in a moment.
                while True:
                    chunk = conn.recv(1024)
                    if not chunk:
                        break
                    self.request += chunk
                    conn.settimeout(0.3)
            except OSError:
                pass
            if self.reply:
                conn.sendall(self.reply)

    def close(self):
        self.sock.close()
        self.thread.join(timeout=5)


def enter_netns(addresses):
    """Runs this case again in a new network namespace; inside, brings its
    loopback up with the addresses.  False (skip) when that cannot be done."""
    if os.environ.get("XRB_E2E_NETNS") != "1":
        if os.geteuid() != 0 or shutil.which("unshare") is None:
            print("skipped: a network namespace needs root and unshare")
            return False
        env = dict(os.environ, XRB_E2E_NETNS="1")
        sys.stdout.flush()
        os.execvpe("unshare", ["unshare", "-n", sys.executable] + sys.argv, env)
    setup = [["ip", "link", "set", "lo", "up"]]
    setup += [["ip", "addr", "add", a, "dev", "lo"] for a in addresses]
    for cmd in setup:
        if subprocess.run(cmd, stderr=subprocess.DEVNULL).returncode != 0:
            print("skipped: " + " ".join(cmd) + " failed")
            return False
    return True


def only_v6(name):
    try:
        found = socket.getaddrinfo(name, None, proto=socket.IPPROTO_TCP)
    except OSError:
        return False
    return bool(found) and all(f[0] == socket.AF_INET6 for f in found)


class Terminal:
    """A pseudo-terminal whose output is collected while the client runs."""

    def __init__(self):
        self.master, self.slave = pty.openpty()
        self.data = b""
        self.thread = threading.Thread(target=self.drain, daemon=True)
        self.thread.start()

    def drain(self):
        while True:
            try:
                chunk = os.read(self.master, 4096)
            except OSError:
                return
            if not chunk:
                return
            self.data += chunk

    def text(self):
        os.close(self.slave)
        self.thread.join(timeout=5)
        os.close(self.master)
        # The terminal turns each newline into a carriage return and newline.
        return self.data.replace(b"\r\n", b"\n")


def read(path):
    with open(path, "rb") as f:
        return f.read().decode("latin-1")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--client", required=True)
    ap.add_argument("--server", required=True)
    ap.add_argument("--keep", action="store_true", help="keep the case folder")
    ap.add_argument("case")
    args = ap.parse_args()

    sections, order = parse_case(args.case)
    if "chroot" in sections and os.geteuid() != 0:
        print("skipped: a changed root folder needs root")
        sys.exit(77)
    if "netns" in sections and not enter_netns(sections["netns"].split()):
        sys.exit(77)
    for line in sections.get("expect", "").splitlines():
        if line.startswith("needs-v6-only ") and not only_v6(line.split()[1]):
            print("skipped: %s does not resolve to IPv6 addresses only" % line.split()[1])
            sys.exit(77)
    tmp = tempfile.mkdtemp(prefix="xrb-e2e-")
    server = None
    secmgr = None
    mounted = None
    failures = []
    try:
        subst = lambda s: s.replace("{tmp}", tmp)
        os.makedirs(os.path.join(tmp, "home"))
        for name in order:
            if name.startswith("mkdir "):
                os.makedirs(os.path.join(tmp, subst(name[6:].strip())), exist_ok=True)
            elif name.startswith("pattern "):
                path, size = name[8:].rsplit(" ", 1)
                target = os.path.join(tmp, subst(path.strip()))
                os.makedirs(os.path.dirname(target), exist_ok=True)
                with open(target, "wb") as f:
                    f.write(pattern(int(size)))
            elif name.startswith("file "):
                target = os.path.join(tmp, subst(name[5:].strip()))
                os.makedirs(os.path.dirname(target), exist_ok=True)
                with open(target, "w", encoding="latin-1") as f:
                    f.write(subst(sections[name]))
                if name[5:].strip().startswith("scripts/"):
                    os.chmod(target, 0o755)

        script = os.path.join(tmp, "server.script")
        record = os.path.join(tmp, "server.record")
        portfile = os.path.join(tmp, "server.port")
        with open(script, "w", encoding="latin-1") as f:
            f.write(subst(sections.get("server", "")))
        checks = [l for l in sections.get("expect", "").splitlines() if l.strip() and not l.startswith("#")]
        client_limit = 30
        for c in checks:
            if c.startswith("limit "):
                client_limit = float(c.split()[1])
        server_out = open(os.path.join(tmp, "server.err"), "wb")
        normal = "normal" in sections
        if normal:
            os.makedirs(os.path.join(tmp, "srv"), exist_ok=True)
            mode = ["--scripts", os.path.join(tmp, "scripts"), "--work", os.path.join(tmp, "srv")]
            mode += shlex.split(subst(sections["normal"]))
        else:
            mode = ["--script", script, "--record", record, "--deadline", str(int(client_limit) + 5)]
        bind = sections.get("bind", "").strip()
        if bind:
            mode += ["--bind", bind]
        server = subprocess.Popen([args.server, "--port", "0", "--port-file", portfile] + mode,
                                  stdout=subprocess.DEVNULL, stderr=server_out)
        deadline = time.time() + 10
        while not os.path.exists(portfile):
            if server.poll() is not None or time.time() > deadline:
                why = read(os.path.join(tmp, "server.err"))
                if bind and "cannot listen" in why:
                    print("skipped: " + why.strip())
                    return 77
                raise Failure("the server did not start: " + why)
            time.sleep(0.02)
        port = read(portfile).strip()
        secport = ""
        if "secmgr" in sections:
            reply = unescape(sections["secmgr"].rstrip("\n")).encode("latin-1")
            secmgr = SecurityManager(reply)
            secport = str(secmgr.port)
        subst = lambda s: s.replace("{tmp}", tmp).replace("{port}", port).replace("{secport}", secport)

        argv = [args.client] + shlex.split(subst(sections.get("cmd", "")))
        env = dict(os.environ)
        for k in ("XRB_TRACE", "XRB_LANG", "XRB_CHUNK", "TC_MSG_NOFLOW"):
            env.pop(k, None)
        # A case that is not about the security manager never reaches or
        # starts one on the machine's shared default port.
        if "secmgr" not in sections:
            env["XRBSEC_PORT"] = str(free_port())
            env["CLASSPATH"] = "/nonexistent/xrbsecmgr.jar"
        for line in sections.get("env", "").splitlines():
            if "=" in line:
                k, v = line.split("=", 1)
                env[k.strip()] = subst(v)
        cwd = subst(sections.get("cwd", "").strip()) or os.path.join(tmp, "home")
        os.makedirs(cwd, exist_ok=True)

        preexec = None
        if "chroot" in sections:
            root = os.path.join(tmp, "root")
            prepare_root(root, args.client)
            inner = sections["chroot"].strip() or "/"
            argv[0] = "/xrbbldc"
            cwd = root
            preexec = lambda: (os.chroot(root), os.chdir(inner))
            # A sanitizer runtime reads its options and threads from /proc.
            os.makedirs(os.path.join(root, "proc"), exist_ok=True)
            if subprocess.run(["mount", "-t", "proc", "proc", os.path.join(root, "proc")],
                              stderr=subprocess.DEVNULL).returncode == 0:
                mounted = os.path.join(root, "proc")

        terminal = Terminal() if "tty" in sections else None

        limits = []
        for line in sections.get("limits", "").splitlines():
            if line.strip():
                what, value = line.split()
                limits.append(({"fsize": resource.RLIMIT_FSIZE}[what], int(value)))
        if limits:
            outer = preexec
            def preexec():
                for res, value in limits:
                    resource.setrlimit(res, (value, value))
                if outer is not None:
                    outer()

        started = time.time()
        client = subprocess.Popen(argv, cwd=cwd, env=env, stdout=subprocess.PIPE,
                                  stderr=terminal.slave if terminal else subprocess.PIPE,
                                  preexec_fn=preexec)
        waits = "still-running" in checks
        try:
            out, err = client.communicate(timeout=client_limit)
            if waits:
                failures.append("the client ended (status %d) before its limit of %s s"
                                % (client.returncode, client_limit))
        except subprocess.TimeoutExpired:
            if waits:
                client.terminate()
                try:
                    out, err = client.communicate(timeout=5)
                except subprocess.TimeoutExpired:
                    client.kill()
                    out, err = client.communicate()
                    failures.append("the client did not end on SIGTERM")
                checks = [c for c in checks if not c.startswith("status ")]
            else:
                client.kill()
                out, err = client.communicate()
                raise Failure("the client did not end within %s s\nstdout:\n%s\nstderr:\n%s"
                          % (client_limit, out.decode("latin-1"), (err or b"").decode("latin-1")))
        elapsed = time.time() - started
        # Only the client has been waited for so far: the children's peak is its own.
        peak_kib = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
        if client.returncode < 0 and not waits:
            failures.append("the client was ended by signal %d" % -client.returncode)
        if secmgr is not None:
            secmgr.close()
        if terminal:
            err = terminal.text()
        out, err = out.decode("latin-1"), err.decode("latin-1")
        try:
            server_status = server.wait(timeout=0.5 if normal else 10)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()
            server_status = 0 if normal else "hung"
        rec = read(record) if os.path.exists(record) else ""

        def check(ok, what):
            if not ok:
                failures.append(what)

        want_server = 0
        for c in checks:
            word, _, rest = c.partition(" ")
            rest = subst(rest)
            if word == "status":
                check(client.returncode == int(rest), "exit status %d, expected %s" % (client.returncode, rest))
            elif word in ("limit", "still-running", "needs-v6-only"):
                pass
            elif word == "secmgr-got":
                got = secmgr.request.decode("latin-1") if secmgr else None
                check(got == unescape(rest), "the security manager got %r, expected %r" % (got, unescape(rest)))
            elif word == "server-status":
                want_server = int(rest)
            elif word in ("stdout-has", "stdout-lacks", "stderr-has", "stderr-lacks"):
                stream = out if word.startswith("stdout") else err
                present = unescape(rest) in stream
                check(present == word.endswith("has"), "%s %r" % (word, rest))
            elif word == "stderr-empty":
                check(err == "", "standard error is not empty")
            elif word in ("log-has", "log-lacks"):
                path, _, text = rest.partition(" ")
                log = read(path) if os.path.exists(path) else None
                check(log is not None, "no log %s" % path)
                if log is not None:
                    check((unescape(text) in log) == (word == "log-has"), "%s %s %r" % (word, path, text))
            elif word == "file":
                m = re.match(r"^(\S+) =(?: (.*))?$", rest)
                if not m:
                    raise Failure("bad check: " + c)
                path, text = m.group(1), m.group(2) or ""
                if not os.path.isfile(path):
                    check(False, "no file %s" % path)
                else:
                    got = read(path)
                    check(got == unescape(text), "file %s holds %r, expected %r" % (path, got, unescape(text)))
            elif word == "pattern":
                path, size = rest.rsplit(" ", 1)
                ok = os.path.isfile(path) and open(path, "rb").read() == pattern(int(size))
                check(ok, "%s does not hold the %s-byte pattern" % (path, size))
            elif word == "present":
                check(os.path.isfile(rest) and os.path.getsize(rest) > 0, "%s missing or empty" % rest)
            elif word == "absent":
                check(not os.path.lexists(rest), "%s exists" % rest)
            elif word == "pidfile":
                got = read(rest) if os.path.isfile(rest) else None
                check(got == "%d " % client.pid, "pid file %s holds %r, expected %r" % (rest, got, "%d " % client.pid))
            elif word in ("record-has", "record-lacks"):
                found = re.search(rest, rec, re.M) is not None
                check(found == (word == "record-has"), "%s %r" % (word, rest))
            elif word == "slower-than":
                check(elapsed >= float(rest), "took %.1f s, expected at least %s" % (elapsed, rest))
            elif word == "max-rss-mb":
                if b"AddressSanitizer" in open(args.client, "rb").read():
                    print("max-rss-mb not checked: the client carries a sanitizer")
                else:
                    check(peak_kib <= float(rest) * 1024,
                          "peak memory %.1f MiB, expected at most %s" % (peak_kib / 1024.0, rest))
            elif word == "faster-than":
                check(elapsed < float(rest), "took %.1f s, expected under %s" % (elapsed, rest))
            else:
                raise Failure("unknown check: " + c)
        check(server_status == want_server, "server status %s, expected %d" % (server_status, want_server))
        for name, got in (("stdout", out), ("stderr", err)):
            if name in sections:
                want = subst(sections[name])
                got_n = STAMP.sub("<TS> ", got)
                check(got_n == want, "%s differs:\n--- expected\n%s--- got\n%s---" % (name, want, got_n))

        if failures:
            raise Failure("\n".join(failures) + "\n\nstdout:\n%s\nstderr:\n%s\nserver record:\n%s\nserver stderr:\n%s"
                          % (out, err, rec, read(os.path.join(tmp, "server.err"))))
    except Failure as e:
        print("FAIL %s\n%s" % (os.path.basename(args.case), e))
        if not args.keep:
            print("(case folder removed; --keep leaves it)")
        return 1
    finally:
        if server is not None and server.poll() is None:
            server.send_signal(signal.SIGKILL)
            server.wait()
        if mounted and subprocess.run(["umount", mounted]).returncode != 0:
            subprocess.run(["umount", "-l", mounted])
        if args.keep:
            print("case folder:", tmp)
        elif not (mounted and os.path.ismount(mounted)):
            shutil.rmtree(tmp, ignore_errors=True)
    print("ok %s" % os.path.basename(args.case))
    return 0


if __name__ == "__main__":
    sys.exit(main())
