"""Shared pieces of the build server tests: the real xrbblds in normal mode
on an ephemeral loopback port (--port 0 --port-file), the real xrbbldc
against it, and the bytes of a control packet for peers that misbehave."""
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from xrbsupport import free_port, read, start_server  # noqa: E402,F401

CLIENT = os.path.abspath(os.environ.get("XRB_CLIENT", ""))
SERVER = os.path.abspath(os.environ.get("XRB_SERVER", ""))
SOURCE = os.path.abspath(os.environ.get("XRB_SOURCE", os.path.join(os.path.dirname(__file__), "..", "..")))
SAMPLE = os.path.join(SOURCE, "tools", "buildserver", "sample")
SAMPLE_CC = os.path.join(SAMPLE, "scripts", "cc")


def write(path, text, mode=None):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "w", encoding="latin-1") as f:
        f.write(text)
    if mode is not None:
        os.chmod(path, mode)
    return path


def script(folder, name, body):
    """A build script: a shell script with the given body."""
    return write(os.path.join(folder, name), "#!/bin/sh\n" + body, 0o755)


def client_env(extra=None):
    """The client's environment without the tracing and language settings of
    the caller, and with a security manager port nothing listens on, so that
    a run with -au never meets a manager of this machine, and one it starts
    does not outlive the test."""
    env = {k: v for k, v in os.environ.items()
           if not k.startswith("XRB_") and not k.startswith("TC_") and k != "CLASSPATH"}
    env["XRBSEC_PORT"] = str(free_port())
    # A manager that a run with -au -ap starts ends soon after the test.
    env["XRBSEC_IDLE"] = "5"
    env.update(extra or {})
    return env


def wait_for(predicate, timeout, step=0.02):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


# -- the wire, for peers that are not the client ------------------------------
MAGIC, KEY_CLEAR = 29292929, 257
TEXT, BINARY, NLSTEXT = 1, 2, 3
COMM_START, COMM_BUSY, COMM_PING = 7, 17, 8


def _unit(tag, kind, data):
    n = len(data) * (2 if kind == NLSTEXT else 1)
    reserved = (n + 7) // 8 * 8
    return struct.pack(">III", tag, kind, len(data)) + data + b"\0" * (reserved - len(data))


def comm_packet(code, text=b"", value=0, version=b"1.0.4.0.QVX"):
    """A control packet framed as the client frames it."""
    body = (_unit(4, TEXT, version + b"\0") + _unit(402, NLSTEXT, text + b"\0")
            + _unit(403, BINARY, struct.pack(">i", value)) + _unit(401, BINARY, bytes([code]))
            + _unit(9999, TEXT, b"END\0"))
    return struct.pack(">III", MAGIC, len(body), KEY_CLEAR) + b"\0" * 8 + body


def read_packet(sock, timeout=10):
    """One packet: (type, {tag: data}), or None when the peer closed."""
    sock.settimeout(timeout)

    def take(n):
        data = b""
        while len(data) < n:
            piece = sock.recv(n - len(data))
            if not piece:
                return None
            data += piece
        return data
    header = take(20)
    if header is None:
        return None
    _, length, _ = struct.unpack(">III", header[:12])
    body = take(length)
    units, pos, first = {}, 0, None
    while pos + 12 <= len(body):
        tag, kind, n = struct.unpack(">III", body[pos:pos + 12])
        reserved = ((n * (2 if kind == NLSTEXT else 1)) + 7) // 8 * 8
        units[tag] = body[pos + 12:pos + 12 + n]
        first = tag if first is None else first
        pos += 12 + reserved
    return first, units


# -- the server ---------------------------------------------------------------
class Server:
    """xrbblds in normal mode; stop() ends it with SIGTERM."""

    def __init__(self, folder, scripts, *args, work=None, env=None):
        self.folder = folder
        self.scripts = scripts
        self.work = work or os.path.join(folder, "work")
        self.log_path = os.path.join(folder, "server-%d.log" % id(self))
        self.log_file = open(self.log_path, "wb")
        self.proc, self.port = start_server(SERVER, folder, ["--scripts", scripts, "--work", self.work] + list(args),
                                            stderr=self.log_file, env=env, port_file="server-%d.port" % id(self))
        if self.port is None:
            raise AssertionError("the server did not start: " + self.log())
        self.host = "127.0.0.1@%d" % self.port

    def log(self):
        if not self.log_file.closed:
            self.log_file.flush()
        return read(self.log_path)

    def wait_log(self, pattern, timeout=10, count=1):
        ok = wait_for(lambda: len(re.findall(pattern, self.log(), re.M)) >= count, timeout)
        if not ok:
            raise AssertionError("the server log lacks %r (%d times):\n%s" % (pattern, count, self.log()))

    def run_folder(self):
        """This server's own folder under --work."""
        names = [n for n in os.listdir(self.work) if n.startswith("xrbblds.")]
        return os.path.join(self.work, names[0]) if len(names) == 1 else None

    def children(self):
        """Processes the server started that still exist (zombies included)."""
        path = "/proc/%d/task/%d/children" % (self.proc.pid, self.proc.pid)
        try:
            return [int(p) for p in read(path).split()]
        except OSError:
            return []

    def alive(self):
        return self.proc.poll() is None

    def stop(self, timeout=10):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log_file.close()
        return self.proc.returncode


class Client:
    """One xrbbldc run; start() returns at once, wait() collects."""

    def __init__(self, args, cwd, env=None):
        self.args = [CLIENT] + list(args)
        self.cwd = cwd
        self.env = env or client_env()

    def start(self):
        self.started = time.monotonic()
        self.proc = subprocess.Popen(self.args, cwd=self.cwd, env=self.env,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        return self

    def wait(self, timeout=60):
        try:
            out, err = self.proc.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.communicate()
            raise AssertionError("the client did not end within %s s: %s" % (timeout, self.args))
        self.elapsed = time.monotonic() - self.started
        self.status = self.proc.returncode
        self.out = out.decode("latin-1")
        self.err = err.decode("latin-1")
        return self

    def run(self, timeout=60):
        return self.start().wait(timeout)

    def __str__(self):
        return "status %s\nstdout:\n%s\nstderr:\n%s" % (self.status, self.out, self.err)


class ServerCase(unittest.TestCase):
    """A temporary folder with a scripts folder and a client folder; every
    server started with server() is stopped at the end."""

    def setUp(self):
        if not (os.path.isfile(CLIENT) and os.path.isfile(SERVER)):
            self.skipTest("XRB_CLIENT and XRB_SERVER must name the built programs")
        self.tmp = tempfile.mkdtemp(prefix="xrb-server-")
        self.scripts = os.path.join(self.tmp, "scripts")
        self.home = os.path.join(self.tmp, "home")
        os.makedirs(self.scripts)
        os.makedirs(self.home)
        self.servers = []

    def tearDown(self):
        for s in self.servers:
            s.stop()
        shutil.rmtree(self.tmp, ignore_errors=True)

    def server(self, *args, **kw):
        s = Server(self.tmp, self.scripts, *args, **kw)
        self.servers.append(s)
        return s

    def client(self, server, *args, cwd=None, env=None):
        return Client(["-h", server.host] + list(args), cwd or self.home, env)

    def build(self, server, *args, **kw):
        return self.client(server, *args, **kw).run()

    def assertGood(self, run):
        self.assertEqual(run.status, 0, str(run))
        self.assertIn("*** Success ***", run.out)
