#!/usr/bin/env python3
"""The house style: scripts/check-format.sh passes on the tree, and in a
scratch repository it finds a file out of style, formats it with --fix, and
then passes.  Both commands are the ones the README shows."""
import os
import shutil
import subprocess
import sys
import tempfile

SOURCE = os.path.abspath(sys.argv[1])
SCRIPT = os.path.join("scripts", "check-format.sh")


def run(cwd, *args):
    return subprocess.run([os.path.join(cwd, SCRIPT), *args], cwd=cwd, capture_output=True, text=True, timeout=120)


def main():
    if shutil.which("clang-format") is None or shutil.which("git") is None:
        print("clang-format or git missing: skipped")
        return 77
    with open(os.path.join(SOURCE, "README.md"), encoding="utf-8") as f:
        readme = f.read()
    for shown in ("scripts/check-format.sh", "scripts/check-format.sh --fix"):
        assert "`%s`" % shown in readme, "README does not show " + shown

    tree = run(SOURCE)
    if tree.returncode == 77:
        print(tree.stdout.strip())
        return 77
    assert tree.returncode == 0, "the tree is out of style:\n" + tree.stdout + tree.stderr

    with tempfile.TemporaryDirectory() as scratch:
        os.makedirs(os.path.join(scratch, "scripts"))
        shutil.copy(os.path.join(SOURCE, SCRIPT), os.path.join(scratch, SCRIPT))
        shutil.copy(os.path.join(SOURCE, ".clang-format"), scratch)
        with open(os.path.join(scratch, "odd.cpp"), "w") as f:
            f.write("int  twice( const char *p ){ return p?2:0; }\n")
        subprocess.run(["git", "init", "-q"], cwd=scratch, check=True)
        subprocess.run(["git", "add", "."], cwd=scratch, check=True)

        before = run(scratch)
        assert before.returncode == 1, "a file out of style passed: %d %s" % (before.returncode, before.stdout)
        assert "--fix" in before.stdout, "no hint how to mend: " + before.stdout
        fixed = run(scratch, "--fix")
        assert fixed.returncode == 0, fixed.stderr
        with open(os.path.join(scratch, "odd.cpp")) as f:
            text = f.read()
        assert "twice(char const* p)" in text, "not formatted: " + text
        after = run(scratch)
        assert after.returncode == 0, "still out of style after --fix: " + after.stderr
    print("style kept; a file out of style is found and mended")
    return 0


if __name__ == "__main__":
    sys.exit(main())
