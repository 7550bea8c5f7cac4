#!/usr/bin/env python3
"""The client's stored credentials end to end: the real client, the scripted
local build server and the stand-in security manager (or a fake of it)."""
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

SUPPORT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support")
sys.path.insert(0, SUPPORT)
import throwaway  # noqa: E402
from fakesecmgr import MARKER, FakeManager  # noqa: E402
from xrbsupport import free_port, read as slurp, start_server  # noqa: E402

CLIENT = os.path.abspath(os.environ.get("XRB_CLIENT", ""))
SERVER = os.path.abspath(os.environ.get("XRB_SERVER", ""))
JAR = os.environ.get("XRB_SECMGR_JAR", "")
JAVAC = os.environ.get("XRB_JAVAC") or shutil.which("javac") or ""
# Where an installed jar would be found by a client that has none beside it.
INSTALLED_JAR = os.environ.get("XRB_SECMGR_INSTALLED_JAR", "")
MANAGER_CLASS = "com.qvx.gadrin.zun.distributedbuild.security.XrbSecManager"

SCRIPT = """accept
expect comm START
ask auth user={user} password="{password}"
ask build script=b1
send comm END
expect comm REQ_RESULT
send result 1
expect comm END
send comm END
"""


def without_stamps(text):
    return re.sub(r"\d\d/\d\d/\d\d \d\d:\d\d:\d\d ", "", text)


class Case(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="xrb-secmgr-")
        self.runs = 0
        self.env = dict(os.environ)
        for k in ("XRB_TRACE", "XRB_LANG", "CLASSPATH", "XRBSEC_IDLE", "XRBSEC_PIDFILE"):
            self.env.pop(k, None)
        self.env["XRBSEC_PORT"] = str(free_port())
        # Whatever manager a case starts is known, short-lived and ended
        # with the case.
        self.env["XRBSEC_PIDFILE"] = os.path.join(self.tmp, "manager.pid")
        self.env["XRBSEC_IDLE"] = "30"

    def tearDown(self):
        pidfile = os.path.join(self.tmp, "manager.pid")
        if os.path.exists(pidfile):
            try:
                os.kill(int(slurp(pidfile)), signal.SIGKILL)
            except (OSError, ValueError):
                pass
        shutil.rmtree(self.tmp, ignore_errors=True)

    def client(self, args, user, password, limit=30, script_text=None, setup=None, program=None, watch=None):
        """One build against a fresh scripted server that insists on the
        given credentials.  setup(folder) prepares the client's working
        folder, watch(process) looks at the client while it runs.  Returns
        (status, stdout, stderr, record, seconds); the client's log is left
        in self.log."""
        self.runs += 1
        d = os.path.join(self.tmp, "run%d" % self.runs)
        os.makedirs(d)
        self.log = os.path.join(d, "xrbbldc.log")
        if setup:
            setup(d)
        script, record = os.path.join(d, "script"), os.path.join(d, "record")
        with open(script, "w") as f:
            f.write((script_text or SCRIPT).format(user=user, password=password))
        server, port = start_server(SERVER, d, ["--script", script, "--record", record,
                                                "--deadline", str(limit + 5)])
        try:
            self.assertIsNotNone(port, "the server did not start")
            port = str(port)
            t0 = time.monotonic()
            c = subprocess.Popen([program or CLIENT, "-h", "127.0.0.1@" + port, "-b", "b1"] + args, cwd=d,
                                 env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE)
            try:
                if watch:
                    watch(c)
                out, err = c.communicate(timeout=limit)
            finally:
                if c.poll() is None:
                    c.kill()
                    c.communicate()
            took = time.monotonic() - t0
            server.wait(timeout=10)
        finally:
            if server.poll() is None:
                server.kill()
                server.wait()
        rec = slurp(record) if os.path.exists(record) else ""
        return c.returncode, out.decode("latin-1"), err.decode("latin-1"), rec, took

    def log_text(self):
        return slurp(self.log) if os.path.exists(self.log) else ""

    def manager_pid(self):
        """The process id of the manager a run started (it writes it just
        after taking its port)."""
        pidfile = self.env["XRBSEC_PIDFILE"]
        end = time.monotonic() + 10
        while not os.path.exists(pidfile) and time.monotonic() < end:
            time.sleep(0.05)
        return int(slurp(pidfile))


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


def stored_manager(port):
    """The fake manager: every request answered with a stored password."""
    return FakeManager(b"1 fromManager" + MARKER, port=int(port))


