#!/usr/bin/env python3
"""Runs commands the README shows and checks what a user would see.

demo     the main job, scripts/demo.sh, on the build folder of this suite: a
         good build brings its object back, a broken one fails with the
         compiler's messages, the make sample builds side by side.
package  "cpack -G DEB" from the build folder, then "dpkg -i" and
         "dpkg -r xrbbld" on the package, in a private dpkg root so the
         machine's own packages are never touched.
"""
import argparse
import glob
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from xrbsupport import Tally  # noqa: E402

TALLY = Tally()
check, failures = TALLY.check, TALLY.failures


def readme_shows(source, text):
    with open(os.path.join(source, "README.md"), encoding="utf-8") as f:
        check(text in f.read(), "README shows: " + text)


def case_demo(opts):
    readme_shows(opts.source, "bash scripts/deps.sh && bash scripts/demo.sh")
    # The demo stores its password: give it a manager port of its own and no
    # manager to start, so no manager outlives the test.
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    env = dict(os.environ, BUILD=opts.build, XRBSEC_PORT=str(port), CLASSPATH="/nonexistent/xrbsecmgr.jar")
    r = subprocess.run(["bash", "scripts/demo.sh"], cwd=opts.source, env=env, stdin=subprocess.DEVNULL,
                       capture_output=True, text=True, timeout=240)
    out = r.stdout
    print(out[-3000:])
    check(r.returncode == 0, "demo.sh ends with status 0 (%d): %s" % (r.returncode, r.stderr[-800:]))
    statuses = re.findall(r"\(exit status (\d+)\)", out)
    # The server test, the good build, the broken build, in that order.
    check(statuses[:3] == ["0", "0", "1"], "exit statuses of the demo's runs: %s" % statuses)
    check("*** Success ***" in out and "*** Failed ***" in out, "a good and a failed verdict are shown")
    check(re.search(r"\bT greeting\b", out) is not None, "the fetched object defines greeting()")
    check("no broken.o was fetched" in out, "a failed build fetches no object")


def case_package(opts):
    readme_shows(opts.source, "cd build && cpack -G DEB")
    readme_shows(opts.source, "dpkg -i xrbbld_1.0.4_amd64.deb")
    readme_shows(opts.source, "dpkg -r xrbbld removes it")
    if not shutil.which("dpkg") or not shutil.which("cpack"):
        print("skip: no dpkg or cpack")
        return 77
    with tempfile.TemporaryDirectory(prefix="xrb-pkg-") as tmp:
        out = os.path.join(tmp, "out")
        r = subprocess.run(["cpack", "-G", "DEB", "-B", out], cwd=opts.build, capture_output=True,
                           text=True, timeout=240)
        debs = glob.glob(os.path.join(out, "*.deb"))
        check(r.returncode == 0 and [os.path.basename(d) for d in debs] == ["xrbbld_1.0.4_amd64.deb"],
              "cpack -G DEB makes xrbbld_1.0.4_amd64.deb: %s %s" % (debs, r.stderr[-500:]))
        if not debs:
            return 1
        root = os.path.join(tmp, "root")
        for d in ("info", "updates", "triggers"):
            os.makedirs(os.path.join(root, "var/lib/dpkg", d))
        open(os.path.join(root, "var/lib/dpkg/status"), "w").close()
        # The private root has none of the dependencies and runs no scripts
        # chrooted: both are the machine's business, not the package's.
        dpkg = ["dpkg", "--root=" + root, "--force-depends", "--force-script-chrootless",
                "--force-not-root", "--log=/dev/null"]
        r = subprocess.run(dpkg + ["-i", debs[0]], capture_output=True, text=True, timeout=120)
        check(r.returncode == 0, "dpkg -i: %s" % (r.stdout + r.stderr)[-800:])
        files = ["usr/bin/xrbbldc", "usr/bin/xrbblds", "usr/share/java/xrbsecmgr.jar",
                 "usr/share/man/man1/xrbbldc.1", "usr/share/man/man1/xrbblds.1"]
        if opts.canvas:
            files += ["usr/lib/jni/libtermcanvas.so", "usr/share/java/termcanvas.jar"]
        for f in files:
            check(os.path.isfile(os.path.join(root, f)), "installed " + f)
        v = subprocess.run([os.path.join(root, "usr/bin/xrbbldc"), "-version"], cwd=tmp,
                           capture_output=True, text=True, timeout=30)
        check(v.returncode == 0 and "Version:1.0.4" in v.stdout, "the installed client runs: " + v.stdout)
        r = subprocess.run(dpkg + ["-r", "xrbbld"], capture_output=True, text=True, timeout=120)
        check(r.returncode == 0, "dpkg -r xrbbld: %s" % (r.stdout + r.stderr)[-800:])
        left = [os.path.join(d, f) for d, _, fs in os.walk(os.path.join(root, "usr")) for f in fs]
        check(left == [], "dpkg -r leaves no file: %s" % left[:5])
    return 0


def main():
    p = argparse.ArgumentParser()
    p.add_argument("case", choices=["demo", "package"])
    p.add_argument("--source", required=True)
    p.add_argument("--build", required=True)
    p.add_argument("--canvas", action="store_true", help="the build has the canvas library")
    opts = p.parse_args()
    rc = case_demo(opts) if opts.case == "demo" else case_package(opts)
    if failures:
        print("%d failure(s)" % len(failures))
        return 1
    return rc or 0


if __name__ == "__main__":
    sys.exit(main())
