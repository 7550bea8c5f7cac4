// TCP transport of the client: IPv4 (or IPv6) stream sockets, complete sends
// and receives in bounded pieces, marker-terminated replies.
#include "net/tcpfns.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include "base/tcexp.h"
#include "msg/msg.h"
#include "trace/fhgtrace.h"

#define TRACE(...) XRB_TRACE_AT("tcpfns", __VA_ARGS__)

namespace {

// Wait limits by socket, for the few sockets that have one.
std::map<int, int>& waitLimits()
{
    static std::map<int, int> limits;
    return limits;
}

int limitOf(int sock)
{
    std::map<int, int>& m = waitLimits();
    if (m.empty())
        return 0;
    auto it = m.find(sock);
    return it == m.end() ? 0 : it->second;
}

int lastWaitRanOut = 0;

// The peer said nothing for seconds: the connection counts as broken, after
// a word on how long we waited.
[[noreturn]] void failWaitRanOut(int seconds)
{
    lastWaitRanOut = 1;
    TRACE("no progress for %d seconds", seconds);
    std::string text = msgGet(XRBE_079_NO_ANSWER, std::to_string(seconds).c_str());
    text += msgGet(XRBE_022_CONNECTION_BROKEN);
    throw new TCException(text.c_str());
}

// Waits until the socket shows one of events; false when seconds passed
// without.
bool waitFor(int sock, short events, int seconds)
{
    pollfd p;
    p.fd = sock;
    p.events = events;
    p.revents = 0;
    long long ms = static_cast<long long>(seconds) * 1000;
    if (ms > 0x7FFFFFFF)
        ms = 0x7FFFFFFF;
    int rc;
    do {
        rc = poll(&p, 1, static_cast<int>(ms));
    } while (rc < 0 && errno == EINTR);
    return rc > 0;
}

char const END_MARKER[8] = {'X', 'R', 'B', '#', 'E', 'N', 'D', '\0'};
int const END_MARKER_LEN = 8;

[[noreturn]] void fail(char* text)
{
    throw new TCException(text);
}

// Once per process: the receive path runs for every packet.
void ignoreSigpipe()
{
    static bool done = false;
    if (!done) {
        signal(SIGPIPE, SIG_IGN);
        done = true;
    }
}

// Resolves host into addr (network order); false when it cannot be resolved.
bool resolveIPv4(char const* host, uint32_t& addr)
{
    hostent* h = gethostbyname(host);
    if (h && h->h_addr_list && h->h_addr_list[0] && h->h_length >= 4) {
        std::memcpy(&addr, h->h_addr_list[0], 4);
        return true;
    }
    TRACE("gethostbyname() error no = %d", errno);
    // A dotted address is accepted only when the reverse lookup knows it.
    in_addr_t dotted = inet_addr(host);
    if (gethostbyaddr(&dotted, 4, AF_INET) == nullptr) {
        TRACE("gethostaddr() error no = %d", errno);
        return false;
    }
    std::memcpy(&addr, &dotted, 4);
    return true;
}

// The server's address: IPv4 as always, then IPv6.  A text with a colon or
// a bracket can only be an IPv6 address, and asking the IPv4 resolver about
// it would only send it to the name server.
bool resolveServer(char const* host, sockaddr_storage& sa, socklen_t& len, uint32_t& v4)
{
    std::memset(&sa, 0, sizeof sa);
    v4 = 0;
    if (!std::strchr(host, ':') && host[0] != '[' && resolveIPv4(host, v4)) {
        sockaddr_in* in = reinterpret_cast<sockaddr_in*>(&sa);
        in->sin_family = AF_INET;
        in->sin_addr.s_addr = v4;
        len = sizeof *in;
        return true;
    }
    sockaddr_in6* in6 = reinterpret_cast<sockaddr_in6*>(&sa);
    if (!resolveIPv6(host, *in6))
        return false;
    len = sizeof *in6;
    return true;
}

// The port of a port text by the rules of strtol, base 10; -1 when the text
// is not wholly a number greater than zero.  Computed in 64 bits so that both
// word widths agree; only the low 16 bits reach the socket.
long long parsePort(char const* text)
{
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text, &end, 10);
    if (end == text || *end != '\0' || v <= 0)
        return -1;
    return v;
}

} // namespace

