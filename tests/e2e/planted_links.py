#!/usr/bin/env python3
"""Message files against links that another user planted.

A throw-away user (xrbt17path) owns a shared sticky folder under /tmp and
plants symbolic links in it: one named like the message file, a linked
folder on the way ("sub/x.MSG" with "sub" a link), and a dangling link.
The client, run by root with its prefix in that folder, must refuse each
with XRBE-055 and status 1 and write nothing through the link.  Each run is
an end-to-end case of the case runner.  Needs root (useradd); exits 77 to skip.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

SUPPORT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support")
sys.path.insert(0, SUPPORT)
import throwaway  # noqa: E402

USER = "xrbt17path"

SERVER_SENDS = """accept
expect comm START
ask build
send comm END
expect comm REQ_RESULT
send result 1 files="{name}"
serve "{name}" content="the server's bytes"
expect comm END
send comm END
"""


def run_case(args, work, title, text):
    path = os.path.join(work, title + ".case")
    with open(path, "w") as f:
        f.write(text)
    done = subprocess.run([sys.executable, os.path.join(SUPPORT, "run_case.py"),
                           "--client", os.path.abspath(args.client), "--server", os.path.abspath(args.server),
                           path], capture_output=True, text=True, timeout=120)
    print(done.stdout + done.stderr, end="")
    return done.returncode == 0


def read(path):
    with open(path, "rb") as f:
        return f.read()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--client", required=True)
    ap.add_argument("--server", required=True)
    args = ap.parse_args()
    if not throwaway.can_run() or shutil.which("useradd") is None:
        print("skipped: planting links as a second user needs root and useradd")
        return throwaway.SKIP
    with throwaway.User(USER) as user:
        return planted(args, user)


def planted(args, user):
    shared = tempfile.mkdtemp(prefix="xrb-shared-")
    victim = tempfile.mkdtemp(prefix="xrb-victim-")
    work = tempfile.mkdtemp(prefix="xrb-links-")
    failures = []
    try:
        # The folder is the other user's, so the kernel's protected_symlinks
        # rule would let root follow the links: the client alone must refuse.
        os.chown(shared, user.uid, user.gid)
        os.chmod(shared, 0o1777)
        precious = os.path.join(victim, "precious")
        with open(precious, "wb") as f:
            f.write(b"precious\n")

        user.symlink(precious, os.path.join(shared, "job.RUN"))
        user.symlink(victim, os.path.join(shared, "sub"))
        user.symlink(os.path.join(victim, "created"), os.path.join(shared, "job.NEW"))

        scenarios = [
            ("link_named_like_the_file", shared + "/job.", "RUN.MSG"),
            ("linked_folder_on_the_way", shared + "/", "sub/x.MSG"),
            ("dangling_link", shared + "/job.", "NEW.OUT"),
            ("linked_folder_after_conversion", shared + "/", "sub\\\\y.MSG"),
        ]
        for title, prefix, name in scenarios:
            text = ("# Planted by %s: %s\n[cmd]\n-h 127.0.0.1@{port} -b build1 -P %s\n[server]\n%s"
                    "[expect]\nstatus 1\nstdout-has XRBE-055\n"
                    "# refused before the file is asked for: the server waits in vain\n"
                    "server-status 2\n" % (USER, title, prefix, SERVER_SENDS.format(name=name)))
            if not run_case(args, work, title, text):
                failures.append(title)

        if read(precious) != b"precious\n":
            failures.append("the linked file was written: %r" % read(precious))
        for stray in ("created", "x", "y"):
            if os.path.lexists(os.path.join(victim, stray)):
                failures.append("%s was created through a link" % os.path.join(victim, stray))
        for link in ("job.RUN", "sub", "job.NEW"):
            if not os.path.islink(os.path.join(shared, link)):
                failures.append("the planted link %s was replaced" % link)
    finally:
        for folder in (shared, victim, work):
            shutil.rmtree(folder, ignore_errors=True)

    for f in failures:
        print("FAIL", f)
    if not failures:
        print("ok planted links refused")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
