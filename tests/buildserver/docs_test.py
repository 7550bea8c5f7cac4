#!/usr/bin/env python3
"""The commands of the README ("Using it", "Your own project") and the
examples of both man pages, run as written against a freshly started server.

What is substituted, and why, is said where it happens; nothing else is:
- the server is started on --port 0 with a --port file instead of port 5555
  (or 5556), and the port it got replaces that number in the later lines,
  so that tests running side by side never compete for a port;
- /tmp/xrbwork becomes a folder of the test, which does not exist yet, so
  the server's creation of its work folder is what runs;
- in xrbbldc.1 the server "buildhost" is 127.0.0.1.
The README runs in a copy of the clone's layout: the samples, and build/
holding the programs under test.  Its "mktemp -d" runs with TMPDIR in the
test's folder, and a client's "-au" meets no security manager of this
machine (XRBSEC_PORT names a free port)."""
import os
import re
import shutil
import signal
import subprocess
import tempfile
import textwrap
import unittest

from xrbtest import CLIENT, SAMPLE, SAMPLE_CC, SERVER, SOURCE, Server, client_env, read, wait_for, write


def section(markdown, title):
    """The text of a "## title" section of the README."""
    m = re.search(r"^## %s\n(.*?)(?=^## |\Z)" % re.escape(title), markdown, re.M | re.S)
    if m is None:
        raise AssertionError("the README has no section " + title)
    return m.group(1)


def shell_blocks(text):
    return re.findall(r"^```sh\n(.*?)^```", text, re.M | re.S)


def man_examples(page):
    """The .nf/.fi blocks of a man page's EXAMPLES section, as plain text."""
    m = re.search(r"^\.SH EXAMPLES\n(.*?)(?=^\.SH |\Z)", page, re.M | re.S)
    blocks = []
    for body in re.findall(r"^\.nf\n(.*?)^\.fi", m.group(1), re.M | re.S):
        lines = [l for l in body.splitlines() if not l.startswith(".")]
        text = "\n".join(lines) + "\n"
        text = text.replace("\\-", "-").replace("\\e", "\\").replace("\\(aq", "'")
        blocks.append(text)
    return blocks


def is_server_line(line):
    return re.match(r"^\S*xrbblds .*&\s*$", line) is not None


