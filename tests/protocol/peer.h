// Test helpers: a connected socket pair, a peer process for exchanges that
// need both ends active (the packet buffer is process-wide, so the two ends
// of a transfer must not share a process), and exception capture.
#ifndef XRB_TESTS_PROTOCOL_PEER_H
#define XRB_TESTS_PROTOCOL_PEER_H

#include <csignal>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/tcexp.h"

struct SocketPair {
    int a = -1, b = -1;
    SocketPair()
    {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) == 0) {
            a = fds[0];
            b = fds[1];
            // No test may hang on a missing byte.
            timeval tv{10, 0};
            setsockopt(a, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
            setsockopt(b, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        }
    }
    ~SocketPair()
    {
        closeA();
        closeB();
    }
    void closeA()
    {
        if (a >= 0)
            close(a);
        a = -1;
    }
    void closeB()
    {
        if (b >= 0)
            close(b);
        b = -1;
    }
};

// Runs body(fd) in a child process; the child exits with body's result.
template <class F>
pid_t runPeer(SocketPair& sp, F body)
{
    pid_t pid = fork();
    if (pid == 0) {
        alarm(20);
        close(sp.a);
        int rc = 99;
        try {
            rc = body(sp.b);
        } catch (TCException* e) {
            delete e;
            rc = 98;
        }
        _exit(rc);
    }
    sp.closeB();
    return pid;
}

inline int waitPeer(pid_t pid)
{
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200 + WTERMSIG(status);
}

// The message of the TCException that f throws, or "" when it throws none.
template <class F>
std::string thrownText(F f)
{
    try {
        f();
    } catch (TCException* e) {
        std::string text = e->getMessage();
        delete e;
        return text;
    }
    return "";
}

inline std::string readExactly(int fd, size_t n)
{
    std::string out(n, '\0');
    size_t got = 0;
    while (got < n) {
        ssize_t r = read(fd, &out[got], n - got);
        if (r <= 0)
            break;
        got += static_cast<size_t>(r);
    }
    out.resize(got);
    return out;
}

inline void writeAll(int fd, std::string const& bytes)
{
    size_t put = 0;
    while (put < bytes.size()) {
        ssize_t w = write(fd, bytes.data() + put, bytes.size() - put);
        if (w <= 0)
            return;
        put += static_cast<size_t>(w);
    }
}

#endif