bool resolveIPv6(char const* host, sockaddr_in6& out)
{
    if (!host || !*host)
        return false;
    std::string text(host);
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET6;
    hints.ai_socktype = SOCK_STREAM;
    if (text[0] == '[') {
        // Brackets hold an address, never a name.
        if (text.size() < 3 || text.back() != ']')
            return false;
        text = text.substr(1, text.size() - 2);
        hints.ai_flags = AI_NUMERICHOST;
    }
    addrinfo* res = nullptr;
    if (getaddrinfo(text.c_str(), nullptr, &hints, &res) != 0 || !res)
        return false;
    bool found = false;
    for (addrinfo* a = res; a && !found; a = a->ai_next) {
        if (a->ai_family == AF_INET6 && a->ai_addrlen >= sizeof out) {
            std::memcpy(&out, a->ai_addr, sizeof out);
            found = true;
        }
    }
    freeaddrinfo(res);
    return found;
}

void setWaitLimit(int sock, int seconds)
{
    if (seconds > 0)
        waitLimits()[sock] = seconds;
    else
        waitLimits().erase(sock);
}

int waitRanOut()
{
    return lastWaitRanOut;
}

int Connect(char const* host, char const* port, char* record, long* recordLength, int attempts)
{
    TRACE("Enter Connect");
    TRACE("hostName = %s portname = %s\n", host ? host : "(null)", port ? port : "(null)");
    char const* hostText = host ? host : "";

    uint32_t addr = 0;
    sockaddr_storage sa;
    socklen_t saLength = 0;
    if (!resolveServer(hostText, sa, saLength, addr))
        fail(msgGet(XRBE_012_HOST_UNRESOLVED, hostText));
    TRACE("Successful gethostbyname");

    long long portNumber;
    std::string portShown;
    if (port) {
        portNumber = parsePort(port);
        if (portNumber < 0)
            fail(msgGet(XRBE_014_BAD_PORT, port));
        portShown = port;
    } else {
        servent* s = getservbyname(hostText, "tcp");
        if (!s)
            fail(msgGet(XRBE_009_PORT_UNRESOLVED, hostText));
        portNumber = ntohs(static_cast<uint16_t>(s->s_port));
        portShown = std::to_string(portNumber);
    }
    TRACE("Successful PortName");

    unsigned char rec[9];
    rec[0] = 1;
    std::memcpy(rec + 1, &addr, 4);
    int32_t hostPort = static_cast<int32_t>(portNumber);
    std::memcpy(rec + 5, &hostPort, 4);
    if (record)
        std::memcpy(record, rec, sizeof rec);
    if (recordLength)
        *recordLength = sizeof rec;

    if (attempts < 1)
        attempts = 1;
    int sock = -1;
    int lastErrno = 0;
    while (attempts > 0 && sock < 0) {
        sock = socket(sa.ss_family, SOCK_STREAM, 0);
        if (sock < 0) {
            lastErrno = errno;
            sleep(1);
        }
        --attempts;
    }
    if (sock < 0)
        fail(msgGet(XRBE_010_NO_SOCKET, lastErrno));
    TRACE("Successful socket creation");

    uint16_t netPort = htons(static_cast<uint16_t>(portNumber & 0xFFFF));
    if (sa.ss_family == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(&sa)->sin6_port = netPort;
    else
        reinterpret_cast<sockaddr_in*>(&sa)->sin_port = netPort;

    TRACE(" Connecting ...");
    int rc;
    do {
        rc = connect(sock, reinterpret_cast<sockaddr*>(&sa), saLength);
    } while (rc != 0 && errno == EINTR);
    TRACE(" returned .. rc   = %d", rc);
    if (rc != 0) {
        TRACE("Exit Connect - failed");
        close(sock);
        fail(msgGet(XRBE_011_NO_CONNECTION, hostText, portShown.c_str()));
    }
    // Without this, Nagle holds back the tail of each chunk and the second of
    // two small sends until the peer's delayed acknowledgement.
    int one = 1;
    setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    TRACE("Exit Connect - success");
    return sock;
}

int Send(int sock, char const* buffer, int length)
{
    return SendPair(sock, buffer, length, nullptr, 0);
}

int SendPair(int sock, char const* first, int firstLength, char const* second, int secondLength)
{
    SendPiece pieces[2] = {{first, firstLength < 0 ? 0 : firstLength}, {second, secondLength < 0 ? 0 : secondLength}};
    return SendPieces(sock, pieces, 2);
}

int SendPieces(int sock, SendPiece const* pieces, int count)
{
    lastWaitRanOut = 0;
    // With a wait limit the send never blocks; a full socket is waited on
    // below, for at most the limit.
    int limit = limitOf(sock);
    int flags = MSG_NOSIGNAL | (limit > 0 ? MSG_DONTWAIT : 0);
    int const MAX_IOV = 8;
    int at = 0;        // the piece where the unsent bytes begin
    long long off = 0; // and how far into it
    while (true) {
        while (at < count && (pieces[at].length <= 0 || off >= pieces[at].length)) {
            ++at;
            off = 0;
        }
        if (at >= count)
            break;
        // At most TCP_PIECE bytes per call, gathered from the pieces.
        iovec iov[MAX_IOV];
        int n = 0;
        long long budget = TCP_PIECE;
        long long o = off;
        for (int k = at; k < count && n < MAX_IOV && budget > 0; ++k, o = 0) {
            long long left = pieces[k].length - o;
            if (left <= 0)
                continue;
            long long take = left < budget ? left : budget;
            iov[n].iov_base = const_cast<char*>(pieces[k].data + o);
            iov[n].iov_len = static_cast<size_t>(take);
            ++n;
            budget -= take;
        }
        msghdr msg;
        std::memset(&msg, 0, sizeof msg);
        msg.msg_iov = iov;
        msg.msg_iovlen = n;
        ssize_t w = ::sendmsg(sock, &msg, flags);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            if (limit > 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (!waitFor(sock, POLLOUT, limit))
                    failWaitRanOut(limit);
                continue;
            }
            int e = errno;
            TRACE("$$$ tcp/ip errorno= '%d'", e);
            std::printf("%s \n", std::strerror(e));
            fail(msgGet(XRBE_052_SEND_FAILED, e));
        }
        // Step past what went.
        long long sent = w;
        while (sent > 0 && at < count) {
            long long left = pieces[at].length - off;
            if (left <= 0) {
                ++at;
                off = 0;
                continue;
            }
            if (sent < left) {
                off += sent;
                sent = 0;
            } else {
                sent -= left;
                ++at;
                off = 0;
            }
        }
    }
    return 0;
}