class Session:
    """Runs documented shell lines in order, from one folder, the way a user
    types them; the lines that start a server in the background are run on
    --port 0 and the port they got replaces the documented one afterwards."""

    def __init__(self, test, cwd, env, work_subst):
        self.test, self.cwd, self.env, self.work_subst = test, cwd, env, work_subst
        self.ports = {}
        self.servers = []
        self.output = ""
        self.count = 0

    def substitute(self, text):
        for documented, real in self.ports.items():
            text = re.sub(r"(?<=@)%s\b" % documented, str(real), text)
        return text

    def start_server(self, line):
        self.count += 1
        port_file = os.path.join(self.test.tmp, "port%d" % self.count)
        documented = re.search(r"--port (\d+)", line).group(1)
        line = line.replace("--port %s" % documented, "--port 0 --port-file %s" % port_file)
        for old, new in self.work_subst.items():
            line = line.replace(old, new)
        log = open(os.path.join(self.test.tmp, "server%d.log" % self.count), "wb")
        # A session of its own, so that the server is found and stopped with
        # its process group at the end.
        shell = subprocess.Popen(["bash", "-c", line], cwd=self.cwd, env=self.env, stdout=log,
                                 stderr=log, start_new_session=True)
        self.servers.append((shell.pid, log))
        shell.wait(timeout=10)
        if not wait_for(lambda: os.path.exists(port_file), 10):
            raise AssertionError("the documented server did not start: %s\n%s"
                                 % (line, read(log.name)))
        self.ports[documented] = int(read(port_file))

    def run(self, text):
        """Runs a block; server lines start servers, the rest goes to bash -e."""
        pending = []
        for line in text.splitlines(keepends=True):
            if is_server_line(line):
                self.run_shell("".join(pending))
                pending = []
                self.start_server(line.strip())
            else:
                pending.append(line)
        self.run_shell("".join(pending))

    def run_shell(self, text):
        if not text.strip():
            return
        text = self.substitute(text)
        out_path = os.path.join(self.test.tmp, "shell.out")
        with open(out_path, "wb") as out:
            # Output to a file, not a pipe: a server started earlier holds
            # no end of it open.
            r = subprocess.run(["bash", "-e", "-c", text], cwd=self.cwd, env=self.env,
                               stdout=out, stderr=subprocess.STDOUT, timeout=120)
        got = read(out_path)
        self.output += got
        if r.returncode != 0:
            raise AssertionError("the documented commands failed (status %d):\n%s\n--- output\n%s"
                                 % (r.returncode, text, got))

    def server_log(self, i=0):
        return read(self.servers[i][1].name)

    def stop(self):
        for pgid, log in self.servers:
            try:
                os.killpg(pgid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            wait_for(lambda: not group_alive(pgid), 10)
            log.close()


def group_alive(pgid):
    try:
        os.killpg(pgid, 0)
        return True
    except ProcessLookupError:
        return False


def nm(path):
    return subprocess.run(["nm", path], capture_output=True, text=True, check=True).stdout


@unittest.skipUnless(shutil.which("cc") and shutil.which("nm") and shutil.which("make"),
                     "needs a C compiler, nm and make")
class Documentation(unittest.TestCase):
    def setUp(self):
        if not (os.path.isfile(CLIENT) and os.path.isfile(SERVER)):
            self.skipTest("XRB_CLIENT and XRB_SERVER must name the built programs")
        self.tmp = tempfile.mkdtemp(prefix="xrb-docs-")
        self.session = None

    def tearDown(self):
        if self.session is not None:
            self.session.stop()
        shutil.rmtree(self.tmp, ignore_errors=True)

    def clone(self):
        """The clone's layout as far as the README uses it."""
        root = os.path.join(self.tmp, "clone")
        shutil.copytree(SAMPLE, os.path.join(root, "tools", "buildserver", "sample"),
                        ignore=shutil.ignore_patterns("*.o", "*.STDOUT", "*.STDERR", "*.xrbbldc.*"))
        os.makedirs(os.path.join(root, "build", "tools", "buildserver"))
        os.symlink(CLIENT, os.path.join(root, "build", "xrbbldc"))
        os.symlink(SERVER, os.path.join(root, "build", "tools", "buildserver", "xrbblds"))
        return root

    def test_readme_using_it_and_your_own_project(self):
        readme = read(os.path.join(SOURCE, "README.md"))
        using = shell_blocks(section(readme, "Using it"))
        own = shell_blocks(section(readme, "Your own project"))
        self.assertEqual(len(using), 1)
        self.assertGreaterEqual(len(own), 3)
        root = self.clone()
        work = os.path.join(self.tmp, "xrbwork")
        tmpdir = os.path.join(self.tmp, "tmpdir")
        os.makedirs(tmpdir)
        env = client_env({"TMPDIR": tmpdir})
        self.session = Session(self, root, env, {"/tmp/xrbwork": work})
        # One terminal: the folder and PATH of a block carry over to the next.
        self.session.run("".join(using + own))

        project = os.path.join(root, "tools", "buildserver", "sample", "project")
        self.assertIn(" T greeting", nm(os.path.join(project, "hello.o")))
        self.assertIn("compiling hello.c", read(os.path.join(project, "hello.STDOUT")))
        self.assertIn("XRBBLDS local build server", self.session.output)
        self.assertTrue(os.path.isdir(work), "the work folder was not made")
        made = os.listdir(tmpdir)
        self.assertEqual(len(made), 1)
        mine = os.path.join(tmpdir, made[0])
        self.assertEqual(self.session.output.count("hello from the build server (5 words)\n"), 2)
        self.assertIn(" T main", nm(os.path.join(mine, "main.o")))
        self.assertIn(" T greeting", nm(os.path.join(mine, "src", "greet.o")))
        self.assertIn(" T count_words", nm(os.path.join(mine, "src", "count.o")))
        self.assertEqual(self.session.server_log().count("build cc running"), 6)

        self.session.stop()
        self.assertEqual(os.listdir(work), [], "the server left its folder behind")

    def installed(self):
        """An environment whose PATH finds xrbbldc and xrbblds, as after an
        install: the man pages call them by name."""
        bin_dir = os.path.join(self.tmp, "bin")
        os.makedirs(bin_dir)
        os.symlink(CLIENT, os.path.join(bin_dir, "xrbbldc"))
        os.symlink(SERVER, os.path.join(bin_dir, "xrbblds"))
        return client_env({"PATH": bin_dir + os.pathsep + os.environ.get("PATH", "")})

    def example_folder(self, sources):
        """The files the man pages' examples build, and the sample cc as the
        scripts cc and build1."""
        folder = os.path.join(self.tmp, "example")
        os.makedirs(os.path.join(folder, "scripts"))
        for name in ("cc", "build1"):
            shutil.copy(SAMPLE_CC, os.path.join(folder, "scripts", name))
        write(os.path.join(folder, "include", "util.h"), "int twice(int x);\n")
        write(os.path.join(folder, "src", "util.c"),
              '#include "util.h"\nint twice(int x) { return 2 * x; }\n')
        write(os.path.join(folder, "main.c"),
              '#include "util.h"\nint main(void) { return twice(21) == 42 ? 0 : 1; }\n')
        write(os.path.join(folder, "a.c"), "int a(void) { return 1; }\n")
        write(os.path.join(folder, "sources"), "\n".join(sources) + "\n")
        return folder

    def test_xrbblds_man_page_examples(self):
        blocks = man_examples(read(os.path.join(SOURCE, "doc", "xrbblds.1")))
        commands = [b for b in blocks if not b.startswith("#!")]
        scripts = [b for b in blocks if b.startswith("#!")]
        self.assertEqual((len(commands), len(scripts)), (2, 1))
        folder = self.example_folder(["main.c", "src/util.c"])
        work = os.path.join(self.tmp, "xrbwork")
        self.session = Session(self, folder, self.installed(), {"/tmp/xrbwork": work})

        self.session.run(commands[0])
        self.assertIn(" T main", nm(os.path.join(folder, "main.o")))
        self.assertIn(" T twice", nm(os.path.join(folder, "src", "util.o")))
        prog = os.path.join(folder, "prog")
        os.chmod(prog, 0o755)
        self.assertEqual(subprocess.run([prog]).returncode, 0)
        self.assertTrue(os.path.isdir(work))

        os.remove(os.path.join(folder, "main.o"))
        self.session.run(commands[1])
        self.assertIn(" T main", nm(os.path.join(folder, "main.o")))
        self.assertIn("credentials asked", self.session.server_log(1))
        self.assertEqual(os.stat(os.path.join(folder, "auth")).st_mode & 0o777, 0o600)

        # The example build script, served by the first server.
        write(os.path.join(folder, "scripts", "simple"), scripts[0], 0o755)
        for o in ("main.o", "src/util.o"):
            os.remove(os.path.join(folder, o))
        self.session.run_shell("xrbbldc -h 127.0.0.1@5555 -b simple -i main.c src/util.c "
                               "-d include/util.h -p --Iinclude -o main.o src/util.o\n")
        self.assertIn(" T main", nm(os.path.join(folder, "main.o")))
        self.assertIn(" T twice", nm(os.path.join(folder, "src", "util.o")))

    def test_xrbbldc_man_page_examples(self):
        blocks = man_examples(read(os.path.join(SOURCE, "doc", "xrbbldc.1")))
        self.assertEqual(len(blocks), 1)
        folder = self.example_folder(["a.c"])
        server = Server(self.tmp, os.path.join(folder, "scripts"))
        try:
            self.session = Session(self, folder, self.installed(), {})
            self.session.ports["5555"] = server.port
            # Each line on its own: they are independent commands.
            for line in blocks[0].replace("buildhost@", "127.0.0.1@").splitlines():
                self.session.run_shell(line + "\n")
            self.assertIn(" T a", nm(os.path.join(folder, "a.o")))
            self.assertIn("XRBBLDS local build server", self.session.output)
            self.assertEqual(read(os.path.join(folder, "out", "job.STDOUT")),
                             "compiling a.c\ncompile finished\n")
            self.assertEqual(server.log().count("build build1 running"), 1)
            self.assertEqual(server.log().count("build cc running"), 1)
        finally:
            server.stop()


if __name__ == "__main__":
    unittest.main(verbosity=2)
