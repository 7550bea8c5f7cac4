#!/usr/bin/env python3
"""The samples a user starts from build real objects: the cc script on a
project with sources in several folders and a header folder, with an @list
file, linking when asked; the make-driven project with make -j4 running
four builds side by side."""
import os
import re
import shutil
import subprocess
import time
import unittest

from xrbtest import CLIENT, SAMPLE, SAMPLE_CC, ServerCase, read, script

OBJECTS = ["main.o", "src/add.o", "src/multiply.o", "src/show.o"]


def symbols(path):
    """{name: kind} of an object's symbol table, as nm shows it."""
    out = subprocess.run(["nm", path], capture_output=True, text=True, check=True).stdout
    table = {}
    for line in out.splitlines():
        parts = line.split()
        table[parts[-1]] = parts[-2]
    return table


@unittest.skipUnless(shutil.which("cc") and shutil.which("nm"), "needs a C compiler and nm")
class Samples(ServerCase):
    def setUp(self):
        super().setUp()
        self.project = os.path.join(self.tmp, "makeproject")
        shutil.copytree(os.path.join(SAMPLE, "makeproject"), self.project)

    def check_objects(self):
        main, add, mul, show = (symbols(os.path.join(self.project, o)) for o in OBJECTS)
        self.assertEqual(main.get("main"), "T")
        self.assertEqual(main.get("add"), "U")
        self.assertEqual(add.get("add"), "T")
        self.assertEqual(mul.get("multiply"), "T")
        self.assertEqual(mul.get("add"), "U")
        self.assertEqual(show.get("show"), "T")
        self.assertEqual(show.get("printf"), "U")

    def run_calc(self):
        out = subprocess.run([os.path.join(self.project, "calc")], capture_output=True, text=True)
        self.assertEqual(out.stdout, "2 + 3 = 5\n6 * 7 = 42\n")

    def test_cc_compiles_sources_of_every_folder_from_a_list_file(self):
        server = self.server("--scripts", os.path.dirname(SAMPLE_CC))
        run = self.build(server, "-b", "cc", "-i", "@sources", "-d", "include/calc.h",
                         "-p", "--Iinclude", "--O2", "-o", *OBJECTS, cwd=self.project)
        self.assertGood(run)
        for f in ("main.c", "src/add.c", "src/multiply.c", "src/show.c"):
            self.assertIn("compiling " + f, run.out)
        self.check_objects()

    def test_cc_links_when_asked(self):
        server = self.server("--scripts", os.path.dirname(SAMPLE_CC))
        run = self.build(server, "-b", "cc", "-i", "@sources", "-d", "include/calc.h",
                         "-p", "--Iinclude", "-v", "LINK=calc", "-o", "calc", cwd=self.project)
        self.assertGood(run)
        self.assertIn("linking calc", run.out)
        os.chmod(os.path.join(self.project, "calc"), 0o755)
        self.run_calc()

    def test_cc_reports_a_failed_compile(self):
        project = os.path.join(SAMPLE, "project")
        server = self.server("--scripts", os.path.dirname(SAMPLE_CC))
        shutil.copy(os.path.join(project, "broken.c"), self.home)
        run = self.build(server, "-b", "cc", "-i", "broken.c", "-o", "broken.o", "-P", "b.")
        self.assertEqual(run.status, 1)
        self.assertIn("return code 12, good when EQ 0: build failed", run.out)
        self.assertIn("undeclared_name", run.err)
        self.assertFalse(os.path.exists(os.path.join(self.home, "broken.o")))

    def test_cc_without_c_files(self):
        server = self.server("--scripts", os.path.dirname(SAMPLE_CC))
        run = self.build(server, "-b", "cc")
        self.assertEqual(run.status, 1)
        self.assertIn("cc: no C or object files among the input files", run.err)

    @unittest.skipUnless(shutil.which("make"), "needs make")
    def test_make_j4_builds_four_objects_side_by_side(self):
        # The sample cc behind a two-second pause: four compiles side by side
        # and the link take some 4 s, one after the other over 10 s.
        script(self.scripts, "cc", 'sleep 2\nexec "%s" "$@"\n' % SAMPLE_CC)
        server = self.server("--jobs", "4")
        started = time.monotonic()
        make = subprocess.run(["make", "-j4", "SERVER=" + server.host, "XRBBLDC=" + CLIENT],
                              cwd=self.project, capture_output=True, text=True, timeout=120)
        elapsed = time.monotonic() - started
        print("make -j4 of four 2-second compiles and a 2-second link: %.2f s" % elapsed)
        self.assertEqual(make.returncode, 0, make.stdout + make.stderr)
        self.assertNotIn("Server busy", make.stdout)
        self.check_objects()
        self.run_calc()
        # The four compiles were all running before the first one ended.
        events = re.findall(r"build cc (running|good)", server.log())
        self.assertEqual(events[:4], ["running"] * 4, server.log())
        self.assertLess(elapsed, 8, "the four compiles did not run side by side")
        self.assertEqual(read(os.path.join(self.project, "src", "show.STDOUT")),
                         "compiling src/show.c\ncompile finished\n")
        clean = subprocess.run(["make", "clean"], cwd=self.project, capture_output=True, text=True)
        self.assertEqual(clean.returncode, 0)
        left = sorted(os.path.relpath(os.path.join(d, f), self.project)
                      for d, _, fs in os.walk(self.project) for f in fs)
        self.assertEqual(left, ["Makefile", "include/calc.h", "main.c", "sources",
                                "src/add.c", "src/multiply.c", "src/show.c"])


if __name__ == "__main__":
    unittest.main(verbosity=2)
