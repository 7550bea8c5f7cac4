#!/usr/bin/env python3
"""Benchmarks of the build client against baselines measured in the same run.

Figures (each the median of --runs runs, client and baseline interleaved so
that both see the same load):

  upload      a large file sent by xrbbldc to the local build server (normal
              mode), against a plain TCP copy of the same bytes (xrb_tcpcopy)
  download    the same file fetched back as a build output, against the copy
  ceiling     (information) the same file moved by xrb_tcpcopy in the
              protocol's stop-and-wait pattern (chunks in 31,744-byte socket
              calls, an acknowledgement after each), with none of the client's
              code: the client against it, and it against the plain copy
  peak RSS    the client's peak resident memory during each transfer (from
              wait4's rusage), against the limit of two chunks plus 8 MiB
  many files  a build with --files small input files.  The client's CPU time
              (user and system) per file, against the CPU one side spends on a
              bare exchange of the same shape (20-byte header, then body, each
              way); what is left is the client's own time per file, against
              the median round trip of that exchange.  The wall time per file
              (mostly the server's work) is shown for information.
  -version    start to exit of "xrbbldc -version", against /bin/true
  progress    (--progress) upload and download with standard error on a
              pseudo-terminal, so that the progress line is drawn, against
              the same with XRB_PROGRESS=0, taken in turn; shows what the
              line costs and how often it was drawn

Usage: run_bench.py --build BUILD_DIR [--size BYTES] [--runs N] [--files N]
                    [--tmp DIR] [--strict] [--progress] [--transfers-only]
--transfers-only skips the many-files and -version figures.
--strict makes the exit status 1 when a target is missed; without it the
status is 1 only when something failed to run.
"""
import argparse
import filecmp
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support"))
from xrbsupport import Terminal, start_server, wait_port_file  # noqa: E402

MIB = 1 << 20
DEFAULT_CHUNK = 1000000
DEADLINE = 600  # seconds for any one process
SMALL = 64 * MIB  # copies of files up to this size are compared byte for byte


class BenchError(Exception):
    pass


class Figures:
    """What xrb_tcpcopy's "run" measured of one command."""

    def __init__(self, path):
        with open(path) as f:
            wall, user, system, rss, status = f.read().split()
        self.seconds = float(wall)
        self.user = float(user)
        self.cpu = float(user) + float(system)
        self.maxrss_kib = int(rss)
        self.status = int(status)


class Runner:
    def __init__(self, launcher, tmp):
        self.launcher = launcher
        self.figures = os.path.join(tmp, "figures")

    def start(self, argv, stderr=subprocess.PIPE, **kw):
        """Starts argv under the launcher; finish() waits for it."""
        if os.path.exists(self.figures):
            os.remove(self.figures)
        return subprocess.Popen([self.launcher, "run", self.figures] + argv,
                                stderr=stderr, **kw)

    def finish(self, proc, argv, figures=None):
        try:
            proc.wait(timeout=DEADLINE)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            raise BenchError("timed out: " + " ".join(argv))
        err = ""
        if proc.stderr:
            err = proc.stderr.read().decode(errors="replace").strip()
            proc.stderr.close()
        fig = Figures(figures or self.figures)
        if proc.returncode != 0 or fig.status != 0:
            raise BenchError("%s exited with %d: %s" % (argv[0], fig.status, err))
        return fig

    def run(self, argv, cwd=None, env=None):
        proc = self.start(argv, cwd=cwd, env=env, stdout=subprocess.DEVNULL)
        return self.finish(proc, argv)


def wait_port(path, proc, what):
    port = wait_port_file(path, proc)
    if port is None:
        raise BenchError(what + (" ended before it listened" if proc.poll() is not None else " did not listen"))
    return port


def make_file(path, size):
    block = os.urandom(MIB)
    with open(path, "wb") as f:
        left = size
        while left > 0:
            n = min(left, MIB)
            f.write(block[:n])
            left -= n


