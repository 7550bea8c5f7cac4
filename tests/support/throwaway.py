"""A throw-away second user for security tests: made with useradd, used to
plant files, hold locks and listen on ports as an attacker would, removed at
the end (also when the test fails).  The tests that use it need root (CI
runs as root) and skip cleanly otherwise: can_run() tells a script, and
User() in a unittest case skips the case by itself.

Each suite uses a user name of its own (ctest keeps two tests with the same
name apart with a RESOURCE_LOCK)."""

import os
import pwd
import subprocess
import sys
import time
import unittest

SKIP = 77
# The user runs its steps with a Python it can reach (not one under /root).
PYTHON = "/usr/bin/python3" if os.access("/usr/bin/python3", os.X_OK) else sys.executable


def can_run():
    return os.geteuid() == 0


def _retry(argv, ok=(0,), tries=100):
    # Other suites may edit the user database at the same moment: useradd
    # and userdel then fail on its lock, and a moment later succeed.
    r = None
    for _ in range(tries):
        r = subprocess.run(argv, capture_output=True, text=True, timeout=30)
        if r.returncode in ok:
            return r
        time.sleep(0.1)
    raise RuntimeError("%s: %s %s" % (" ".join(argv), r.returncode, r.stderr.strip()))


class User:
    def __init__(self, name):
        self.name = name

    def __enter__(self):
        if not can_run():
            raise unittest.SkipTest("needs root to create a second user")
        try:
            pwd.getpwnam(self.name)
            _retry(["userdel", self.name])   # left over from a killed run
        except KeyError:
            pass
        _retry(["useradd", "--no-create-home", "--shell", "/usr/sbin/nologin",
                "--user-group", self.name])
        pw = pwd.getpwnam(self.name)
        self.uid, self.gid = pw.pw_uid, pw.pw_gid
        return self

    def __exit__(self, *exc):
        _retry(["userdel", self.name], ok=(0, 6))   # 6: no such user

    def cmd(self, argv):
        """argv run as this user, with no supplementary groups of ours."""
        return ["setpriv", "--reuid=%d" % self.uid, "--regid=%d" % self.gid,
                "--clear-groups", "--"] + list(argv)

    def run(self, argv, **kw):
        return subprocess.run(self.cmd(argv), timeout=30, cwd="/", **kw)

    def popen(self, argv, **kw):
        return subprocess.Popen(self.cmd(argv), cwd="/", **kw)

    def python(self, code, *args):
        """Runs a few lines of Python as the user; fails the test on error."""
        r = self.run([PYTHON, "-c", code] + [str(a) for a in args],
                     capture_output=True, text=True)
        if r.returncode != 0:
            raise RuntimeError("as %s: %s" % (self.name, r.stderr.strip()))
        return r.stdout

    def symlink(self, target, link):
        self.python("import os, sys; os.symlink(sys.argv[1], sys.argv[2])", target, link)

    def write(self, path, text, mode=0o666):
        self.python("import os, sys\n"
                    "fd = os.open(sys.argv[1], os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0)\n"
                    "os.write(fd, sys.argv[2].encode()); os.fchmod(fd, int(sys.argv[3], 8))",
                    path, text, oct(mode)[2:])


def shared_folder(parent="/tmp", prefix="xrbshared."):
    """A world-writable folder with the sticky bit, like /tmp."""
    import tempfile
    d = tempfile.mkdtemp(prefix=prefix, dir=parent)
    os.chmod(d, 0o1777)
    return d
