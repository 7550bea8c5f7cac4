// Feeds arbitrary bytes, as if received from the peer, to the receiving half
// of every packet class.  The first byte picks the class; the rest is the
// stream.  Any rejection must be a clean TCException.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

#include "base/tcexp.h"
#include "protocol/xrbbld.h"

namespace {

void receiveAs(unsigned which, int fd)
{
    switch (which % 9) {
    case 0: {
        CommPacket p(fd, 0);
        (void)p.get_commtype();
        break;
    }
    case 1: {
        AuthPacket p(fd);
        (void)p.get_userid();
        break;
    }
    case 2: {
        LocalePacket p(fd);
        (void)p.get_clientCodepage();
        break;
    }
    case 3: {
        BuildPacket p(fd);
        for (char* s = p.get_firstInput(); s; s = p.get_nextInput()) {
        }
        break;
    }
    case 4: {
        BuildResPacket p(fd);
        (void)p.get_builderMsg();
        break;
    }
    case 5: {
        binDataPacket p(fd);
        (void)p.get_length();
        break;
    }
    case 6: {
        FileBulkPacket p("f.BIN", static_cast<FILE*>(nullptr));
        recvBulk(fd, p, 0);
        break;
    }
    case 7: {
        FileBulkPacket p("f.BIN", static_cast<FILE*>(nullptr));
        p.recv(fd, PKT_FILEBULK, 0);
        p.parse();
        break;
    }
    default: {
        // A text file written for real, so the write path runs too.
        FILE* sink = std::fopen("/dev/null", "wb");
        if (sink == nullptr)
            break;
        FileBulkPacket p("f.TXT", sink);
        recvBulk(fd, p, 1);
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
    if (size < 1 || size > 100000)
        return 0;
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
        return 0;
    int buf = 1 << 20;
    setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &buf, sizeof buf);
    setsockopt(fds[1], SOL_SOCKET, SO_RCVBUF, &buf, sizeof buf);
    size_t put = 1;
    while (put < size) {
        ssize_t w = write(fds[0], data + put, size - put);
        if (w <= 0)
            break;
        put += static_cast<size_t>(w);
    }
    // The end of the input is the peer closing; requests sent back are lost.
    shutdown(fds[0], SHUT_WR);
    try {
        receiveAs(data[0], fds[1]);
    } catch (TCException* e) {
        delete e;
    }
    close(fds[0]);
    close(fds[1]);
    return 0;
}