class Bench:
    def __init__(self, args, tmp):
        self.args = args
        self.tmp = tmp
        b = os.path.abspath(args.build)
        self.client = os.path.join(b, "xrbbldc")
        self.server = os.path.join(b, "tools", "buildserver", "xrbblds")
        self.copy = os.path.join(b, "bench", "xrb_tcpcopy")
        for tool in (self.client, self.server, self.copy):
            if not os.access(tool, os.X_OK):
                raise BenchError("missing " + tool + " (build first)")
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith("XRB_") and not k.startswith("TC_")}
        self.runner = Runner(self.copy, tmp)
        self.server_proc = None
        self.port = None

    # -- the local build server -------------------------------------------
    def start_server(self):
        scripts = os.path.join(self.tmp, "scripts")
        os.mkdir(scripts)
        self.write_script(scripts, "noop", "exit 0\n")
        # The output is the big file itself, so the build costs no copy.
        self.write_script(scripts, "serve", 'ln -s "$BIG" big.out\n')
        work = os.path.join(self.tmp, "serverwork")
        os.mkdir(work)
        self.server_proc, self.port = start_server(self.server, self.tmp, ["--scripts", scripts, "--work", work],
                                                   env=self.env)
        if self.port is None:
            raise BenchError("xrbblds did not start listening")

    def stop_server(self):
        if self.server_proc and self.server_proc.poll() is None:
            self.server_proc.send_signal(signal.SIGTERM)
            try:
                self.server_proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.server_proc.kill()
                self.server_proc.wait()

    @staticmethod
    def write_script(folder, name, body):
        path = os.path.join(folder, name)
        with open(path, "w") as f:
            f.write("#!/bin/sh\n" + body)
        os.chmod(path, 0o755)

    def client_argv(self, *rest):
        return [self.client, "-h", "127.0.0.1@%d" % self.port] + list(rest)

    # -- the plain TCP copy and the protocol ceiling ----------------------
    def plain_copy(self, src, dst):
        """Seconds from the sender's start until the receiver has stored all;
        also the larger peak RSS of the two ends, in KiB."""
        return self.tcp_copy(src, dst, "recv", "send", [], "plain copy")

    def ceiling_copy(self, src, dst):
        """The same for the stop-and-wait pattern with the default chunk."""
        return self.tcp_copy(src, dst, "swrecv", "swsend", [str(DEFAULT_CHUNK)],
                             "stop-and-wait copy")

    def tcp_copy(self, src, dst, recv_mode, send_mode, extra, what):
        port_file = os.path.join(self.tmp, "copy.port")
        recv_figures = os.path.join(self.tmp, "copy.figures")
        for stale in (port_file, recv_figures):
            if os.path.exists(stale):
                os.remove(stale)
        recv_argv = [self.copy, recv_mode, port_file, dst] + extra
        recv = subprocess.Popen([self.copy, "run", recv_figures] + recv_argv,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        port = wait_port(port_file, recv, "xrb_tcpcopy " + recv_mode)
        t0 = time.perf_counter()
        sender = self.runner.run([self.copy, send_mode, str(port), src] + extra)
        received = self.runner.finish(recv, recv_argv, recv_figures)
        elapsed = time.perf_counter() - t0
        got = recv.stdout.read().decode().strip()
        recv.stdout.close()
        if int(got or -1) != os.path.getsize(src):
            raise BenchError("%s stored %s bytes" % (what, got))
        # On a small file (the CTest run) the bytes themselves are checked too,
        # which a fault in the chunk framing would not pass.
        if os.path.getsize(src) <= SMALL and not filecmp.cmp(src, dst, shallow=False):
            raise BenchError("%s stored other bytes" % what)
        return elapsed, max(sender.maxrss_kib, received.maxrss_kib)

    def round_trip_us(self):
        """Median round trip and one side's CPU time per exchange."""
        out = subprocess.run([self.copy, "rtt", "2000"], capture_output=True,
                             check=True, timeout=DEADLINE).stdout
        rtt, cpu = out.decode().split()
        return float(rtt), float(cpu)

    # -- the figures ------------------------------------------------------
    def transfers(self):
        size = self.args.size
        up = os.path.join(self.tmp, "up")
        down = os.path.join(self.tmp, "down")
        os.mkdir(up)
        os.mkdir(down)
        big = os.path.join(up, "big.bin")
        make_file(big, size)
        sink = os.path.join(self.tmp, "copy.out")
        out = os.path.join(down, "big.out")
        res = {k: [] for k in ("up", "up_base", "up_ceil", "down", "down_base", "down_ceil",
                               "up_rss", "down_rss", "base_rss")}
        ways = (("up", self.client_argv("-b", "noop", "-ib", "big.bin"), up),
                ("down", self.client_argv("-b", "serve", "-v", "BIG=" + big, "-ob", "big.out"), down))
        for _ in range(self.args.runs):
            # Each way: the two baselines, then the client, in turn.
            for way, argv, cwd in ways:
                t, rss = self.plain_copy(big, sink)
                os.remove(sink)
                res[way + "_base"].append(t)
                res["base_rss"].append(rss)
                t, _ = self.ceiling_copy(big, sink)
                os.remove(sink)
                res[way + "_ceil"].append(t)
                fig = self.runner.run(argv, cwd=cwd, env=self.env)
                if way == "down":
                    if os.path.getsize(out) != size:
                        raise BenchError("download stored %d bytes of %d" % (os.path.getsize(out), size))
                    os.remove(out)
                res[way].append(fig.seconds)
                res[way + "_rss"].append(fig.maxrss_kib)
                self.settle()
        os.remove(big)
        return {k: statistics.median(v) for k, v in res.items()}

    def on_terminal(self, argv, cwd, env):
        """The figures of argv with its standard error on a pseudo-terminal,
        and the number of progress lines drawn there."""
        terminal = Terminal()
        proc = self.runner.start(argv, stderr=terminal.slave, cwd=cwd, env=env, stdout=subprocess.DEVNULL)
        try:
            fig = self.runner.finish(proc, argv)
        finally:
            shown = terminal.text()
        return fig, shown.count(b"MiB/s")

    def progress(self):
        """Transfers with the progress line against the same without it."""
        size = self.args.size
        folder = os.path.join(self.tmp, "progress")
        os.mkdir(folder)
        big = os.path.join(folder, "big.bin")
        make_file(big, size)
        out = os.path.join(folder, "big.out")
        quiet = dict(self.env, XRB_PROGRESS="0")
        keys = ("up", "up_off", "down", "down_off")
        res = {k: [] for k in keys + tuple(k + "_cpu" for k in keys) + ("lines",)}
        ways = (("up", self.client_argv("-b", "noop", "-ib", "big.bin")),
                ("down", self.client_argv("-b", "serve", "-v", "BIG=" + big, "-ob", "big.out")))
        for _ in range(self.args.runs):
            for way, argv in ways:
                # With the line, then without it.
                for key, env in ((way, self.env), (way + "_off", quiet)):
                    fig, lines = self.on_terminal(argv, folder, env)
                    if way == "down":
                        os.remove(out)
                    elif key == "up":
                        res["lines"].append(lines)
                    res[key].append(fig.seconds)
                    res[key + "_cpu"].append(fig.cpu)
                    self.settle()
        shutil.rmtree(folder)
        return {k: statistics.median(v) for k, v in res.items()}

    def settle(self):
        # Lets the server finish removing its work folder before the next run.
        time.sleep(0.3)

    def many_files(self):
        folder = os.path.join(self.tmp, "many")
        os.mkdir(folder)
        names = []
        for i in range(self.args.files):
            name = "f%04d.c" % i
            with open(os.path.join(folder, name), "w") as f:
                f.write("int f%04d(void) { return %d; }\n" % (i, i) * 3)
            names.append(name)
        with open(os.path.join(folder, "list"), "w") as f:
            f.write("\n".join(names) + "\n")
        cpu, wall, rtt, bare = [], [], [], []
        for _ in range(self.args.runs):
            r, c = self.round_trip_us()
            rtt.append(r)
            bare.append(c)
            fig = self.runner.run(self.client_argv("-b", "noop", "-i", "@list"),
                                  cwd=folder, env=self.env)
            wall.append(fig.seconds * 1e6 / self.args.files)
            cpu.append(fig.cpu * 1e6 / self.args.files)
        shutil.rmtree(folder)
        return tuple(statistics.median(v) for v in (cpu, wall, rtt, bare))

    def version(self):
        client, base = [], []
        for _ in range(max(self.args.runs, 3) * 7):
            base.append(self.runner.run(["/bin/true"]).seconds * 1000)
            client.append(self.runner.run([self.client, "-version"], cwd=self.tmp,
                                          env=self.env).seconds * 1000)
        return statistics.median(client), statistics.median(base)


def table(rows):
    head = ("figure", "client", "baseline", "ratio", "target", "met?")
    cells = [head] + [tuple(r) for r in rows]
    widths = [max(len(c[i]) for c in cells) for i in range(len(head))]
    line = lambda c: "| " + " | ".join(s.ljust(w) for s, w in zip(c, widths)) + " |"
    out = [line(head), "|" + "|".join("-" * (w + 2) for w in widths) + "|"]
    out += [line(r) for r in rows]
    return "\n".join(out)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", required=True, help="the CMake build folder")
    ap.add_argument("--size", type=int, default=1 << 30, help="bytes of the large file")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--files", type=int, default=1000)
    ap.add_argument("--tmp", default=None, help="where the files go (default: system temp)")
    ap.add_argument("--strict", action="store_true")
    ap.add_argument("--progress", action="store_true",
                    help="also measure the progress line on a pseudo-terminal")
    ap.add_argument("--transfers-only", action="store_true",
                    help="skip the many-files and -version figures")
    args = ap.parse_args()

    base = args.tmp or tempfile.gettempdir()
    need = 3 * args.size + 64 * MIB
    free = shutil.disk_usage(base).free
    if free < need:
        print("run_bench: %s has %d MiB free, %d MiB needed" % (base, free // MIB, need // MIB),
              file=sys.stderr)
        return 1
    tmp = tempfile.mkdtemp(prefix="xrbbench.", dir=base)
    bench = None
    try:
        bench = Bench(args, tmp)
        bench.start_server()
        tr = bench.transfers()
        prog = bench.progress() if args.progress else None
        if not args.transfers_only:
            cpu, wall, rtt, bare = bench.many_files()
            ver, true_ms = bench.version()
    except (BenchError, subprocess.SubprocessError, OSError) as e:
        print("run_bench: " + str(e), file=sys.stderr)
        return 1
    finally:
        if bench:
            bench.stop_server()
        shutil.rmtree(tmp, ignore_errors=True)

    chunk = DEFAULT_CHUNK
    mb = args.size / 1e6
    rss_limit_kib = (2 * chunk + 8 * MIB) / 1024
    rows, missed = [], 0

    def row(figure, client, baseline, ratio, target, met):
        # met is None for a figure shown for information, which has no target.
        nonlocal missed
        missed += 0 if met in (True, None) else 1
        mark = "-" if met is None else "yes" if met else "NO"
        rows.append((figure, client, baseline, "%.2f" % ratio, target, mark))

    for key, label in (("up", "upload"), ("down", "download")):
        c, b, w = mb / tr[key], mb / tr[key + "_base"], mb / tr[key + "_ceil"]
        row("%s %d MiB (MB/s)" % (label, args.size // MIB), "%.0f" % c, "%.0f" % b,
            c / b, ">= 0.80", c / b >= 0.8)
        row("%s: client vs ceiling (MB/s)" % label, "%.0f" % c, "%.0f ceiling" % w,
            c / w, ">= 0.90", c / w >= 0.9)
        row("%s: ceiling vs plain (MB/s)" % label, "%.0f ceiling" % w, "%.0f" % b,
            w / b, "(info)", None)
    for key, label in (("up_rss", "upload"), ("down_rss", "download")):
        c = tr[key]
        row("peak RSS, %s (MiB)" % label, "%.1f" % (c / 1024), "%.1f" % (tr["base_rss"] / 1024),
            c / tr["base_rss"], "<= %.1f MiB" % (rss_limit_kib / 1024), c <= rss_limit_kib)
    if prog:
        for key, label in (("up", "upload"), ("down", "download")):
            c, b = mb / prog[key], mb / prog[key + "_off"]
            row("%s on a terminal, line vs none (MB/s)" % label, "%.0f" % c, "%.0f" % b,
                c / b, "(info)", None)
            c, b = prog[key + "_cpu"] * 1000, prog[key + "_off_cpu"] * 1000
            row("%s on a terminal, line vs none (client CPU ms)" % label, "%.0f" % c, "%.0f" % b,
                c / b, "(info)", None)
        rows.append(("progress lines drawn per upload", "%d" % prog["lines"], "-", "-", "(info)", "-"))
    if args.transfers_only:
        print(table(rows))
        print("(medians of %d runs; chunk %d bytes; file %d bytes)" % (args.runs, chunk, args.size))
        return 1 if (args.strict and missed) else 0
    row("%d files: client CPU per file (us)" % args.files, "%.1f" % cpu, "%.1f bare" % bare,
        cpu / bare, "(info)", None)
    own = cpu - bare
    row("%d files: client's own time per file (us)" % args.files, "%.1f" % own, "%.1f RTT" % rtt,
        own / rtt, "<= 0.50 RTT", own / rtt <= 0.5)
    row("%d files: wall per file (us)" % args.files, "%.1f" % wall, "%.1f RTT" % rtt,
        wall / rtt, "(info)", None)
    row("-version start to exit (ms)", "%.2f" % ver, "%.2f true" % true_ms,
        ver / true_ms, "<= 5 ms", ver <= 5.0)
    print(table(rows))
    print("(medians of %d runs; chunk %d bytes; file %d bytes;" % (args.runs, chunk, args.size))
    print(" ceiling: the protocol's stop-and-wait pattern without the client)")
    return 1 if (args.strict and missed) else 0


if __name__ == "__main__":
    sys.exit(main())
