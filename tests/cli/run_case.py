#!/usr/bin/env python3
"""Runs one command-line case against the real client binary.

A case file holds header lines and sections:

    args: -i a.c -o x.o           (split as a shell would, no expansion)
    argv0: xrbbldc                (optional; the program name the client sees)
    status: 1
    === file NAME [escaped]       a file created in the working folder first
    === stdout                    expected standard output
    === stdout-prefix             expected start of standard output
    === stderr                    expected standard error (empty if absent)
    === log                       expected content of xrbbldc.log
    === nolog                     xrbbldc.log must not exist

A section's text runs up to the next "===" line, its last newline included.
An "escaped" section has one trailing newline removed and backslash escapes
(\\t, \\n, \\x00, ...) decoded, for bytes a text file cannot show.  Time
stamps at the start of a line are compared as "@TS@ ".
"""

import os
import re
import shlex
import socket
import subprocess
import sys
import tempfile

TIMESTAMP = re.compile(rb"(?m)^\d\d/\d\d/\d\d \d\d:\d\d:\d\d ")


def parse_case(path):
    headers = {}
    sections = []
    current = None
    with open(path, "rb") as f:
        for raw in f.read().splitlines(keepends=True):
            if raw.startswith(b"=== "):
                words = raw[4:].decode().split()
                current = [words, b""]
                sections.append(current)
            elif current is not None:
                current[1] += raw
            elif raw.strip() and not raw.startswith(b"#"):
                key, _, value = raw.decode().partition(":")
                headers[key.strip()] = value.strip()
    out = []
    for words, body in sections:
        if words[-1] == "escaped":
            words = words[:-1]
            if body.endswith(b"\n"):
                body = body[:-1]
            body = body.decode("unicode_escape").encode("latin-1")
        out.append((words, body))
    return headers, out


def normalise(data):
    return TIMESTAMP.sub(b"@TS@ ", data)


def show(label, expected, actual):
    sys.stdout.write("--- %s expected:\n%r\n--- %s actual:\n%r\n"
                     % (label, expected, label, actual))


def main():
    binary, case = os.path.abspath(sys.argv[1]), sys.argv[2]
    headers, sections = parse_case(case)
    args = shlex.split(headers.get("args", ""))
    argv0 = headers.get("argv0", "xrbbldc")
    want_status = int(headers.get("status", "0"))

    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LANG": "C"}
    # Never reach or start a security manager on the machine's shared port.
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        env["XRBSEC_PORT"] = str(s.getsockname()[1])
    env["CLASSPATH"] = "/nonexistent/xrbsecmgr.jar"
    failures = 0
    with tempfile.TemporaryDirectory(prefix="xrbcli.") as work:
        env["HOME"] = work
        for words, body in sections:
            if words[0] == "file":
                with open(os.path.join(work, words[1]), "wb") as f:
                    f.write(body)
        try:
            proc = subprocess.run([argv0] + args, executable=binary, cwd=work,
                                  env=env, stdin=subprocess.DEVNULL,
                                  capture_output=True, timeout=20)
        except subprocess.TimeoutExpired:
            print("FAIL: the client did not end within 20 seconds")
            return 1

        if proc.returncode != want_status:
            print("FAIL: exit status %d, expected %d" % (proc.returncode, want_status))
            failures += 1
        stdout = normalise(proc.stdout)
        log_path = os.path.join(work, "xrbbldc.log")
        log = None
        if os.path.exists(log_path):
            with open(log_path, "rb") as f:
                log = normalise(f.read())

        expected_stderr = b""
        for words, body in sections:
            kind = words[0]
            if kind == "stdout" and stdout != body:
                show("stdout", body, stdout)
                failures += 1
            elif kind == "stdout-prefix" and not stdout.startswith(body):
                show("stdout prefix", body, stdout)
                failures += 1
            elif kind == "stderr":
                expected_stderr = body
            elif kind == "log" and log != body:
                show("log", body, log)
                failures += 1
            elif kind == "nolog" and log is not None:
                show("log", None, log)
                failures += 1
        if proc.stderr != expected_stderr:
            show("stderr", expected_stderr, proc.stderr)
            failures += 1

    print("FAIL" if failures else "PASS", os.path.basename(case))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