class GuestUserTest(Case):
    def test_guest_user_makes_no_request(self):
        with stored_manager(self.env["XRBSEC_PORT"]) as fake:
            st, out, err, rec, _ = self.client(["-au", "GuestUser", "-ap", "x"], "GuestUser", "x")
            self.assertEqual(st, 0, out + err + rec)
            self.assertEqual(fake.requests, [])
            # The same manager is asked as soon as the user is somebody.
            st, out, err, rec, _ = self.client(["-au", "carol"], "carol", "fromManager")
            self.assertEqual(st, 0, out + err + rec)
            self.assertEqual(fake.requests, ["GETUSER carol 127.0.0.1"])


PLANTED_CLASS = """package com.qvx.gadrin.zun.distributedbuild.security;
public class XrbSecManager {
    public static void main(String[] args) throws Exception {
        java.nio.file.Files.writeString(java.nio.file.Path.of("%s"), System.getProperty("user.dir"));
    }
}
"""


class PlantedInWorkingFolderTest(Case):
    """What lies in the working folder never becomes the manager: neither a
    class tree (java's default class path is the working folder) nor a java
    found through a relative PATH entry."""

    def test_class_tree_in_working_folder_is_never_loaded(self):
        if not JAR or not os.path.exists(JAR) or not JAVAC:
            self.skipTest("stand-in manager or javac not available")
        marker = os.path.join(self.tmp, "planted-class-ran")
        src = os.path.join(self.tmp, "src", "XrbSecManager.java")
        os.makedirs(os.path.dirname(src))
        with open(src, "w") as f:
            f.write(PLANTED_CLASS % marker)
        classes = os.path.join(self.tmp, "classes")
        subprocess.run([JAVAC, "-d", classes, src], check=True, timeout=120)

        def plant(d):
            shutil.copytree(os.path.join(classes, "com"), os.path.join(d, "com"))

        # CLASSPATH unset: the client names the jar that lies beside it.
        st, out, err, rec, _ = self.client(["-V", "-au", "alice", "-ap", "s3cretPW"], "alice", "s3cretPW",
                                           setup=plant)
        self.assertEqual(st, 0, out + err + rec)
        self.assertFalse(os.path.exists(marker), "the planted class ran in " +
                         (slurp(marker) if os.path.exists(marker) else ""))
        self.assertNotIn("XRBW-007", out)
        pid = self.manager_pid()
        self.assertEqual(os.readlink("/proc/%d/cwd" % pid), "/")
        args = slurp("/proc/%d/cmdline" % pid).split("\0")
        self.assertIn(os.path.realpath(JAR), args)

        # The real manager keeps the password for the next run.
        st, out, err, rec, _ = self.client(["-au", "alice"], "alice", "s3cretPW", setup=plant)
        self.assertEqual(st, 0, out + err + rec)
        self.assertFalse(os.path.exists(marker))

    def test_java_in_working_folder_is_never_run(self):
        if not JAR or not os.path.exists(JAR):
            self.skipTest("stand-in manager not built")
        marker = os.path.join(self.tmp, "planted-java-ran")

        def plant(d):
            java = os.path.join(d, "java")
            with open(java, "w") as f:
                f.write("#!/bin/sh\necho \"$@\" > '%s'\n" % marker)
            os.chmod(java, 0o755)

        self.env["PATH"] = ".:" + self.env.get("PATH", "/usr/bin:/bin")
        st, out, err, rec, _ = self.client(["-au", "alice", "-ap", "pw2"], "alice", "pw2", setup=plant)
        self.assertEqual(st, 0, out + err + rec)
        self.assertFalse(os.path.exists(marker), "the planted java ran")
        st, out, err, rec, _ = self.client(["-au", "alice"], "alice", "pw2", setup=plant)
        self.assertEqual(st, 0, out + err + rec)


