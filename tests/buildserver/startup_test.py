#!/usr/bin/env python3
"""What xrbblds checks before it listens: each refusal names the path and
the system's reason on standard error and ends with status 2; --help prints
the usage on standard output; credentials come from a private file."""
import os
import shutil
import socket
import subprocess
import tempfile
import unittest

from xrbtest import SERVER, ServerCase, read, script, wait_for, write


def as_nobody():
    """The command prefix that runs a program as an unprivileged user, for
    the permission checks that root would pass anyway; None when not root."""
    if os.geteuid() != 0 or shutil.which("setpriv") is None:
        return None
    return ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"]


class Startup(ServerCase):
    def start(self, *args, prefix=None):
        """Runs the server with args; it must end by itself (a refusal)."""
        argv = (prefix or []) + [SERVER] + list(args)
        try:
            r = subprocess.run(argv, capture_output=True, timeout=10)
        except subprocess.TimeoutExpired:
            self.fail("the server did not refuse: %s" % argv)
        return r.returncode, r.stdout.decode("latin-1"), r.stderr.decode("latin-1")

    def refused(self, text, *args, prefix=None):
        status, out, err = self.start(*args, prefix=prefix)
        self.assertEqual(status, 2, "stdout:\n%s\nstderr:\n%s" % (out, err))
        self.assertIn("xrbblds: " + text, err)
        self.assertEqual(out, "")
        return err

    def normal(self, *more):
        return ["--port", "0", "--scripts", self.scripts, "--work", os.path.join(self.tmp, "work")] + list(more)

    # -- usage ---------------------------------------------------------------
    def test_help_prints_the_usage_on_standard_output(self):
        for flag in ("--help", "-h"):
            status, out, err = self.start(flag)
            self.assertEqual(status, 0)
            self.assertEqual(err, "")
            self.assertTrue(out.startswith("usage: xrbblds"), out)
            for option in ("--scripts", "--work", "--jobs", "--idle-timeout", "--auth-file"):
                self.assertIn(option, out)

    def test_no_arguments_and_bad_options_are_usage_errors(self):
        status, out, err = self.start()
        self.assertEqual((status, out), (2, ""))
        self.assertIn("usage: xrbblds", err)
        self.refused("unknown option --frobnicate", "--frobnicate")
        self.refused("--jobs needs a whole number from 1 to 1024, not '0'", *self.normal("--jobs", "0"))
        self.refused("--jobs needs a whole number from 1 to 1024, not '2x'", *self.normal("--jobs", "2x"))
        self.refused("--idle-timeout needs a whole number", *self.normal("--idle-timeout", "-1"))
        self.refused("--port needs a whole number from 0 to 65535, not '70000'", "--port", "70000")
        self.refused("--work needs a value", "--scripts", self.scripts, "--work")
        self.refused("give either --scripts DIR", "--port", "0")
        self.refused("--auth needs USER:PASSWORD", *self.normal("--auth", "nocolon"))

    # -- the scripts folder ----------------------------------------------------
    def test_a_missing_scripts_folder(self):
        missing = os.path.join(self.tmp, "nonexistent")
        self.refused("the scripts folder %s: No such file or directory" % missing,
                     "--scripts", missing, "--work", os.path.join(self.tmp, "work"))

    def test_a_scripts_folder_that_is_a_file(self):
        f = write(os.path.join(self.tmp, "plain"), "x")
        self.refused("the scripts folder %s: Not a directory" % f, "--scripts", f)

    def test_an_unreadable_scripts_folder(self):
        prefix = as_nobody()
        os.chmod(self.tmp, 0o755)
        closed = os.path.join(self.tmp, "closed")
        os.makedirs(closed)
        os.chmod(closed, 0o300 if prefix is None else 0o700)
        try:
            self.refused("the scripts folder %s: Permission denied" % closed,
                         "--scripts", closed, "--work", os.path.join(self.tmp, "work"), prefix=prefix)
        finally:
            os.chmod(closed, 0o700)

    # -- the work folder -------------------------------------------------------
    def test_a_missing_work_folder_is_made_with_its_parents(self):
        script(self.scripts, "quick", "exit 0\n")
        work = os.path.join(self.tmp, "a", "b", "work")
        server = self.server(work=work)
        self.assertTrue(os.path.isdir(work))
        self.assertEqual(os.stat(work).st_mode & 0o777, 0o700)
        self.assertEqual(len(os.listdir(work)), 1, "the server's own folder")
        self.assertGood(self.build(server, "-b", "quick"))

    def test_a_work_folder_that_is_a_file(self):
        f = write(os.path.join(self.tmp, "plain"), "x")
        self.refused("the work folder %s: Not a directory" % f, "--scripts", self.scripts, "--work", f)

    def test_a_work_folder_below_a_file(self):
        f = write(os.path.join(self.tmp, "plain"), "x")
        below = os.path.join(f, "work")
        self.refused("the work folder %s: Not a directory" % below,
                     "--scripts", self.scripts, "--work", below)

    def unwritable_folder(self, name):
        """A folder the server may not write in: owned by root and run as
        nobody when we are root, else made read-only.  Returns the folder
        and the command prefix to start the server with."""
        prefix = as_nobody()
        os.chmod(self.tmp, 0o755)
        os.chmod(self.scripts, 0o755)
        folder = os.path.join(self.tmp, name)
        os.makedirs(folder)
        if prefix is None:
            os.chmod(folder, 0o555)
            self.addCleanup(os.chmod, folder, 0o755)
        return folder, prefix

    def test_a_work_folder_that_cannot_be_made(self):
        locked, prefix = self.unwritable_folder("locked")
        work = os.path.join(locked, "sub", "work")
        self.refused("cannot create the work folder %s: Permission denied (at %s)"
                     % (work, os.path.join(locked, "sub")),
                     "--scripts", self.scripts, "--work", work, prefix=prefix)

    def test_a_work_folder_without_room_for_the_server(self):
        full, prefix = self.unwritable_folder("readonly")
        self.refused("cannot make a folder in the work folder %s: Permission denied" % full,
                     "--scripts", self.scripts, "--work", full, prefix=prefix)

    # -- credentials -----------------------------------------------------------
    def test_credentials_file_checks(self):
        auth = os.path.join(self.tmp, "auth")
        self.refused("the credentials file %s: No such file or directory" % auth,
                     *self.normal("--auth-file", auth))
        write(auth, "ann:secret\n", 0o644)
        self.refused("the credentials file %s is open to other users (mode 0644); make it private: "
                     "chmod 600 %s" % (auth, auth), *self.normal("--auth-file", auth))
        os.chmod(auth, 0o640)
        self.refused("the credentials file %s is open to other users (mode 0640)" % auth,
                     *self.normal("--auth-file", auth))
        os.chmod(auth, 0o602)
        self.refused("the credentials file %s is open to other users (mode 0602)" % auth,
                     *self.normal("--auth-file", auth))
        write(auth, "# nobody yet\n\n", 0o600)
        self.refused("the credentials file %s holds no user:password line" % auth,
                     *self.normal("--auth-file", auth))
        write(auth, "ann:secret\nbob\n", 0o600)
        self.refused("the credentials file %s, line 2: expected user:password" % auth,
                     *self.normal("--auth-file", auth))
        self.refused("the credentials file %s is not a regular file" % self.scripts,
                     *self.normal("--auth-file", self.scripts))
        self.assertFalse(os.path.exists(os.path.join(self.tmp, "work")),
                         "a refused start left a work folder behind")

    def test_credentials_from_a_private_file(self):
        script(self.scripts, "who", 'echo "user $XRB_USER"\n')
        auth = write(os.path.join(self.tmp, "auth"), "# users\nGuestUser:pw one\nbob:x:y\n", 0o600)
        server = self.server("--auth-file", auth)
        good = self.build(server, "-b", "who", "-ap", "pw one")
        self.assertGood(good)
        self.assertIn("user GuestUser", good.out)
        wrong = self.build(server, "-b", "who", "-ap", "pw two")
        self.assertEqual(wrong.status, 1)
        self.assertIn("user GuestUser is not authorised or the password is not valid", wrong.out)
        self.assertIn("credentials asked", server.log())
        self.assertNotIn("warning", server.log())

    def test_auth_on_the_command_line_still_works_with_a_warning(self):
        script(self.scripts, "quick", "exit 0\n")
        server = self.server("--auth", "GuestUser:pw")
        self.assertGood(self.build(server, "-b", "quick", "-ap", "pw"))
        self.assertIn("xrbblds: warning: --auth shows the password to every user of this machine",
                      server.log())

    # -- the port --------------------------------------------------------------
    def test_a_port_in_use(self):
        with socket.socket() as taken:
            taken.bind(("127.0.0.1", 0))
            taken.listen(1)
            port = taken.getsockname()[1]
            work = os.path.join(self.tmp, "work")
            self.refused("cannot listen on 127.0.0.1 port %d: Address already in use" % port,
                         "--port", str(port), "--scripts", self.scripts, "--work", work)
            self.assertEqual(os.listdir(work), [], "the refused server left its folder")

    def test_a_bind_address_that_is_not_one(self):
        self.refused("cannot listen on localhost port 0: not an IPv4 address",
                     "--bind", "localhost", *self.normal())

    def test_a_port_file_that_cannot_be_written(self):
        pf = os.path.join(self.tmp, "nonexistent", "port")
        self.refused("cannot write the port file %s: No such file or directory" % pf,
                     *self.normal("--port-file", pf))


if __name__ == "__main__":
    unittest.main(verbosity=2)
