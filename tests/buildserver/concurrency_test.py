#!/usr/bin/env python3
"""Builds side by side, the busy reply, and peers that misbehave: silent,
garbage, gone in the middle.  The server must serve every connection on its
own, keep its --jobs limit, clean up whatever the client does, and never end
because of a client."""
import os
import re
import signal
import socket
import time
import unittest

from xrbtest import (COMM_BUSY, COMM_PING, COMM_START, Client, ServerCase, comm_packet,
                     read_packet, script, wait_for, write)


class SideBySide(ServerCase):
    def test_four_one_second_builds_take_about_one_second(self):
        script(self.scripts, "sleep1", "sleep 1\n")
        server = self.server("--jobs", "4")
        started = time.monotonic()
        runs = [self.client(server, "-b", "sleep1", "-P", "c%d." % i).start() for i in range(4)]
        for r in runs:
            r.wait()
        total = time.monotonic() - started
        print("four 1-second builds started together: %.2f s in all; each ended after %s s"
              % (total, ", ".join("%.2f" % r.elapsed for r in runs)))
        for r in runs:
            self.assertGood(r)
        # All four were running before the first one ended...
        events = re.findall(r"build sleep1 (running|good)", server.log())
        self.assertEqual(events[:4], ["running"] * 4, server.log())
        # ...and together they took less than four builds' time, which one
        # after the other could not (a busy machine may stretch one build's).
        self.assertLess(total, 4.0, "the builds ran one after the other")

    def test_a_client_beyond_jobs_is_told_busy_and_succeeds_on_its_retry(self):
        # The first build lasts long enough for the second client to arrive
        # while it runs, however slowly that client starts.
        script(self.scripts, "pause", 'sleep "$SECONDS_"\n')
        server = self.server("--jobs", "1")
        first = self.client(server, "-b", "pause", "-v", "SECONDS_=4", "-P", "first.").start()
        server.wait_log(r"build pause running")
        second = self.client(server, "-b", "pause", "-v", "SECONDS_=1", "-P", "second.").start()
        server.wait_log(r"busy: 1 of 1 builds running; 127\.0\.0\.1:\d+ told to retry in 10 s")
        self.assertGood(first.wait())
        self.assertGood(second.wait(timeout=40))
        self.assertIn("Server busy ... wait for 10 seconds and retry.", second.out)
        self.assertGreaterEqual(second.elapsed, 10)
        self.assertLess(second.elapsed, 20)
        self.assertEqual(server.log().count("build pause running"), 2)

    def test_a_server_test_is_answered_while_every_slot_is_taken(self):
        script(self.scripts, "sleep2", "sleep 2\n")
        server = self.server("--jobs", "1")
        busy = self.client(server, "-b", "sleep2").start()
        server.wait_log(r"build sleep2 running")
        ping = self.client(server, "-testServer").run()
        self.assertEqual(ping.status, 0, str(ping))
        self.assertIn("XRBBLDS local build server", ping.out)
        self.assertLess(ping.elapsed, 5, "the server test waited for the build")
        self.assertGood(busy.wait())