class JarLocationTest(Case):
    """With CLASSPATH unset the client names the manager's jar itself: the one
    an install put beside it, never one that somebody else could have put
    there."""

    def started_jar(self):
        args = slurp("/proc/%d/cmdline" % self.manager_pid()).split("\0")
        return args[args.index("-cp") + 1]

    def test_installed_client_finds_installed_jar(self):
        build, cmake = os.environ.get("XRB_BUILD_DIR", ""), os.environ.get("XRB_CMAKE", "")
        if not (JAR and os.path.exists(JAR) and build and cmake):
            self.skipTest("stand-in manager or build folder not known")
        prefix = os.path.join(self.tmp, "prefix")
        subprocess.run([cmake, "--install", build, "--prefix", prefix], check=True, timeout=120,
                       stdout=subprocess.DEVNULL)
        program = os.path.join(prefix, "bin", "xrbbldc")
        st, out, err, rec, _ = self.client(["-V", "-au", "alice", "-ap", "pw"], "alice", "pw", program=program)
        self.assertEqual(st, 0, out + err + rec)
        self.assertNotIn("XRBW-007", out)
        self.assertEqual(os.path.realpath(self.started_jar()),
                         os.path.realpath(os.path.join(prefix, "share", "java", "xrbsecmgr.jar")))

    def test_jar_others_could_replace_is_not_used(self):
        if not JAR or not os.path.exists(JAR):
            self.skipTest("stand-in manager not built")
        if INSTALLED_JAR and os.path.exists(INSTALLED_JAR):
            self.skipTest("a manager jar is installed on this machine")
        bindir = os.path.join(self.tmp, "bin")
        os.makedirs(os.path.join(bindir, "secmgr"))
        program = os.path.join(bindir, "xrbbldc")
        shutil.copy(CLIENT, program)
        shutil.copy(JAR, os.path.join(bindir, "secmgr", "xrbsecmgr.jar"))
        # A folder anybody may write to, without the sticky bit.
        os.chmod(os.path.join(bindir, "secmgr"), 0o777)
        st, out, err, rec, _ = self.client(["-V", "-au", "alice", "-ap", "pw"], "alice", "pw", program=program)
        self.assertEqual(st, 0, out + err + rec)
        self.assertIn("XRBW-007", out)
        self.assertFalse(os.path.exists(os.path.join(self.tmp, "manager.pid")))

        # The same jar in a folder only its owner writes is used.
        os.chmod(os.path.join(bindir, "secmgr"), 0o755)
        st, out, err, rec, _ = self.client(["-V", "-au", "alice", "-ap", "pw"], "alice", "pw", program=program)
        self.assertEqual(st, 0, out + err + rec)
        self.assertNotIn("XRBW-007", out)
        self.assertEqual(self.started_jar(), os.path.join(os.path.realpath(bindir), "secmgr", "xrbsecmgr.jar"))


# The server takes its time before the build request.
SLOW_SCRIPT = SCRIPT.replace("ask build", "sleep 2500\nask build")


class ProcessListTest(Case):
    def test_password_is_not_in_the_command_line_while_the_build_runs(self):
        password = "S3cret-PW-42"
        seen = []

        def watch(proc):
            t0 = time.monotonic()
            while proc.poll() is None and time.monotonic() - t0 < 2.0:
                try:
                    with open("/proc/%d/cmdline" % proc.pid, "rb") as f:
                        seen.append((time.monotonic() - t0, f.read()))
                except OSError:
                    break
                time.sleep(0.05)

        with stored_manager(self.env["XRBSEC_PORT"]) as fake:
            st, out, err, rec, took = self.client(["-au", "alice", "-ap", password], "alice", password,
                                                  script_text=SLOW_SCRIPT, watch=watch)
        self.assertEqual(st, 0, out + err + rec)
        self.assertEqual(fake.requests, ["ADDUSER alice 127.0.0.1 " + password])
        # Looked at while the build was still waiting for the server.
        late = [c for t, c in seen if t > 1.0]
        self.assertTrue(late, "the build ended before the command line could be read")
        for c in late:
            self.assertNotIn(password.encode(), c)
            self.assertIn(b"\0-ap\0" + b"*" * len(password) + b"\0", c)


