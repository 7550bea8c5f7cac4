#!/usr/bin/env python3
"""The real client against a throw-away second user who plants links at
the names of the process-id file, the log and the trace file in a shared
sticky folder, or holds the trace file's lock; the client (run as root) must
not write through the links, must not create their targets, and must finish.

Usage: planted_links.py CLIENT.  Exit status 0 passed, 1 failed, 77 skipped
(not root)."""

import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import throwaway  # noqa: E402
import xrbsupport  # noqa: E402

USER = "xrbt17log"
PRECIOUS = "precious, root's own\n"
TALLY = xrbsupport.Tally()
check, failures = TALLY.check, TALLY.failures


def read(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except FileNotFoundError:
        return None


def is_link(path):
    try:
        return stat.S_ISLNK(os.lstat(path).st_mode)
    except FileNotFoundError:
        return False


def client_env(trace_file):
    return xrbsupport.client_env(XRB_TRACE="*", XRB_TRACEFILE=trace_file)


def run_client(client, shared, work, timeout=30):
    # Nobody listens on port 1: the connection error goes to the log.
    argv = [client, "-h", "127.0.0.1@1", "-b", "build1", "-P", os.path.join(shared, "j_")]
    return subprocess.run(argv, cwd=work, env=client_env(os.path.join(shared, "trace")),
                          capture_output=True, text=True, timeout=timeout)


def case_links(user, client, root, dangling):
    kind = "dangling links" if dangling else "links to root's files"
    shared = throwaway.shared_folder(root)
    work = tempfile.mkdtemp(dir=root)
    private = tempfile.mkdtemp(dir=root)          # 0700, root's
    names = {"pid": "xrbbldc.pid", "log": "j_xrbbldc.log", "trace": "trace"}
    targets = {}
    for what, name in names.items():
        targets[what] = os.path.join(private, what + ".target")
        if not dangling:
            with open(targets[what], "w") as f:
                f.write(PRECIOUS)
        user.symlink(targets[what], os.path.join(shared, name))

    r = run_client(client, shared, work)
    check(r.returncode == 1, "%s: status 1 (%s)" % (kind, r.returncode))
    check("XRBE-011" in r.stdout, "%s: the connection error is still shown" % kind)
    for what, name in names.items():
        got = read(targets[what])
        if dangling:
            check(got is None, "%s: %s link's target not created (%r)" % (kind, what, got))
        else:
            check(got == PRECIOUS, "%s: %s link's target untouched (%r)" % (kind, what, got))
        check(is_link(os.path.join(shared, name)), "%s: %s link left as it was" % (kind, what))


def case_other_users_pid_file(user, client, root):
    """A plain file another user made at the pid file's name is not emptied."""
    shared = throwaway.shared_folder(root)
    work = tempfile.mkdtemp(dir=root)
    pid_file = os.path.join(shared, "xrbbldc.pid")
    user.write(pid_file, "not yours\n", 0o666)
    r = run_client(client, shared, work)
    check(r.returncode == 1, "other user's pid file: status 1 (%s)" % r.returncode)
    check(read(pid_file) == "not yours\n",
          "other user's pid file left as it was (%r)" % read(pid_file))


def case_no_plants(client, root):
    """Without anything planted, the three files are written as before."""
    shared = throwaway.shared_folder(root)
    work = tempfile.mkdtemp(dir=root)
    r = run_client(client, shared, work)
    check(r.returncode == 1, "nothing planted: status 1 (%s)" % r.returncode)
    pid_text = read(os.path.join(shared, "xrbbldc.pid")) or ""
    check(re.fullmatch(r"\d+ ", pid_text) is not None, "pid file written (%r)" % pid_text)
    check("XRBE-011" in (read(os.path.join(shared, "j_xrbbldc.log")) or ""),
          "log written")
    trace = read(os.path.join(shared, "trace")) or ""
    check(trace.startswith("XRB TRACE - SIZE ") and "Start of trace" in trace,
          "trace file written")
    # Our own pid file of an earlier run is emptied and rewritten.
    with open(os.path.join(shared, "xrbbldc.pid"), "w") as f:
        f.write("1234567890 older and longer\n")
    run_client(client, shared, work)
    pid_text = read(os.path.join(shared, "xrbbldc.pid")) or ""
    check(re.fullmatch(r"\d+ ", pid_text) is not None,
          "own pid file of an earlier run rewritten (%r)" % pid_text)


HOLD_LOCK = """
import fcntl, os, sys, time
fd = os.open(sys.argv[1], os.O_RDONLY)
fcntl.flock(fd, fcntl.LOCK_EX)
print("locked", flush=True)
time.sleep(120)
"""


def case_trace_lock(user, client, root):
    """A reader of the trace file holds its lock: a tracing client finishes."""
    shared = throwaway.shared_folder(root)
    work = tempfile.mkdtemp(dir=root)
    trace = os.path.join(shared, "trace")
    run_client(client, shared, work)          # makes the trace file, 0644
    before = read(trace)
    check(before is not None and before.startswith("XRB TRACE"), "trace file made")
    holder = user.popen([throwaway.PYTHON, "-c", HOLD_LOCK, trace], stdout=subprocess.PIPE,
                        text=True, start_new_session=True)
    try:
        check(holder.stdout.readline().strip() == "locked", "the other user holds the lock")
        start = time.monotonic()
        try:
            r = subprocess.run([client, "-version"], cwd=work, env=client_env(trace),
                               capture_output=True, text=True, timeout=20)
            status = r.returncode
        except subprocess.TimeoutExpired:
            status = "killed after 20 s"
        took = time.monotonic() - start
        check(status == 0, "client -version finished while the lock was held (%s)" % status)
        # Default bound: 20 attempts of 1 ms for each of a few records.
        check(took < 5, "and within 5 s (%.2f s)" % took)
        check(read(trace) == before, "no record written without the lock")
        lost = read(os.path.join(work, "tcover.err")) or ""
        check("sharing conflict" in lost, "the dropped records noted in tcover.err")
    finally:
        os.killpg(holder.pid, 9)
        holder.wait()


def main():
    client = os.path.abspath(sys.argv[1])
    if not throwaway.can_run():
        print("skipped: needs root to make a throw-away user")
        return throwaway.SKIP
    root = tempfile.mkdtemp(prefix="xrbplanted.")
    os.chmod(root, 0o755)
    try:
        with throwaway.User(USER) as user:
            case_links(user, client, root, dangling=False)
            case_links(user, client, root, dangling=True)
            case_other_users_pid_file(user, client, root)
            case_trace_lock(user, client, root)
        case_no_plants(client, root)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