class MisbehavingPeers(ServerCase):
    def test_a_silent_connection_delays_nobody(self):
        script(self.scripts, "quick", "echo done\n")
        server = self.server("--jobs", "1")
        silent = [socket.create_connection(("127.0.0.1", server.port)) for _ in range(3)]
        try:
            run = self.build(server, "-b", "quick")
            self.assertGood(run)
            self.assertLess(run.elapsed, 5, "a silent peer held the server up")
            self.assertNotIn("Server busy", run.out)
        finally:
            for s in silent:
                s.close()

    def test_a_silent_peer_is_dropped_after_the_idle_time_out(self):
        script(self.scripts, "quick", "exit 0\n")
        server = self.server("--idle-timeout", "1")
        with socket.create_connection(("127.0.0.1", server.port)) as s:
            s.settimeout(10)
            started = time.monotonic()
            self.assertEqual(s.recv(100), b"", "the server sent something to a silent peer")
            waited = time.monotonic() - started
        self.assertGreater(waited, 0.7)
        self.assertLess(waited, 6)
        server.wait_log(r"without an opening packet: the client was silent for 1 s; dropped")

    def test_a_peer_silent_after_its_opening_frees_its_slot(self):
        script(self.scripts, "quick", "exit 0\n")
        server = self.server("--jobs", "1", "--idle-timeout", "1")
        with socket.create_connection(("127.0.0.1", server.port)) as s:
            s.sendall(comm_packet(COMM_START, b"enu", 10))
            # The server asks for the build and gets nothing.
            self.assertIsNotNone(read_packet(s))
            self.assertIsNone(read_packet(s), "the silent peer was not dropped")
        server.wait_log(r"session ended: .*silent for 1 s; dropped")
        run = self.build(server, "-b", "quick")
        self.assertGood(run)
        self.assertNotIn("Server busy", run.out)

    def test_garbage_and_broken_frames_do_not_end_the_server(self):
        script(self.scripts, "quick", "exit 0\n")
        server = self.server("--jobs", "2")
        peers = [b"GET / HTTP/1.0\r\n\r\n" * 3,
                 os.urandom(4096),
                 comm_packet(COMM_START)[:30],                        # cut in the middle
                 b"\x01\xbf\x4e\x81" + b"\xff\xff\xff\xf0" + b"\0" * 12,   # a 4 GiB body announced
                 comm_packet(99),                                     # an unknown opening
                 comm_packet(COMM_START) + os.urandom(512)]           # a session, then garbage
        for data in peers:
            with socket.create_connection(("127.0.0.1", server.port)) as s:
                s.sendall(data)
                s.shutdown(socket.SHUT_WR)
                s.settimeout(10)
                try:
                    while s.recv(4096):
                        pass
                except ConnectionResetError:
                    pass
        self.assertTrue(server.alive())
        self.assertGood(self.build(server, "-b", "quick"))
        self.assertTrue(wait_for(lambda: server.children() == [], 15), server.children())
        self.assertEqual(os.listdir(server.run_folder()), [])

    def test_a_client_that_connects_and_leaves_at_once(self):
        script(self.scripts, "quick", "exit 0\n")
        server = self.server()
        for _ in range(20):
            s = socket.create_connection(("127.0.0.1", server.port))
            s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\1\0\0\0\0\0\0\0")
            s.close()  # with a reset
        self.assertTrue(server.alive())
        self.assertGood(self.build(server, "-b", "quick"))
        self.assertTrue(wait_for(lambda: server.children() == [], 15), server.children())