class NotStoredWarningTest(Case):
    """A password given with -ap that no manager could keep is reported from
    -V on, on the screen and in the log; without -V nothing is said."""

    def check_warning(self, **kw):
        # The build clears the log it starts on: the warning must come after
        # that, in the build's own log, with and without a prefix.
        st, out, err, rec, _ = self.client(["-V", "-au", "alice", "-ap", "pw"], "alice", "pw", **kw)
        self.assertEqual(st, 0, out + err + rec)
        self.assertIn("XRBW-007", out)
        self.assertIn("The password for alice was not stored", without_stamps(out))
        self.assertIn("XRBW-007", self.log_text())

        st, out, err, rec, _ = self.client(["-V", "-P", "job.", "-au", "alice", "-ap", "pw"], "alice", "pw", **kw)
        self.assertEqual(st, 0, out + err + rec)
        prefixed = os.path.join(os.path.dirname(self.log), "job.xrbbldc.log")
        self.assertIn("XRBW-007", slurp(prefixed) if os.path.exists(prefixed) else "")

        st, out, err, rec, _ = self.client(["-P", "job.", "-au", "alice", "-ap", "pw"], "alice", "pw", **kw)
        self.assertEqual(st, 0, out + err + rec)
        self.assertEqual(without_stamps(out), "*** Success ***\n")
        self.assertEqual(err, "")
        self.assertNotIn("XRBW-007", self.log_text())

    def test_java_missing(self):
        nobin = os.path.join(self.tmp, "nobin")
        os.makedirs(nobin)
        self.env["PATH"] = nobin
        self.env["CLASSPATH"] = JAR or "/nonexistent/xrbsecmgr.jar"
        self.check_warning()

    def test_jar_missing(self):
        if INSTALLED_JAR and os.path.exists(INSTALLED_JAR):
            self.skipTest("a manager jar is installed on this machine")
        if not shutil.which("java", path=self.env.get("PATH")):
            self.skipTest("no java")
        # A copy of the client with no jar beside it, and CLASSPATH unset.
        bindir = os.path.join(self.tmp, "bin")
        os.makedirs(bindir)
        program = os.path.join(bindir, "xrbbldc")
        shutil.copy(CLIENT, program)
        self.check_warning(program=program)


class PastTheOldMinuteTest(Case):
    """A password stored by one run is still there for a run more than a
    minute later (the manager used to end itself after 60 idle seconds).
    Mostly sleeping, so it runs as a test of its own, beside the others."""

    def test_password_outlives_a_minute_of_idleness(self):
        if os.environ.get("XRB_SECMGR_MINUTE") != "1":
            self.skipTest("runs as the test secmgr.lifetime")
        if not JAR or not os.path.exists(JAR):
            self.skipTest("stand-in manager not built")
        # XRBSEC_IDLE unset: the manager's own default lifetime.
        self.env.pop("XRBSEC_IDLE")
        st, out, err, rec, _ = self.client(["-au", "alice", "-ap", "s3cretPW"], "alice", "s3cretPW")
        self.assertEqual(st, 0, out + err + rec)
        time.sleep(62)
        st, out, err, rec, _ = self.client(["-au", "alice"], "alice", "s3cretPW")
        self.assertEqual(st, 0, out + err + rec)
        self.assertRegex(rec, r'AUTH key=\d+ user="alice" password="s3cretPW"')


class OtherUsersListenerTest(Case):
    """Another user who listens on the manager's port first hears nothing
    from the client, and the password it offers is never used."""

    def test_foreign_listener_gets_nothing_and_is_not_believed(self):
        with throwaway.User("xrbt17sec") as other:
            port = self.env["XRBSEC_PORT"]
            # The other user may not reach our files: the fake runs from its text.
            fake = subprocess.Popen(other.cmd([throwaway.PYTHON, "-c", slurp(os.path.join(SUPPORT, "fakesecmgr.py")),
                                               port, "1 evilPW"]), cwd="/",
                                    stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            try:
                self.assertEqual(fake.stdout.readline().strip(), b"ready", "the other user's listener did not start")
                self.env["CLASSPATH"] = JAR or "/nonexistent/xrbsecmgr.jar"
                st, out, err, rec, _ = self.client(["-V", "-au", "alice", "-ap", "s3cret"], "alice", "s3cret")
                self.assertEqual(st, 0, out + err + rec)
                self.assertIn("XRBW-007", out)
                # The server insists on an empty password: evilPW must not come.
                st, out, err, rec, _ = self.client(["-au", "alice"], "alice", "")
                self.assertEqual(st, 0, out + err + rec)
                self.assertNotIn("evilPW", rec)
            finally:
                try:
                    got, _ = fake.communicate(timeout=10)
                except subprocess.TimeoutExpired:
                    fake.kill()
                    got, _ = fake.communicate()
            heard = json.loads(got.decode().strip().splitlines()[-1])
            self.assertTrue(heard, "the client never came to the port")
            self.assertEqual(heard, [""] * len(heard), "the listener heard: %r" % heard)


if __name__ == "__main__":
    if not (os.path.exists(CLIENT) and os.path.exists(SERVER)):
        sys.exit("XRB_CLIENT and XRB_SERVER must name the built client and server")
    unittest.main(verbosity=2)
