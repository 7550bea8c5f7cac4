// Loopback TCP sockets for the C++ tests: every test listens on 127.0.0.1
// only, at a port the system picks, since other suites run beside it.
#ifndef XRB_TESTS_SUPPORT_LOOPBACK_H
#define XRB_TESTS_SUPPORT_LOOPBACK_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>

namespace loopback {

// 127.0.0.1 at port (0: a free one, at bind time).
inline sockaddr_in address(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    return a;
}

// A TCP socket bound to the loopback address at port, not yet listening;
// throws when the port cannot be had.
inline int bindTcp(int port)
{
    int s = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = address(port);
    if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        if (s >= 0)
            close(s);
        throw std::runtime_error("bind");
    }
    return s;
}

// The port a socket is bound to.
inline int portOf(int s)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

// A port that was free a moment ago.
inline int freePort()
{
    int s = bindTcp(0);
    int p = portOf(s);
    close(s);
    return p;
}

} // namespace loopback

#endif