int Recv(int sock, char* buffer, int length, int timeout)
{
    lastWaitRanOut = 0;
    if (length <= 0)
        return 0;
    ignoreSigpipe();
    // Acknowledge at once, so that a sender that holds back the tail of its
    // data until acknowledged (Nagle) is not kept waiting for a delayed ACK.
    int one = 1;
    setsockopt(sock, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
    // The caller's time-out, else the socket's wait limit.  Data that is
    // already there is taken without a wait.
    int limit = timeout > 0 ? timeout : limitOf(sock);
    int flags = limit > 0 ? MSG_DONTWAIT : 0;
    int received = 0;
    while (received < length) {
        int piece = length - received < TCP_PIECE ? length - received : TCP_PIECE;
        ssize_t n = ::recv(sock, buffer + received, piece, flags);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && limit > 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitTimeout(sock, limit))
                failWaitRanOut(limit);
            continue;
        }
        if (n <= 0) {
            TRACE("$$$ tcp/ip errorno= '%d'", errno);
            fail(msgGet(XRBE_022_CONNECTION_BROKEN));
        }
        received += static_cast<int>(n);
    }
    return 0;
}

int waitTimeout(int sock, int timeout)
{
    return waitFor(sock, POLLIN, timeout) ? 1 : 0;
}

int RecvAll(int sock, char* buffer, int* count, int bufferSize)
{
    ignoreSigpipe();
    int received = 0;
    int rc = -1;
    if (buffer && bufferSize > 0) {
        // One byte per call, so that nothing after the marker is consumed.
        while (received < bufferSize - 1) {
            ssize_t n = ::recv(sock, buffer + received, 1, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            ++received;
            if (received >= END_MARKER_LEN &&
                std::memcmp(buffer + received - END_MARKER_LEN, END_MARKER, END_MARKER_LEN) == 0) {
                buffer[received - END_MARKER_LEN] = '\0';
                rc = 0;
                break;
            }
        }
        if (rc != 0)
            buffer[received] = '\0';
    }
    if (count)
        *count = received;
    return rc;
}

int Disconnect(int sock)
{
    if (sock < 0)
        return 0;
    setWaitLimit(sock, 0);
    return close(sock);
}

char* getPeer(int sock, char* out, int size)
{
    if (!out || size <= 0)
        return out;
    out[0] = '\0';
    sockaddr_storage sa;
    socklen_t len = sizeof sa;
    if (getpeername(sock, reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return out;
    char text[INET6_ADDRSTRLEN];
    void const* addr = nullptr;
    if (sa.ss_family == AF_INET)
        addr = &reinterpret_cast<sockaddr_in*>(&sa)->sin_addr;
    else if (sa.ss_family == AF_INET6)
        addr = &reinterpret_cast<sockaddr_in6*>(&sa)->sin6_addr;
    if (addr && inet_ntop(sa.ss_family, addr, text, sizeof text)) {
        std::strncpy(out, text, size - 1);
        out[size - 1] = '\0';
    }
    return out;
}
