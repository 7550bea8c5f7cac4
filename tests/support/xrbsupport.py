"""Small pieces shared by the Python tests and the benchmark: ports, files,
the local build server on a port of its own, the client's environment, a
pseudo-terminal that collects what is shown on it, and a pass/fail tally."""
import os
import pty
import socket
import subprocess
import threading
import time


def free_port():
    """A loopback port nothing listens on at this moment."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def read(path):
    """A file's bytes as text, one character a byte."""
    with open(path, "rb") as f:
        return f.read().decode("latin-1")


def wait_port_file(path, proc, limit=10.0):
    """The port a server started with --port 0 --port-file PATH wrote, or
    None when the process ended first or the limit passed."""
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        if os.path.exists(path):
            with open(path) as f:
                text = f.read().strip()
            if text:
                return int(text)
        if proc.poll() is not None:
            return None
        time.sleep(0.01)
    return None


def start_server(server, folder, args, stderr=subprocess.DEVNULL, env=None, port_file="server.port"):
    """Starts xrbblds on a loopback port of its own with further arguments,
    its port file in folder; returns (process, port), port None when it did
    not start listening (the process is then ended)."""
    portfile = os.path.join(folder, port_file)
    proc = subprocess.Popen([server, "--port", "0", "--port-file", portfile] + list(args),
                            stdout=subprocess.DEVNULL, stderr=stderr, env=env)
    port = wait_port_file(portfile, proc)
    if port is None and proc.poll() is None:
        proc.kill()
        proc.wait()
    return proc, port


def client_env(base=None, **extra):
    """The client's environment without the caller's tracing, language and
    security manager settings, and with a manager port nothing listens on,
    so that a run never meets this machine's manager."""
    env = {k: v for k, v in (base if base is not None else os.environ).items()
           if not k.startswith(("XRB_", "XRBSEC_", "TC_")) and k != "CLASSPATH"}
    env["XRBSEC_PORT"] = str(free_port())
    env["CLASSPATH"] = "/nonexistent/xrbsecmgr.jar"
    env.update(extra)
    return env


def drain(fd, into):
    """Appends what fd delivers to the list into, until it ends."""
    while True:
        try:
            data = os.read(fd, 65536)
        except OSError:
            return
        if not data:
            return
        into.append(data)


class Terminal:
    """A pseudo-terminal whose output is collected while a program runs on
    it; give slave to the program, then take text()."""

    def __init__(self):
        self.master, self.slave = pty.openpty()
        self.chunks = []
        self.thread = threading.Thread(target=drain, args=(self.master, self.chunks), daemon=True)
        self.thread.start()

    def text(self):
        """Everything shown, with the terminal's carriage return before each
        newline taken out again."""
        os.close(self.slave)
        self.thread.join(timeout=5)
        os.close(self.master)
        return b"".join(self.chunks).replace(b"\r\n", b"\n")


class Tally:
    """Checks that print one line each and remember what failed."""

    def __init__(self):
        self.failures = []

    def check(self, cond, what):
        print(("ok   " if cond else "FAIL ") + what)
        if not cond:
            self.failures.append(what)
        return cond
