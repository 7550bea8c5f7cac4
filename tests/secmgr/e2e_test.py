#!/usr/bin/env python3
"""The client's stored credentials end to end: the real client, the scripted
local build server and the stand-in security manager (or a fake of it)."""
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

CLIENT = os.path.abspath(os.environ.get("XRB_CLIENT", ""))
SERVER = os.path.abspath(os.environ.get("XRB_SERVER", ""))
JAR = os.environ.get("XRB_SECMGR_JAR", "")

SCRIPT = """accept
expect comm 7
ask auth user={user} password="{password}"
ask build script=b1
send comm 2
expect comm 5
send result 1
expect comm 2
send comm 2
"""


def slurp(path):
    with open(path, encoding="latin-1") as f:
        return f.read()


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Case(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="xrb-secmgr-")
        self.runs = 0
        self.env = dict(os.environ)
        for k in ("XRB_TRACE", "XRB_LANG", "CLASSPATH", "XRBSEC_IDLE", "XRBSEC_PIDFILE"):
            self.env.pop(k, None)
        self.env["XRBSEC_PORT"] = str(free_port())

    def tearDown(self):
        pidfile = os.path.join(self.tmp, "manager.pid")
        if os.path.exists(pidfile):
            try:
                os.kill(int(slurp(pidfile)), signal.SIGKILL)
            except (OSError, ValueError):
                pass
        shutil.rmtree(self.tmp, ignore_errors=True)

    def client(self, args, user, password, limit=30):
        """One build against a fresh scripted server that insists on the
        given credentials.  Returns (status, stdout, stderr, record, seconds)."""
        self.runs += 1
        d = os.path.join(self.tmp, "run%d" % self.runs)
        os.makedirs(d)
        script, record, portfile = (os.path.join(d, n) for n in ("script", "record", "port"))
        with open(script, "w") as f:
            f.write(SCRIPT.format(user=user, password=password))
        server = subprocess.Popen([SERVER, "--port", "0", "--port-file", portfile, "--script", script,
                                   "--record", record, "--deadline", str(limit + 5)],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            end = time.monotonic() + 10
            while not os.path.exists(portfile):
                self.assertIsNone(server.poll(), "server ended early")
                self.assertLess(time.monotonic(), end, "server did not start")
                time.sleep(0.02)
            port = slurp(portfile).strip()
            t0 = time.monotonic()
            c = subprocess.run([CLIENT, "-h", "127.0.0.1@" + port, "-b", "b1"] + args, cwd=d, env=self.env,
                               stdin=subprocess.DEVNULL, capture_output=True, timeout=limit)
            took = time.monotonic() - t0
            server.wait(timeout=10)
        finally:
            if server.poll() is None:
                server.kill()
                server.wait()
        rec = slurp(record) if os.path.exists(record) else ""
        return c.returncode, c.stdout.decode("latin-1"), c.stderr.decode("latin-1"), rec, took


class StoredPasswordTest(Case):
    def test_stored_by_one_run_and_used_by_the_next_never_traced(self):
        if not JAR or not os.path.exists(JAR):
            self.skipTest("stand-in manager not built")
        pidfile = os.path.join(self.tmp, "manager.pid")
        trace = os.path.join(self.tmp, "trace")
        self.env.update(CLASSPATH=JAR, XRBSEC_IDLE="30", XRBSEC_PIDFILE=pidfile,
                        XRB_TRACE="*", XRB_TRACEFILE=trace)

        st, out, err, rec, _ = self.client(["-au", "alice", "-ap", "s3cretPW"], "alice", "s3cretPW")
        self.assertEqual(st, 0, out + err + rec)
        # Nothing was listening, so the client's start command ran it.
        self.assertTrue(os.path.exists(pidfile), "the client did not start the manager")
        first = slurp(trace)
        self.assertIn("invoking: ", first)

        st, out, err, rec, _ = self.client(["-au", "alice"], "alice", "s3cretPW")
        self.assertEqual(st, 0, out + err + rec)
        self.assertRegex(rec, r'AUTH key=\d+ user="alice" password="s3cretPW"')
        whole = slurp(trace)
        self.assertEqual(whole.count("invoking: "), 1, "the running manager was started again")
        self.assertIn("received response from sec mgr: '1 ********'", whole)
        self.assertNotIn("s3cretPW", whole)
        self.assertNotIn("s3cretPW", out + err)

        # A different build server host has no stored password.
        self.env.pop("XRB_TRACE")
        st, out, err, rec, _ = self.client(["-au", "bob"], "bob", "")
        self.assertEqual(st, 0, out + err + rec)


class NoManagerTest(Case):
    def test_no_manager_and_no_java_goes_on_quietly(self):
        nobin = os.path.join(self.tmp, "nobin")
        os.makedirs(nobin)
        self.env["PATH"] = nobin
        st, out, err, rec, took = self.client(["-au", "alice"], "alice", "")
        self.assertEqual(st, 0, out + err + rec)
        self.assertEqual(err, "")
        # Only the build's own line: nothing about the manager.
        self.assertEqual(re.sub(r"\d\d/\d\d/\d\d \d\d:\d\d:\d\d ", "", out), "*** Success ***\n")
        self.assertLess(took, 10)


class FakeManager(threading.Thread):
    """Counts connections and answers each with a stored password."""

    def __init__(self, port):
        super().__init__(daemon=True)
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(("127.0.0.1", port))
        self.sock.listen(4)
        self.sock.settimeout(0.2)
        self.requests = []
        self.stop = False

    def run(self):
        while not self.stop:
            try:
                c, _ = self.sock.accept()
            except socket.timeout:
                continue
            with c:
                c.settimeout(0.3)
                got = b""
                try:
                    while True:
                        b = c.recv(512)
                        if not b:
                            break
                        got += b
                except socket.timeout:
                    pass
                self.requests.append(got.decode("latin-1"))
                c.sendall(b"1 fromManager" + b"XRB#END\0")
        self.sock.close()


class GuestUserTest(Case):
    def test_guest_user_makes_no_request(self):
        fake = FakeManager(int(self.env["XRBSEC_PORT"]))
        fake.start()
        try:
            st, out, err, rec, _ = self.client(["-au", "GuestUser", "-ap", "x"], "GuestUser", "x")
            self.assertEqual(st, 0, out + err + rec)
            self.assertEqual(fake.requests, [])
            # The same manager is asked as soon as the user is somebody.
            st, out, err, rec, _ = self.client(["-au", "carol"], "carol", "fromManager")
            self.assertEqual(st, 0, out + err + rec)
            self.assertEqual(fake.requests, ["GETUSER carol 127.0.0.1"])
        finally:
            fake.stop = True
            fake.join(5)


if __name__ == "__main__":
    if not (os.path.exists(CLIENT) and os.path.exists(SERVER)):
        sys.exit("XRB_CLIENT and XRB_SERVER must name the built client and server")
    unittest.main(verbosity=2)
