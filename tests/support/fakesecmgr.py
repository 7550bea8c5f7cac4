"""The one fake security manager of the tests: it listens on a loopback
port, takes each request until the client falls quiet, notes it, answers
with a fixed reply (bytes, nothing when empty) and closes the connection.

In a test: FakeManager(reply, port=0, connections=None) runs in a thread
(.port, .requests, .close()).  As a program, for a listener that has to run
as another user: `python3 fakesecmgr.py PORT REPLY` (the reply
followed by the end marker) prints "ready" once it
listens, serves until its standard input closes (or 30 s pass), then prints
the requests as a JSON list."""
import json
import select
import socket
import sys
import threading

MARKER = b"XRB#END\0"


def take_request(conn, first=5.0, quiet=0.3):
    """What the client sends: it writes no terminator, so the request ends
    when nothing more comes for a moment (or the client closes)."""
    got = b""
    conn.settimeout(first)
    try:
        while True:
            chunk = conn.recv(1024)
            if not chunk:
                break
            got += chunk
            conn.settimeout(quiet)
    except OSError:
        pass
    return got


def answer(conn, reply):
    with conn:
        request = take_request(conn)
        if reply:
            try:
                conn.sendall(reply)
            except OSError:
                pass
    return request.decode("latin-1")


def listener(port=0):
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind(("127.0.0.1", port))
    sock.listen(8)
    return sock


class FakeManager:
    """Answers up to `connections` connections (any number when None) until
    close()."""

    def __init__(self, reply, port=0, connections=None):
        self.reply = reply
        self.left = connections
        self.requests = []
        self.sock = listener(port)
        self.port = self.sock.getsockname()[1]
        self.stopping = False
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        self.sock.settimeout(0.2)
        while not self.stopping and self.left != 0:
            try:
                conn, _ = self.sock.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            self.requests.append(answer(conn, self.reply))
            if self.left is not None:
                self.left -= 1

    def close(self):
        self.stopping = True
        self.thread.join(timeout=10)
        self.sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False


def main(port, reply):
    sock = listener(int(port))
    print("ready", flush=True)
    got = []
    while True:
        ready, _, _ = select.select([sock, sys.stdin], [], [], 30)
        if not ready or sys.stdin in ready:
            break
        conn, _ = sock.accept()
        got.append(answer(conn, reply.encode("latin-1") + MARKER))
    print(json.dumps(got), flush=True)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