class Cleanup(ServerCase):
    def test_a_client_gone_during_the_build_stops_the_build(self):
        script(self.scripts, "long", 'echo $$ > "$PIDFILE"\nsleep 30\n')
        pidfile = os.path.join(self.tmp, "script.pid")
        server = self.server("--jobs", "1")
        run = self.client(server, "-b", "long", "-v", "PIDFILE=" + pidfile).start()
        server.wait_log(r"build long running")
        wait_for(lambda: os.path.exists(pidfile) and read_int(pidfile) > 0, 5)
        script_pid = read_int(pidfile)
        run.proc.kill()
        run.wait()
        server.wait_log(r"the client left during the build; the build was stopped", timeout=5)
        self.assertTrue(wait_for(lambda: not process_exists(script_pid), 5), "the script still runs")
        self.assertTrue(wait_for(lambda: server.children() == [], 15))
        self.assertEqual(os.listdir(server.run_folder()), [])
        # Its slot is free again.
        script(self.scripts, "quick", "exit 0\n")
        again = self.build(server, "-b", "quick")
        self.assertGood(again)
        self.assertNotIn("Server busy", again.out)

    def test_a_client_gone_while_it_fetches_an_output_file(self):
        # The output is large enough to be sent in many chunks; the client is
        # killed once the first ones have arrived, so the server's sends fail.
        script(self.scripts, "big", "head -c 200000000 /dev/zero > big.out\n")
        server = self.server()
        run = self.client(server, "-b", "big", "-o", "big.out").start()
        target = os.path.join(self.home, "big.out")
        self.assertTrue(wait_for(lambda: os.path.exists(target) and os.path.getsize(target) > 0, 30))
        run.proc.kill()
        run.wait()
        self.assertTrue(wait_for(lambda: server.children() == [], 30 + 5), server.children())
        self.assertTrue(server.alive())
        self.assertEqual(os.listdir(server.run_folder()), [])
        script(self.scripts, "quick", "exit 0\n")
        self.assertGood(self.build(server, "-b", "quick"))

    def test_sessions_are_reaped_and_their_folders_removed(self):
        script(self.scripts, "good", "echo made > out.o\n")
        script(self.scripts, "bad", "echo broken >&2; exit 3\n")
        write(os.path.join(self.home, "a.c"), "int a;\n")
        server = self.server()
        self.assertGood(self.build(server, "-b", "good", "-i", "a.c", "-o", "out.o"))
        self.assertEqual(self.build(server, "-b", "bad", "-i", "a.c").status, 1)
        self.assertEqual(self.build(server, "-b", "missing").status, 1)
        self.assertEqual(self.build(server, "-b", "good", "-i", "gone.c").status, 1)
        self.assertEqual(self.build(server, "-testServer").status, 0)
        self.assertTrue(wait_for(lambda: server.children() == [], 15), server.children())
        self.assertEqual(os.listdir(server.run_folder()), [])
        self.assertIn("session ended: the client did not send gone.c.TXT", server.log())

    def test_sigterm_stops_running_builds_and_removes_everything(self):
        script(self.scripts, "long", 'echo $$ > "$PIDFILE"\nsleep 30 &\nwait\n')
        pidfile = os.path.join(self.tmp, "script.pid")
        server = self.server()
        run = self.client(server, "-b", "long", "-v", "PIDFILE=" + pidfile).start()
        server.wait_log(r"build long running")
        wait_for(lambda: os.path.exists(pidfile) and read_int(pidfile) > 0, 5)
        script_pid = read_int(pidfile)
        started = time.monotonic()
        self.assertEqual(server.stop(), 0)
        self.assertLess(time.monotonic() - started, 5)
        self.assertEqual(run.wait().status, 1)
        self.assertTrue(wait_for(lambda: not process_exists(script_pid), 5))
        self.assertEqual(os.listdir(server.work), [], "the server's folder was left behind")
        self.assertIn("stopped", server.log())

    def test_keep_leaves_the_build_folders_for_inspection(self):
        script(self.scripts, "good", "echo made > out.o\n")
        write(os.path.join(self.home, "src", "a.c"), "int a;\n")
        server = self.server("--keep")
        self.assertGood(self.build(server, "-b", "good", "-i", "src/a.c", "-o", "out.o"))
        kept = os.listdir(server.run_folder())
        self.assertEqual(len(kept), 1)
        work = os.path.join(server.run_folder(), kept[0], "work")
        self.assertEqual(sorted(os.listdir(work)), ["out.o", "src"])
        # The session says so as it ends, which may be just after the client has its answer.
        server.wait_log(re.escape("build folder kept: " + os.path.dirname(work)))
        self.assertEqual(server.stop(), 0)
        self.assertTrue(os.path.isdir(work))

    def test_max_ends_the_server_after_its_connections(self):
        script(self.scripts, "quick", "exit 0\n")
        server = self.server("--max", "2")
        self.assertGood(self.build(server, "-b", "quick"))
        self.assertEqual(self.build(server, "-testServer").status, 0)
        server.proc.wait(timeout=10)
        self.assertEqual(server.proc.returncode, 0)
        self.assertEqual(os.listdir(server.work), [])


def read_int(path):
    try:
        with open(path) as f:
            return int(f.read().strip() or 0)
    except (OSError, ValueError):
        return 0


def process_exists(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().split(")")[-1].split()[0] not in ("Z", "X")
    except OSError:
        return False


if __name__ == "__main__":
    unittest.main(verbosity=2)
