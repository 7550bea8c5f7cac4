#!/usr/bin/env python3
"""The library's dynamic symbols are exactly the JNI names of the Java class's
native methods: nothing missing (an UnsatisfiedLinkError at the first call)
and nothing internal visible (a helper named like a C library function would
be bound to it, or it to the library's)."""

import re
import subprocess
import sys

lib, java = sys.argv[1], sys.argv[2]
prefix = "Java_com_qvx_morbit_forms_common_CursesCanvas7_"
with open(java, encoding="utf-8") as f:
    natives = re.findall(r"\bnative\s+\w+\s+(\w+)\s*\(", f.read())
expected = {prefix + n.replace("_", "_1") for n in natives}


def symbols(*flags):
    out = subprocess.run(["nm", "-D"] + list(flags) + [lib], capture_output=True, text=True,
                         timeout=30, check=True).stdout
    return {line.split()[-1].split("@")[0] for line in out.splitlines() if line.strip()}


defined = symbols("--defined-only")
undefined = symbols("--undefined-only")
problems = []
if len(natives) < 70:
    problems.append("only %d natives found in %s" % (len(natives), java))
problems += ["missing export " + s for s in sorted(expected - defined)]
problems += ["unexpected export " + s for s in sorted(defined - expected)]
for internal in ("error", "debugMsg", "setInterruptReceived", "setQuitReceived"):
    if any(internal in s for s in defined | undefined):
        problems.append("internal function visible: " + internal)
print("%d natives, %d exports" % (len(natives), len(defined)))
for p in problems:
    print("FAIL " + p)
sys.exit(1 if problems else 0)
