// xrb_tcpcopy: the baseline of the transfer benchmarks.  It moves a file over
// loopback as one plain TCP stream (no framing, no acknowledgements), and
// measures the round trip of a small message, so that the client's figures
// can be read as ratios against what the machine itself does.
//
//   xrb_tcpcopy recv PORTFILE OUTFILE   listen on 127.0.0.1, store one stream
//   xrb_tcpcopy send PORT INFILE        send a file to 127.0.0.1:PORT
//   xrb_tcpcopy swrecv PORTFILE OUTFILE CHUNK   the same, stop-and-wait:
//   xrb_tcpcopy swsend PORT INFILE CHUNK        see below
//   xrb_tcpcopy rtt COUNT [SIZE]        median round trip in microseconds
//   xrb_tcpcopy run OUT CMD [ARG...]    run CMD, write its figures to OUT
//
// swrecv/swsend move the file the way the client's chunked transfer does,
// with none of the client's code: the ceiling of the protocol itself on
// this machine, so that the client can be told apart from its protocol.
//
// "run" exists because the kernel carries the peak RSS of the forking
// process over exec: a command forked by the Python driver would report the
// interpreter's size.  Forked from this small program it reports its own
// (plus at most this program's few pages).
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "base/wholeio.h"

namespace {

// The same size as the client's default chunk, so both move data in like steps.
size_t const BUFFER = 1000000;

[[noreturn]] void die(char const* what)
{
    std::fprintf(stderr, "xrb_tcpcopy: %s: %s\n", what, std::strerror(errno));
    std::exit(2);
}

void noDelay(int fd)
{
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// A TCP socket and the loopback address at port (0: any free one).
int tcpSocket(sockaddr_in& sa, int port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        die("socket");
    sa = sockaddr_in{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(static_cast<uint16_t>(port));
    return fd;
}

int listenLoopback(int& port)
{
    sockaddr_in sa;
    int fd = tcpSocket(sa, 0);
    if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd, 1) != 0)
        die("listen");
    socklen_t len = sizeof sa;
    getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    port = ntohs(sa.sin_port);
    return fd;
}

int connectLoopback(int port)
{
    sockaddr_in sa;
    int fd = tcpSocket(sa, port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0)
        die("connect");
    noDelay(fd);
    return fd;
}

void writeAll(int fd, char const* p, size_t n, bool sock)
{
    while (n > 0) {
        ssize_t k = sock ? ::send(fd, p, n, MSG_NOSIGNAL) : ::write(fd, p, n);
        if (k < 0) {
            if (errno == EINTR)
                continue;
            die(sock ? "send" : "write");
        }
        p += k;
        n -= static_cast<size_t>(k);
    }
}

bool readFull(int fd, char* p, size_t n)
{
    return moveWhole(n, [&](size_t at, size_t left) { return ::recv(fd, p + at, left, 0); }) == n;
}

// One read (or recv on a socket) of up to n bytes, retried when a signal
// interrupts it; 0 at the end of the stream.
size_t readSome(int fd, char* p, size_t n, bool sock)
{
    while (true) {
        ssize_t k = sock ? ::recv(fd, p, n, 0) : ::read(fd, p, n);
        if (k >= 0)
            return static_cast<size_t>(k);
        if (errno != EINTR)
            die(sock ? "recv" : "read");
    }
}

// Written whole under a temporary name, so the driver never reads half a number.
void writePortFile(std::string const& path, int port)
{
    std::string tmp = path + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "w");
    if (!f)
        die("port file");
    std::fprintf(f, "%d\n", port);
    std::fclose(f);
    if (std::rename(tmp.c_str(), path.c_str()) != 0)
        die("port file");
}

// Listens on a free loopback port, names it in portFile and takes one
// connection; lfd is left listening, for the caller to close.
int acceptOne(char const* portFile, int& lfd)
{
    int port = 0;
    lfd = listenLoopback(port);
    writePortFile(portFile, port);
    int s = accept(lfd, nullptr, nullptr);
    if (s < 0)
        die("accept");
    return s;
}

int createOutput(char const* outPath)
{
    int out = open(outPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0)
        die("open output");
    return out;
}

// Closes what a receiver opened and tells the driver how many bytes it stored.
int endReceiving(int out, int s, int lfd, unsigned long long total)
{
    if (close(out) != 0)
        die("close output");
    close(s);
    close(lfd);
    std::printf("%llu\n", total);
    return 0;
}

