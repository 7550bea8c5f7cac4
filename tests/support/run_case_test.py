#!/usr/bin/env python3
"""The case runner's checks can fail: one case in which every check holds
passes, and the same case with any one check made false fails, naming that
check.  A check that cannot fail would let every case built on it pass.

Usage: run_case_test.py CLIENT SERVER"""
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import run_case  # noqa: E402

CLIENT, SERVER = (os.path.abspath(p) for p in sys.argv[1:3])

BASE = """[cmd]
-testServer -h 127.0.0.1@{port} -P {tmp}/p/
[mkdir p]
[file home/f]
abc
[pattern home/pat 1000]
[secmgr]
[server]
accept
expect comm PING str=enu
send comm MESSAGE str="ready\\n"
[expect]
%s
"""

# Each check: a line that holds for BASE and a false one in its place ("-"
# for none, "; " between two lines).
TABLE = """
status        | status 0 | status 1
server-status | server-status 0 | server-status 2
limit         | limit 20 | limit 20; still-running
still-running | - | still-running
stdout-has    | stdout-has ready\\n | stdout-has not shown
stdout-lacks  | stdout-lacks XRBE | stdout-lacks ready
stderr-has    | - | stderr-has ready
stderr-lacks  | stderr-lacks ready | stderr-lacks 
stderr-empty  | stderr-empty | -
log-has       | log-has {tmp}/p/xrbbldc.log ready | log-has {tmp}/p/xrbbldc.log XRBE
log-lacks     | log-lacks {tmp}/p/xrbbldc.log XRBE | log-lacks {tmp}/p/xrbbldc.log ready
file          | file {tmp}/home/f = abc\\n | file {tmp}/home/f = abd\\n
pattern       | pattern {tmp}/home/pat 1000 | pattern {tmp}/home/f 4
present       | present {tmp}/home/f | present {tmp}/home/nothing
absent        | absent {tmp}/home/nothing | absent {tmp}/home/f
pidfile       | pidfile {tmp}/p/xrbbldc.pid | pidfile {tmp}/home/f
record-has    | record-has COMM code=PING | record-has COMM code=END
record-lacks  | record-lacks COMM code=END | record-lacks COMM code=PING
secmgr-got    | secmgr-got  | secmgr-got GETUSER
slower-than   | slower-than 0 | slower-than 25
faster-than   | faster-than 25 | faster-than 0
max-rss-mb    | max-rss-mb 4000 | -
needs-v6-only | - | -
"""
CHECKS = {}
for _row in TABLE.strip("\n").split("\n"):
    _name, _good, _bad = (c.strip() for c in _row.split("|"))
    CHECKS[_name] = tuple(None if c == "-" else c.replace("; ", "\n") for c in (_good, _bad))


def run(expect):
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, "self.case")
        with open(path, "w") as f:
            f.write(BASE % expect)
        r = subprocess.run([sys.executable, os.path.join(HERE, "run_case.py"), "--client", CLIENT,
                            "--server", SERVER, path], capture_output=True, text=True, timeout=90)
        return r.returncode, r.stdout + r.stderr


class Checks(unittest.TestCase):
    def test_every_check_is_covered_here(self):
        self.assertEqual(sorted(CHECKS), sorted(run_case.CHECKS))

    def test_all_true_passes(self):
        rc, out = run("\n".join(good for good, _ in CHECKS.values() if good))
        self.assertEqual(rc, 0, out)

    def test_each_false_check_fails(self):
        good = [g for g, _ in CHECKS.values() if g and not g.startswith("limit")]
        for name, (_, bad) in CHECKS.items():
            if bad is None:
                continue
            with self.subTest(check=name):
                rc, out = run("\n".join(good + [bad]))
                self.assertEqual(rc, 1, out)
                # A note (e.g. a limit a sanitized client is not held to) may come first.
                self.assertRegex(out, r"(?m)^FAIL ", out)

    def test_a_needed_facility_missing_skips(self):
        rc, out = run("needs-v6-only 127.0.0.1\nstatus 0")
        self.assertEqual(rc, 77, out)

    def test_unknown_check_fails(self):
        rc, out = run("status 0\nstatus-is 0")
        self.assertEqual(rc, 1, out)
        self.assertIn("unknown check: status-is 0", out)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
