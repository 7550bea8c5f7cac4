"""A throw-away second local user for tests that act as an attacker would.

Creating users needs root; without it the tests that need one are skipped."""
import os
import pwd
import subprocess
import unittest


class OtherUser:
    def __init__(self, name):
        self.name = name

    def __enter__(self):
        if os.geteuid() != 0:
            raise unittest.SkipTest("needs root to create a second user")
        try:
            pwd.getpwnam(self.name)
        except KeyError:
            subprocess.run(["useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", self.name],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        self.uid = pwd.getpwnam(self.name).pw_uid
        return self

    def __exit__(self, *exc):
        subprocess.run(["userdel", self.name], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        return False

    def cmd(self, argv):
        """argv run as this user, with no supplementary groups of ours."""
        return ["setpriv", "--reuid", self.name, "--regid", self.name, "--clear-groups", "--"] + list(argv)