int receiveFile(char const* portFile, char const* outPath)
{
    int lfd = -1;
    int s = acceptOne(portFile, lfd);
    int out = createOutput(outPath);
    std::vector<char> buf(BUFFER);
    unsigned long long total = 0;
    while (size_t k = readSome(s, buf.data(), buf.size(), true)) {
        writeAll(out, buf.data(), k, false);
        total += k;
    }
    return endReceiving(out, s, lfd, total);
}

int sendFile(int port, char const* inPath)
{
    int in = open(inPath, O_RDONLY);
    if (in < 0)
        die("open input");
    int s = connectLoopback(port);
    std::vector<char> buf(BUFFER);
    while (size_t k = readSome(in, buf.data(), buf.size(), false))
        writeAll(s, buf.data(), k, true);
    close(in);
    close(s);
    return 0;
}

// The stop-and-wait pattern of the chunked transfer: chunks of CHUNK bytes,
// each behind a small header (its length, whether it is the last), socket
// calls of at most PIECE bytes, TCP_NODELAY on both ends.  The receiver
// stores each chunk and then answers with an ACK-byte message, except after
// the last; the sender reads the next chunk from its file before it waits
// for that answer, as the client does.
size_t const PIECE = 31744;
size_t const ACK = 108;
size_t const HEADER = 8;

size_t parseChunk(char const* text)
{
    long v = std::atol(text);
    // The header carries the length in 32 bits.
    if (v < 1 || v > (1L << 30)) {
        std::fprintf(stderr, "xrb_tcpcopy: bad chunk size %s\n", text);
        std::exit(3);
    }
    return static_cast<size_t>(v);
}

void sendPieces(int fd, char const* p, size_t n)
{
    while (n > 0) {
        size_t step = std::min(n, PIECE);
        writeAll(fd, p, step, true);
        p += step;
        n -= step;
    }
}

bool recvPieces(int fd, char* p, size_t n)
{
    while (n > 0) {
        size_t step = std::min(n, PIECE);
        if (!readFull(fd, p, step))
            return false;
        p += step;
        n -= step;
    }
    return true;
}

void putWord(char* p, uint32_t v)
{
    v = htonl(v);
    std::memcpy(p, &v, sizeof v);
}

uint32_t getWord(char const* p)
{
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return ntohl(v);
}

int receiveStopAndWait(char const* portFile, char const* outPath, size_t chunk)
{
    int lfd = -1;
    int s = acceptOne(portFile, lfd);
    noDelay(s);
    int out = createOutput(outPath);
    std::vector<char> buf(chunk);
    char header[HEADER];
    char ack[ACK] = {};
    unsigned long long total = 0;
    while (true) {
        if (!readFull(s, header, HEADER))
            die("chunk header");
        uint32_t length = getWord(header);
        bool last = getWord(header + 4) != 0;
        if (length > chunk) {
            std::fprintf(stderr, "xrb_tcpcopy: chunk of %u bytes, more than %zu\n", static_cast<unsigned>(length),
                         chunk);
            return 2;
        }
        if (!recvPieces(s, buf.data(), length))
            die("chunk");
        writeAll(out, buf.data(), length, false);
        total += length;
        if (last)
            break;
        writeAll(s, ack, ACK, true);
    }
    return endReceiving(out, s, lfd, total);
}

// Reads up to n bytes; fewer only at the end of the file.
size_t readChunk(int fd, char* p, size_t n)
{
    size_t got = 0;
    while (got < n) {
        size_t k = readSome(fd, p + got, n - got, false);
        if (k == 0)
            break;
        got += k;
    }
    return got;
}

int sendStopAndWait(int port, char const* inPath, size_t chunk)
{
    int in = open(inPath, O_RDONLY);
    if (in < 0)
        die("open input");
    struct stat st {};
    if (fstat(in, &st) != 0)
        die("stat input");
    unsigned long long remaining = static_cast<unsigned long long>(st.st_size);
    int s = connectLoopback(port);
    // Header and chunk side by side, so that the header leaves with the
    // chunk's first piece.
    std::vector<char> buf(HEADER + chunk);
    char* data = buf.data() + HEADER;
    char ack[ACK];
    size_t got = readChunk(in, data, static_cast<size_t>(std::min<unsigned long long>(remaining, chunk)));
    while (remaining > chunk && got == chunk) {
        putWord(buf.data(), static_cast<uint32_t>(chunk));
        putWord(buf.data() + 4, 0);
        sendPieces(s, buf.data(), HEADER + chunk);
        remaining -= chunk;
        got = readChunk(in, data, static_cast<size_t>(std::min<unsigned long long>(remaining, chunk)));
        if (!readFull(s, ack, ACK))
            die("acknowledgement");
    }
    putWord(buf.data(), static_cast<uint32_t>(got));
    putWord(buf.data() + 4, 1);
    sendPieces(s, buf.data(), HEADER + got);
    close(in);
    close(s);
    return 0;
}

