#!/usr/bin/env python3
"""The build script contract of xrbblds.1, checked from the script's side:
its folder, arguments, environment, standard streams, output files, exit
code, message files, and what happens to what it leaves running."""
import os
import re
import unittest

from xrbtest import ServerCase, read, script, wait_for, write

# Shows everything a script gets, one fact a line.
REPORT = r'''
echo "cwd $(pwd)"
for a in "$@"; do echo "arg <$a>"; done
env | grep '^XRB_' | sort | sed 's/^/env /'
echo "var WHO=<$WHO>"
echo "inputs <$(echo "$XRB_INPUTS" | tr '\n' ,)>"
echo "deps <$(echo "$XRB_DEPS" | tr '\n' ,)>"
echo "outputs <$(echo "$XRB_OUTPUTS" | tr '\n' ,)>"
find . | sort | sed 's/^/file /'
echo "stdin <$(cat)>"
'''


class Contract(ServerCase):
    def test_what_a_script_gets(self):
        script(self.scripts, "report", REPORT)
        write(os.path.join(self.home, "src", "a.c"), "int a;\n")
        write(os.path.join(self.home, "b.c"), "int b;\n")
        write(os.path.join(self.home, "include", "a.h"), "extern int a;\n")
        absolute = write(os.path.join(self.tmp, "elsewhere", "z.h"), "z\n")
        server = self.server()
        run = self.build(server, "-b", "report", "-i", "src/a.c", "b.c", "-in", "absent.c",
                         "-d", "include/a.h", absolute, "-o", "obj/a.o", "-on", "none.o",
                         "-p", "one", "--two", "-v", "WHO=ann and bob", "XRB_SCRIPT=forged",
                         "-T", "3", "-lca", "loc", "-n", "5", "-c", "LE", "-proclib", "lib",
                         "-k", "UTF-8", "-P", "r.")
        # obj/a.o is not made: the verdict says so and the build fails.
        self.assertEqual(run.status, 1, str(run))
        self.assertIn("output file obj/a.o was not produced", run.out)
        self.assertIn("return code 0, good when LE 5: build failed, output files missing", run.out)
        facts = read(os.path.join(self.home, "r.STDOUT"))
        folder = re.search(r"^cwd (.*)$", facts, re.M).group(1)
        self.assertRegex(folder, re.escape(server.work) + r"/xrbblds\.\w{6}/\d+/work$")
        for line in ("arg <one>", "arg <-two>", "var WHO=<ann and bob>",
                     "env XRB_SCRIPT=report", "env XRB_PARMS=one -two", "env XRB_LOCATION=loc",
                     "env XRB_OPTIONS=5", "env XRB_TIMEOUT=3", "env XRB_GOOD_RC=5",
                     "env XRB_GOOD_COND=LE", "env XRB_PROCLIB=LIB", "env XRB_USER=",
                     "env XRB_CLIENT_CODEPAGE=UTF-8", "env XRB_SERVER_CODEPAGE=QVX-1047",
                     "inputs <src/a.c,b.c,absent.c,>",
                     "deps <include/a.h,%s,>" % absolute.lstrip("/"),
                     "outputs <obj/a.o,none.o,>",
                     "stdin <>"):
            self.assertIn(line + "\n", facts)
        msgdir = re.search(r"^env XRB_MSGDIR=(.*)$", facts, re.M).group(1)
        self.assertEqual(msgdir, os.path.join(os.path.dirname(folder), "messages"))
        # Exactly the sent files, at the paths the client named them, and
        # the output's folder; nothing else.
        files = sorted(re.findall(r"^file (.*)$", facts, re.M))
        want = [".", "./b.c", "./include", "./include/a.h", "./obj", "./src", "./src/a.c"]
        top = absolute.lstrip("/").split("/")
        want += ["./" + "/".join(top[:i]) for i in range(1, len(top) + 1)]
        self.assertEqual(files, sorted(want))

    def test_outputs_land_where_the_client_named_them(self):
        script(self.scripts, "make", 'cp src/a.c obj/a.o; echo text > "$OUT"\n')
        write(os.path.join(self.home, "src", "a.c"), "int a;\n")
        server = self.server()
        target = os.path.join(self.tmp, "out", "t.txt")
        run = self.build(server, "-b", "make", "-i", "src/a.c", "-o", "obj/a.o", "-ot", target,
                         "-on", "marker", "-v", "OUT=" + target.lstrip("/"))
        self.assertGood(run)
        self.assertEqual(read(os.path.join(self.home, "obj", "a.o")), "int a;\n")
        self.assertEqual(read(target), "text\n")
        self.assertEqual(os.path.getsize(os.path.join(self.home, "marker")), 0)

    def test_the_exit_code_against_the_good_return_code_and_condition(self):
        script(self.scripts, "rc", 'exit "$RC"\n')
        server = self.server()
        for rc, cond, good, verdict in ((0, [], True, "return code 0, good when EQ 0: build good"),
                                        (1, [], False, "return code 1, good when EQ 0: build failed"),
                                        (3, ["-n", "4", "-c", "LT"], True, "good when LT 4: build good"),
                                        (4, ["-n", "4", "-c", "LT"], False, "good when LT 4: build failed"),
                                        (9, ["-n", "4", "-c", "NE"], True, "good when NE 4: build good")):
            run = self.build(server, "-b", "rc", "-v", "RC=%d" % rc, *cond)
            self.assertEqual(run.status, 0 if good else 1, str(run))
            self.assertIn(verdict, run.out)

    def test_a_script_killed_by_a_signal_fails(self):
        script(self.scripts, "dies", "kill -9 $$\n")
        run = self.build(self.server(), "-b", "dies")
        self.assertEqual(run.status, 1)
        self.assertIn("the build script ended by signal 9", run.out)

    def test_message_files(self):
        script(self.scripts, "talk", "\n".join([
            'echo "to stdout"',
            'echo "to stderr" >&2',
            'echo "listing" > "$XRB_MSGDIR/LISTING.MSG"',
            'echo "note" > "$XRB_MSGDIR/NOTE.ERR"',
            'echo "also" > "$XRB_MSGDIR/ALSO.OUT"',
            ': > "$XRB_MSGDIR/EMPTY.OUT"',
            'echo "ignored" > "$XRB_MSGDIR/other.txt"',
            'exit 1', '']))
        run = self.build(self.server(), "-b", "talk", "-P", "m.")
        self.assertEqual(run.status, 1)
        # Sent with a failed build too: the script's streams first, then its files by name.
        order = re.findall(r"^\S+ \S+ +(\d+):(\S+)$", run.out, re.M)
        self.assertEqual([n for _, n in order], ["m.STDOUT", "m.STDERR", "m.ALSO", "m.LISTING", "m.NOTE"])
        self.assertIn("to stdout", run.out)
        self.assertIn("also", run.out)
        self.assertIn("to stderr", run.err)
        self.assertIn("note", run.err)
        self.assertNotIn("listing", run.out + run.err)
        self.assertEqual(read(os.path.join(self.home, "m.LISTING")), "listing\n")
        self.assertFalse(os.path.exists(os.path.join(self.home, "m.EMPTY")))
        self.assertFalse(os.path.exists(os.path.join(self.home, "m.other.txt")))

    def test_what_a_script_leaves_running_is_ended(self):
        pidfile = os.path.join(self.tmp, "left.pid")
        script(self.scripts, "leaves", 'sleep 60 >/dev/null 2>&1 &\necho $! > "$PIDFILE"\n')
        run = self.build(self.server(), "-b", "leaves", "-v", "PIDFILE=" + pidfile)
        self.assertGood(run)
        self.assertLess(run.elapsed, 10)
        pid = int(read(pidfile))
        gone = wait_for(lambda: not os.path.exists("/proc/%d" % pid) or
                        read("/proc/%d/stat" % pid).split(")")[-1].split()[0] == "Z", 5)
        self.assertTrue(gone, "the script's background process still runs")

    def test_a_build_script_file_from_the_client(self):
        write(os.path.join(self.home, "mine.sh"), '#!/bin/sh\necho "my own script: $1"\n')
        run = self.build(self.server(), "-b", "mine", "-f", "mine.sh", "-p", "hi")
        self.assertGood(run)
        self.assertIn("my own script: hi", run.out)

    def test_refusals_name_what_is_wrong(self):
        server = self.server()
        run = self.build(server, "-b", "nothere")
        self.assertEqual(run.status, 1)
        self.assertIn("build script nothere not found in %s: No such file or directory"
                      % os.path.realpath(self.scripts), " ".join(run.out.split()))
        write(os.path.join(self.scripts, "notexec"), "#!/bin/sh\n")
        run = self.build(server, "-b", "notexec")
        self.assertIn("is not an executable file", run.out)
        script(self.scripts, "quick", "exit 0\n")
        run = self.build(server, "-b", "quick", "-o", "../escape.o")
        self.assertEqual(run.status, 1)
        self.assertIn("output file name '../escape.o.BIN' leaves the work folder", run.out)
        self.assertIn("refused: output file name", server.log())


if __name__ == "__main__":
    unittest.main(verbosity=2)
