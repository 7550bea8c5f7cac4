#!/usr/bin/env python3
"""Checks of the stand-in security manager over its loopback exchange."""
import os
import select
import socket
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import throwaway  # noqa: E402
from fakesecmgr import MARKER  # noqa: E402
from xrbsupport import free_port  # noqa: E402

JAR = os.environ.get("XRB_SECMGR_JAR", "")
CLASS = "com.qvx.gadrin.zun.distributedbuild.security.XrbSecManager"


def wait_listening(port, proc, limit=15.0):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        if proc.poll() is not None:
            return False
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return True
        except OSError:
            time.sleep(0.05)
    return False


def exchange(port, *pieces, pause=0.0):
    """Sends the request pieces and reads up to the end marker, keeping the
    connection open as the client does."""
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        for i, p in enumerate(pieces):
            if i:
                time.sleep(pause)
            s.sendall(p)
        got = b""
        while not got.endswith(MARKER):
            b = s.recv(1)
            if not b:
                raise AssertionError("closed before the end marker: %r" % got)
            got += b
        return got[: -len(MARKER)]


class Manager:
    def __init__(self, port, idle="30", extra_env=None):
        """idle None leaves XRBSEC_IDLE unset: the manager's default."""
        self.port = port
        env = dict(os.environ, XRBSEC_PORT=str(port), CLASSPATH=JAR)
        env.pop("XRBSEC_IDLE", None)
        if idle is not None:
            env["XRBSEC_IDLE"] = idle
        env.update(extra_env or {})
        self.proc = subprocess.Popen(["java", CLASS], env=env,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE)

    def announcement(self, limit=15.0):
        """The line the manager writes on standard error once it listens
        ("" when none comes in time)."""
        ready, _, _ = select.select([self.proc.stderr], [], [], limit)
        return self.proc.stderr.readline().decode() if ready else ""

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.communicate(timeout=10)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        return False


class ManagerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.port = free_port()
        cls.mgr = Manager(cls.port)
        if not wait_listening(cls.port, cls.mgr.proc):
            cls.mgr.stop()
            raise AssertionError("manager did not start listening")

    @classmethod
    def tearDownClass(cls):
        cls.mgr.stop()

    def test_store_and_fetch_per_user_and_host(self):
        self.assertEqual(exchange(self.port, b"GETUSER alice hostA"), b"0")
        self.assertEqual(exchange(self.port, b"ADDUSER alice hostA s3cret"), b"1")
        self.assertEqual(exchange(self.port, b"GETUSER alice hostA"), b"1 s3cret")
        self.assertEqual(exchange(self.port, b"GETUSER alice hostB"), b"0")
        self.assertEqual(exchange(self.port, b"GETUSER bob hostA"), b"0")
        self.assertEqual(exchange(self.port, b"ADDUSER alice hostA n3w"), b"1")
        self.assertEqual(exchange(self.port, b"GETUSER alice hostA"), b"1 n3w")

    def test_request_in_pieces_is_taken_whole(self):
        exchange(self.port, b"ADDUSER carol h pass", b"word", pause=0.01)
        self.assertEqual(exchange(self.port, b"GETUSER carol h"), b"1 password")

    def test_malformed_requests_get_zero(self):
        start = time.monotonic()
        # Short of a word: answered once the line stays quiet, not held.
        self.assertEqual(exchange(self.port, b"ADDUSER dave h"), b"0")
        self.assertLess(time.monotonic() - start, 5)
        self.assertEqual(exchange(self.port, b"ADDUSER dave h two words"), b"0")
        self.assertEqual(exchange(self.port, b"GETUSER dave h"), b"0")
        self.assertEqual(exchange(self.port, b"HELLO"), b"0")
        # A password too long for the client's reply buffer is refused.
        self.assertEqual(exchange(self.port, b"ADDUSER erin h " + b"x" * 300), b"0")
        self.assertEqual(exchange(self.port, b"GETUSER erin h"), b"0")

    def test_silent_or_oversized_peer_does_not_stop_service(self):
        with socket.create_connection(("127.0.0.1", self.port), timeout=5):
            with socket.create_connection(("127.0.0.1", self.port), timeout=5) as big:
                try:
                    big.sendall(b"A" * 10000)
                except OSError:
                    pass
                self.assertEqual(exchange(self.port, b"HELLO"), b"0")

    def test_second_manager_on_same_port_gives_way(self):
        with Manager(self.port) as other:
            self.assertEqual(other.proc.wait(timeout=15), 1)
        self.assertEqual(exchange(self.port, b"HELLO"), b"0")