// A forked echo peer; the parent times each exchange.  An exchange has the
// shape of one small file's turn in a build: each side sends a 20-byte
// header and then a body of SIZE - 20 bytes, and reads them in the same two
// steps.  Prints the median round trip and the parent's CPU time (user and
// system) per exchange, both in microseconds.
int roundTrip(int count, size_t size)
{
    size_t const header = 20;
    if (size <= header)
        size = header + 1;
    int port = 0;
    int lfd = listenLoopback(port);
    pid_t child = fork();
    if (child < 0)
        die("fork");
    std::vector<char> buf(size, 'x');
    if (child == 0) {
        int s = accept(lfd, nullptr, nullptr);
        if (s < 0)
            _exit(2);
        noDelay(s);
        while (readFull(s, buf.data(), header) && readFull(s, buf.data() + header, size - header)) {
            writeAll(s, buf.data(), header, true);
            writeAll(s, buf.data() + header, size - header, true);
        }
        _exit(0);
    }
    close(lfd);
    int s = connectLoopback(port);
    std::vector<double> us;
    us.reserve(static_cast<size_t>(count));
    rusage r0{}, r1{};
    getrusage(RUSAGE_SELF, &r0);
    for (int i = 0; i < count; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        writeAll(s, buf.data(), header, true);
        writeAll(s, buf.data() + header, size - header, true);
        if (!readFull(s, buf.data(), header) || !readFull(s, buf.data() + header, size - header))
            die("echo");
        auto t1 = std::chrono::steady_clock::now();
        us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    getrusage(RUSAGE_SELF, &r1);
    close(s);
    waitpid(child, nullptr, 0);
    auto micros = [](rusage const& r) {
        return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1e6 + r.ru_utime.tv_usec + r.ru_stime.tv_usec;
    };
    std::sort(us.begin(), us.end());
    std::printf("%.2f %.2f\n", us[us.size() / 2], (micros(r1) - micros(r0)) / count);
    return 0;
}

// Seconds of wall time, user and system time, peak RSS in KiB, exit status.
int runCommand(char const* outPath, char** argv)
{
    FILE* out = std::fopen(outPath, "w");
    if (!out)
        die("figures file");
    auto t0 = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child < 0)
        die("fork");
    if (child == 0) {
        execv(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    while (wait4(child, &status, 0, &ru) < 0)
        if (errno != EINTR)
            die("wait4");
    auto t1 = std::chrono::steady_clock::now();
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::fprintf(out, "%.6f %ld.%06ld %ld.%06ld %ld %d\n", std::chrono::duration<double>(t1 - t0).count(),
                 static_cast<long>(ru.ru_utime.tv_sec), static_cast<long>(ru.ru_utime.tv_usec),
                 static_cast<long>(ru.ru_stime.tv_sec), static_cast<long>(ru.ru_stime.tv_usec), ru.ru_maxrss, code);
    std::fclose(out);
    return code;
}

void usage()
{
    std::fprintf(stderr, "usage: xrb_tcpcopy recv PORTFILE OUTFILE | send PORT INFILE | rtt COUNT [SIZE]\n"
                         "                   | swrecv PORTFILE OUTFILE CHUNK | swsend PORT INFILE CHUNK\n"
                         "                   | run OUT CMD [ARG...]\n");
    std::exit(3);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        usage();
    std::string mode = argv[1];
    if (mode == "run" && argc >= 4)
        return runCommand(argv[2], argv + 3);
    if (mode == "recv" && argc == 4)
        return receiveFile(argv[2], argv[3]);
    if (mode == "send" && argc == 4)
        return sendFile(std::atoi(argv[2]), argv[3]);
    if (mode == "swrecv" && argc == 5)
        return receiveStopAndWait(argv[2], argv[3], parseChunk(argv[4]));
    if (mode == "swsend" && argc == 5)
        return sendStopAndWait(std::atoi(argv[2]), argv[3], parseChunk(argv[4]));
    if (mode == "rtt" && (argc == 3 || argc == 4)) {
        int count = std::atoi(argv[2]);
        long size = argc == 4 ? std::atol(argv[3]) : 108;
        if (count < 1 || size < 1)
            usage();
        return roundTrip(count, static_cast<size_t>(size));
    }
    usage();
}
