// TCP transport of the client: IPv4 stream sockets, complete sends and
// receives in bounded pieces, marker-terminated replies.
#include "net/tcpfns.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

const int MSG_PORT_UNRESOLVED = 40;   // XRBE-009
const int MSG_NO_SOCKET = 41;         // XRBE-010
const int MSG_NO_CONNECTION = 42;     // XRBE-011
const int MSG_HOST_UNRESOLVED = 43;   // XRBE-012
const int MSG_BAD_PORT = 45;          // XRBE-014
const int MSG_CONNECTION_BROKEN = 53; // XRBE-022
const int MSG_SEND_FAILED = 82;       // XRBE-052

const char END_MARKER[8] = {'X', 'R', 'B', '#', 'E', 'N', 'D', '\0'};
const int END_MARKER_LEN = 8;

[[noreturn]] void fail(char* text) { throw new TCException(text); }

// Once per process: the receive path runs for every packet.
void ignoreSigpipe() {
    static bool done = false;
    if (!done) {
        signal(SIGPIPE, SIG_IGN);
        done = true;
    }
}

// Resolves host into addr (network order); false when it cannot be resolved.
bool resolveHost(const char* host, uint32_t& addr) {
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

// The port of a port text by the rules of strtol, base 10; -1 when the text
// is not wholly a number greater than zero.  Computed in 64 bits so that both
// word widths agree; only the low 16 bits reach the socket.
long long parsePort(const char* text) {
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text, &end, 10);
    if (end == text || *end != '\0' || v <= 0)
        return -1;
    return v;
}

}  // namespace

int Connect(const char* host, const char* port, char* record, long* recordLength, int attempts) {
    TRACE("Enter Connect");
    TRACE("hostName = %s portname = %s\n", host ? host : "(null)", port ? port : "(null)");
    const char* hostText = host ? host : "";

    uint32_t addr = 0;
    if (!resolveHost(hostText, addr))
        fail(msgGet(MSG_HOST_UNRESOLVED, hostText));
    TRACE("Successful gethostbyname");

    long long portNumber;
    std::string portShown;
    if (port) {
        portNumber = parsePort(port);
        if (portNumber < 0)
            fail(msgGet(MSG_BAD_PORT, port));
        portShown = port;
    } else {
        servent* s = getservbyname(hostText, "tcp");
        if (!s)
            fail(msgGet(MSG_PORT_UNRESOLVED, hostText));
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
        sock = socket(AF_INET, SOCK_STREAM, 0);
        if (sock < 0) {
            lastErrno = errno;
            sleep(1);
        }
        --attempts;
    }
    if (sock < 0)
        fail(msgGet(MSG_NO_SOCKET, lastErrno));
    TRACE("Successful socket creation");

    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = addr;
    sa.sin_port = htons(static_cast<uint16_t>(portNumber & 0xFFFF));

    TRACE(" Connecting ...");
    int rc;
    do {
        rc = connect(sock, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    } while (rc != 0 && errno == EINTR);
    TRACE(" returned .. rc   = %d", rc);
    if (rc != 0) {
        TRACE("Exit Connect - failed");
        close(sock);
        fail(msgGet(MSG_NO_CONNECTION, hostText, portShown.c_str()));
    }
    // Without this, Nagle holds back the tail of each chunk and the second of
    // two small sends until the peer's delayed acknowledgement.
    int one = 1;
    setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    TRACE("Exit Connect - success");
    return sock;
}

int Send(int sock, const char* buffer, int length) {
    return SendPair(sock, buffer, length, nullptr, 0);
}

int SendPair(int sock, const char* first, int firstLength, const char* second, int secondLength) {
    if (firstLength < 0)
        firstLength = 0;
    if (secondLength < 0)
        secondLength = 0;
    long long total = static_cast<long long>(firstLength) + secondLength;
    long long sent = 0;
    while (sent < total) {
        iovec iov[2];
        int n = 0;
        long long budget = TCP_PIECE;
        if (sent < firstLength) {
            long long take = firstLength - sent < budget ? firstLength - sent : budget;
            iov[n].iov_base = const_cast<char*>(first + sent);
            iov[n].iov_len = static_cast<size_t>(take);
            ++n;
            budget -= take;
        }
        if (budget > 0) {
            long long off = sent > firstLength ? sent - firstLength : 0;
            long long take = secondLength - off < budget ? secondLength - off : budget;
            if (take > 0) {
                iov[n].iov_base = const_cast<char*>(second + off);
                iov[n].iov_len = static_cast<size_t>(take);
                ++n;
            }
        }
        msghdr msg;
        std::memset(&msg, 0, sizeof msg);
        msg.msg_iov = iov;
        msg.msg_iovlen = n;
        ssize_t w = ::sendmsg(sock, &msg, MSG_NOSIGNAL);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            int e = errno;
            TRACE("$$$ tcp/ip errorno= '%d'", e);
            std::printf("%s \n", std::strerror(e));
            fail(msgGet(MSG_SEND_FAILED, e));
        }
        sent += w;
    }
    return 0;
}

int Recv(int sock, char* buffer, int length, int timeout) {
    if (length <= 0)
        return 0;
    ignoreSigpipe();
    // Acknowledge at once, so that a sender that holds back the tail of its
    // data until acknowledged (Nagle) is not kept waiting for a delayed ACK.
    int one = 1;
    setsockopt(sock, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
    int received = 0;
    while (received < length) {
        int piece = length - received < TCP_PIECE ? length - received : TCP_PIECE;
        ssize_t n;
        if (timeout > 0 && !waitTimeout(sock, timeout)) {
            n = -1;
        } else {
            n = ::recv(sock, buffer + received, piece, 0);
            if (n < 0 && errno == EINTR)
                continue;
        }
        if (n <= 0) {
            TRACE("$$$ tcp/ip errorno= '%d'", errno);
            fail(msgGet(MSG_CONNECTION_BROKEN));
        }
        received += static_cast<int>(n);
    }
    return 0;
}

int waitTimeout(int sock, int timeout) {
    pollfd p;
    p.fd = sock;
    p.events = POLLIN;
    p.revents = 0;
    long long ms = static_cast<long long>(timeout) * 1000;
    if (ms > 0x7FFFFFFF)
        ms = 0x7FFFFFFF;
    int rc;
    do {
        rc = poll(&p, 1, static_cast<int>(ms));
    } while (rc < 0 && errno == EINTR);
    return rc > 0 ? 1 : 0;
}

int RecvAll(int sock, char* buffer, int* count, int bufferSize) {
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

int Disconnect(int sock) {
    if (sock < 0)
        return 0;
    return close(sock);
}

char* getPeer(int sock, char* out, int size) {
    if (!out || size <= 0)
        return out;
    out[0] = '\0';
    sockaddr_in sa;
    socklen_t len = sizeof sa;
    if (getpeername(sock, reinterpret_cast<sockaddr*>(&sa), &len) == 0 && sa.sin_family == AF_INET) {
        std::strncpy(out, inet_ntoa(sa.sin_addr), size - 1);
        out[size - 1] = '\0';
    }
    return out;
}