class LifecycleTest(unittest.TestCase):
    def test_ends_itself_after_idle_time_and_writes_pid(self):
        port = free_port()
        with tempfile.TemporaryDirectory() as d:
            pidfile = os.path.join(d, "pid")
            with Manager(port, idle="1", extra_env={"XRBSEC_PIDFILE": pidfile}) as mgr:
                self.assertTrue(wait_listening(port, mgr.proc))
                # Written just after the port is taken.
                end = time.monotonic() + 5
                while not os.path.exists(pidfile) and time.monotonic() < end:
                    time.sleep(0.02)
                with open(pidfile) as f:
                    self.assertEqual(int(f.read()), mgr.proc.pid)
                exchange(port, b"GETUSER x h")
                t0 = time.monotonic()
                self.assertEqual(mgr.proc.wait(timeout=15), 0)
                self.assertGreater(time.monotonic() - t0, 0.5)

    def test_idle_time_counts_from_the_last_request(self):
        port = free_port()
        with Manager(port, idle="1.5") as mgr:
            self.assertTrue(wait_listening(port, mgr.proc))
            self.assertEqual(exchange(port, b"ADDUSER x h pw"), b"1")
            # Requests every 0.5 s keep it alive well past its idle time.
            for _ in range(6):
                time.sleep(0.5)
                self.assertEqual(exchange(port, b"GETUSER x h"), b"1 pw")
            t0 = time.monotonic()
            self.assertEqual(mgr.proc.wait(timeout=15), 0)
            self.assertGreater(time.monotonic() - t0, 1.0)

    def test_default_lifetime_is_an_hour_and_zero_means_until_stopped(self):
        port = free_port()
        with Manager(port, idle=None) as mgr:
            self.assertEqual(mgr.announcement().strip(),
                             "XrbSecManager: port %d, ends 3600 s after the last request" % port)
        with Manager(port, idle="0") as mgr:
            self.assertEqual(mgr.announcement().strip(), "XrbSecManager: port %d, kept until stopped" % port)
            self.assertEqual(exchange(port, b"ADDUSER x h pw"), b"1")
            time.sleep(2.5)
            self.assertIsNone(mgr.proc.poll())
            self.assertEqual(exchange(port, b"GETUSER x h"), b"1 pw")
        for bad in ("-1", "soon"):
            with Manager(port, idle=bad) as mgr:
                self.assertEqual(mgr.proc.wait(timeout=15), 2, bad)

    def test_port_out_of_range_is_refused(self):
        with Manager("70000") as mgr:
            self.assertEqual(mgr.proc.wait(timeout=15), 2)


ATTACKER = r"""
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=5)
s.sendall(sys.argv[2].encode())
got = b""
try:
    while True:
        b = s.recv(512)
        if not b:
            break
        got += b
except OSError:
    pass
print(repr(got))
"""


class OtherUserTest(unittest.TestCase):
    """Another local user can neither read nor replace a stored password,
    nor keep the manager alive."""

    def test_other_user_cannot_read_or_replace(self):
        with throwaway.User("xrbt17sec2") as other, Manager(free_port(), idle="3") as mgr:
            port = mgr.port
            self.assertTrue(wait_listening(port, mgr.proc))
            self.assertEqual(exchange(port, b"ADDUSER alice hostA s3cret"), b"1")

            def attack(request, may_be_gone=False):
                r = subprocess.run(other.cmd([throwaway.PYTHON, "-c", ATTACKER, str(port), request]), cwd="/",
                                   capture_output=True, timeout=30)
                if not may_be_gone:
                    self.assertEqual(r.returncode, 0, r.stderr)
                return r.stdout.decode().strip()

            self.assertEqual(attack("GETUSER alice hostA"), "b''")
            self.assertEqual(attack("ADDUSER alice hostA evil"), "b''")
            self.assertEqual(attack("ADDUSER mallory hostA evil"), "b''")
            self.assertEqual(exchange(port, b"GETUSER alice hostA"), b"1 s3cret")
            self.assertEqual(exchange(port, b"GETUSER mallory hostA"), b"0")

            # The other user's connections, however many, do not hold
            # the manager open past its idle time.
            t0 = time.monotonic()
            attacks = 0
            while mgr.proc.poll() is None and time.monotonic() - t0 < 30:
                attack("GETUSER alice hostA", may_be_gone=True)
                attacks += 1
            took = time.monotonic() - t0
            self.assertIsNotNone(mgr.proc.poll(), "still alive after %d connections in %.1f s" % (attacks, took))
            self.assertEqual(mgr.proc.wait(timeout=5), 0)
            # Idle time 3 s; the margin is for a loaded machine.
            self.assertLess(took, 15, "ended only after %d connections" % attacks)


if __name__ == "__main__":
    if not JAR or not os.path.exists(JAR):
        sys.exit("XRB_SECMGR_JAR does not name the built manager")
    unittest.main(verbosity=2)
