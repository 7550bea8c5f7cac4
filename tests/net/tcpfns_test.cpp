// The TCP transport against listeners on 127.0.0.1.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "../protocol/peer.h"
#include "base/tcexp.h"
#include "net/tcpfns.h"

namespace {

// A listening socket on 127.0.0.1; port 0 picks a free one.
struct Listener {
    int fd = -1;
    int port = 0;
    explicit Listener(int wanted = 0)
    {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sa.sin_port = htons(static_cast<uint16_t>(wanted));
        if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd, 4) != 0) {
            close(fd);
            fd = -1;
            return;
        }
        socklen_t len = sizeof sa;
        getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
        port = ntohs(sa.sin_port);
    }
    ~Listener()
    {
        if (fd >= 0)
            close(fd);
    }
    int accept1()
    {
        timeval tv{5, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        int c = accept(fd, nullptr, nullptr);
        if (c >= 0)
            setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        return c;
    }
};

// A socket pair whose ends are let go with Disconnect, which also forgets
// their wait limits.
struct Pair : SocketPair {
    ~Pair()
    {
        Disconnect(a);
        Disconnect(b);
        a = b = -1;
    }
};

TEST(Connect, PortTextsRejected)
{
    char host[] = "127.0.0.1";
    for (char const* port : {"0", "-5", "", "12x"}) {
        SCOPED_TRACE(port);
        std::string text = thrownText([&] { Connect(host, port, nullptr, nullptr, 1); });
        EXPECT_NE(text.find("XRBE-014"), std::string::npos);
        EXPECT_NE(text.find(std::string("number, ") + port + ","), std::string::npos);
    }
}

void expectConnectsTo(int wanted, char const* portText)
{
    Listener l(wanted);
    if (l.fd < 0)
        GTEST_SKIP() << "cannot listen on port " << wanted;
    int s = -1;
    EXPECT_EQ(thrownText([&] { s = Connect("127.0.0.1", portText, nullptr, nullptr, 1); }), "");
    ASSERT_GE(s, 0);
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    ASSERT_EQ(getpeername(s, reinterpret_cast<sockaddr*>(&peer), &len), 0);
    EXPECT_EQ(ntohs(peer.sin_port), wanted);
    int nodelay = 0;
    len = sizeof nodelay;
    getsockopt(s, IPPROTO_TCP, TCP_NODELAY, &nodelay, &len);
    EXPECT_NE(nodelay, 0);
    int c = l.accept1();
    EXPECT_GE(c, 0);
    Disconnect(c);
    Disconnect(s);
}

TEST(Connect, LeadingBlankAndSign)
{
    expectConnectsTo(42, " 42");
    expectConnectsTo(42, "+42");
}

TEST(Connect, PortAbove65535KeepsLow16Bits)
{
    expectConnectsTo(4464, "70000");
}

TEST(Connect, AddressRecordAndLocalhost)
{
    Listener l;
    ASSERT_GE(l.fd, 0);
    std::string port = std::to_string(l.port);
    char record[9] = {};
    long recordLength = 0;
    int s = Connect("localhost", port.c_str(), record, &recordLength, 0);
    EXPECT_EQ(recordLength, 9);
    EXPECT_EQ(record[0], 1);
    uint32_t addr;
    std::memcpy(&addr, record + 1, 4);
    EXPECT_EQ(addr, htonl(INADDR_LOOPBACK));
    int32_t p;
    std::memcpy(&p, record + 5, 4);
    EXPECT_EQ(p, l.port);
    char out[32];
    int c = l.accept1();
    EXPECT_STREQ(getPeer(s, out, sizeof out), "127.0.0.1");
    char small[4];
    EXPECT_STREQ(getPeer(s, small, sizeof small), "127");
    EXPECT_STREQ(getPeer(-1, out, sizeof out), "");
    Disconnect(c);
    Disconnect(s);
}

TEST(Connect, RefusedConnection)
{
    int port;
    {
        Listener l;
        port = l.port;
    }
    std::string portText = std::to_string(port);
    std::string text = thrownText([&] { Connect("127.0.0.1", portText.c_str(), nullptr, nullptr, 1); });
    EXPECT_NE(text.find("XRBE-011"), std::string::npos);
    EXPECT_NE(text.find(portText), std::string::npos);
}

TEST(Connect, SocketCreationRetriesSleepThenFail)
{
    pid_t pid = fork();
    if (pid == 0) {
        alarm(20);
        // The resolver loads its configuration on first use, which needs
        // descriptors; do that before none is left.
        gethostbyname("127.0.0.1");
        // Leave no descriptor free, so that every socket() fails.
        rlimit rl{16, 16};
        setrlimit(RLIMIT_NOFILE, &rl);
        while (open("/dev/null", O_RDONLY) >= 0) {
        }
        auto start = std::chrono::steady_clock::now();
        std::string text = thrownText([] { Connect("127.0.0.1", "9", nullptr, nullptr, 2); });
        double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        _exit(text.find("XRBE-010") != std::string::npos && secs >= 1.9 && secs < 5 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(Transfer, LongBufferMovesWhole)
{
    Pair p;
    std::string data(70000, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7);
    std::string got(data.size(), '\0');
    std::thread reader([&] { Recv(p.b, &got[0], static_cast<int>(got.size()), 0); });
    EXPECT_EQ(Send(p.a, data.data(), static_cast<int>(data.size())), 0);
    reader.join();
    EXPECT_EQ(got, data);
    EXPECT_EQ(Recv(p.b, nullptr, 0, 0), 0);
    EXPECT_EQ(Send(p.a, nullptr, 0), 0);
}

TEST(Transfer, PairArrivesAsOneStream)
{
    Pair p;
    std::string head = "HEADER-20-BYTES-LONG";
    std::string body(70000, '\0');
    for (size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>(i * 13 + 1);
    std::string got(head.size() + body.size(), '\0');
    std::thread reader([&] { Recv(p.b, &got[0], static_cast<int>(got.size()), 0); });
    EXPECT_EQ(SendPair(p.a, head.data(), 20, body.data(), static_cast<int>(body.size())), 0);
    reader.join();
    EXPECT_EQ(got, head + body);
}

// Many pieces, empty ones among them, more than one socket call gathers:
// one stream in order.
TEST(Transfer, PiecesArriveAsOneStream)
{
    Pair p;
    std::vector<std::string> parts = {"a", "",  std::string(40000, 'b'), "cd", "", "e", "f", "g",
                                      "h", "i", std::string(31744, 'j'), "kl"};
    std::vector<SendPiece> pieces;
    std::string all;
    for (std::string const& part : parts) {
        pieces.push_back({part.data(), static_cast<long long>(part.size())});
        all += part;
    }
    std::string got(all.size(), '\0');
    std::thread reader([&] { Recv(p.b, &got[0], static_cast<int>(got.size()), 0); });
    EXPECT_EQ(SendPieces(p.a, pieces.data(), static_cast<int>(pieces.size())), 0);
    reader.join();
    EXPECT_EQ(got, all);
}

TEST(Transfer, HeaderInThreePiecesWithTimeout)
{
    Pair p;
    std::thread writer([&] {
        for (char const* piece : {"0123456", "789abcd", "efghij"}) {
            Send(p.a, piece, static_cast<int>(std::strlen(piece)));
            usleep(20000);
        }
    });
    char buf[21] = {};
    EXPECT_EQ(Recv(p.b, buf, 20, 5), 0);
    writer.join();
    EXPECT_STREQ(buf, "0123456789abcdefghij");
}

TEST(Transfer, PeerClosingAndWaitRunningOut)
{
    {
        Pair p;
        Send(p.a, "abc", 3);
        Disconnect(p.a);
        p.a = -1;
        char buf[10];
        EXPECT_NE(thrownText([&] { Recv(p.b, buf, 10, 0); }).find("XRBE-022"), std::string::npos);
    }
    {
        Pair p;
        char buf[4];
        EXPECT_NE(thrownText([&] { Recv(p.b, buf, 4, 1); }).find("XRBE-022"), std::string::npos);
    }
}

TEST(Transfer, SendToClosedPeerFailsWithoutSignal)
{
    signal(SIGPIPE, SIG_DFL);
    Pair p;
    Disconnect(p.b);
    p.b = -1;
    std::string text = thrownText([&] { Send(p.a, "x", 1); });
    signal(SIGPIPE, SIG_IGN);
    EXPECT_NE(text.find("XRBE-052"), std::string::npos);
}

TEST(RecvAll, StopsRightAfterMarker)
{
    Pair p;
    Send(p.a, "ok\0XRB#END\0trailing", 19);
    // Nothing after a marker is consumed: the next reply starts right after it.
    char buf[64];
    int count = 0;
    std::string reply = std::string("ab") + "XRB#END" + '\0' + "after";
    Send(p.a, reply.data(), static_cast<int>(reply.size()));
    EXPECT_EQ(RecvAll(p.b, buf, &count, sizeof buf), 0);
    EXPECT_EQ(std::string(buf, 2), std::string("ok", 2));
    EXPECT_EQ(count, 11);
    EXPECT_EQ(RecvAll(p.b, buf, &count, sizeof buf), 0);
    EXPECT_EQ(count, 10 + 8); // "trailing" arrived ahead of this reply
}

TEST(RecvAll, TwoBytesThenMarker)
{
    Pair p;
    std::string reply = std::string("ab") + "XRB#END" + '\0';
    Send(p.a, reply.data(), static_cast<int>(reply.size()));
    char buf[264];
    int count = 0;
    EXPECT_EQ(RecvAll(p.b, buf, &count, sizeof buf), 0);
    EXPECT_STREQ(buf, "ab");
    EXPECT_EQ(count, 10);
}

TEST(RecvAll, BoundedByBufferAndEndedByClose)
{
    {
        Pair p;
        std::string flood(300, 'f');
        Send(p.a, flood.data(), static_cast<int>(flood.size()));
        char buf[16];
        int count = 0;
        EXPECT_EQ(RecvAll(p.b, buf, &count, sizeof buf), -1);
        EXPECT_EQ(count, 15);
        EXPECT_EQ(std::string(buf), std::string(15, 'f'));
    }
    {
        Pair p;
        Send(p.a, "partial", 7);
        Disconnect(p.a);
        p.a = -1;
        char buf[64];
        int count = 0;
        EXPECT_EQ(RecvAll(p.b, buf, &count, sizeof buf), -1);
        EXPECT_STREQ(buf, "partial");
    }
}

// With a wait limit a silent peer ends the receive after the limit with
// both messages; a peer that keeps sending, however slowly, does not.
TEST(WaitLimit, SilentPeerEndsReceiveSlowPeerDoesNot)
{
    Pair p;
    setWaitLimit(p.b, 1);
    char buf[8];
    auto t0 = std::chrono::steady_clock::now();
    std::string text = thrownText([&] { Recv(p.b, buf, 8, 0); });
    double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_NE(text.find("XRBE-079"), std::string::npos) << text;
    EXPECT_NE(text.find("within 1 seconds"), std::string::npos) << text;
    EXPECT_NE(text.find("XRBE-022"), std::string::npos) << text;
    EXPECT_LT(text.find("XRBE-079"), text.find("XRBE-022"));
    EXPECT_EQ(waitRanOut(), 1);
    EXPECT_GE(waited, 0.9);
    EXPECT_LT(waited, 2.0);

    std::thread writer([&] {
        for (int i = 0; i < 4; ++i) {
            usleep(600000);
            Send(p.a, "ab", 2);
        }
    });
    EXPECT_EQ(thrownText([&] { Recv(p.b, buf, 8, 0); }), "");
    writer.join();
    EXPECT_EQ(waitRanOut(), 0);
    EXPECT_EQ(std::string(buf, 8), "abababab");
}

// A peer that reads nothing: the send that waits for room gives up.
TEST(WaitLimit, SendThatFindsNoRoomGivesUp)
{
    Pair p;
    int small = 4096;
    setsockopt(p.a, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    setWaitLimit(p.a, 1);
    std::string big(1 << 20, 'x');
    auto t0 = std::chrono::steady_clock::now();
    std::string text = thrownText([&] { Send(p.a, big.data(), static_cast<int>(big.size())); });
    double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_NE(text.find("XRBE-079"), std::string::npos) << text;
    EXPECT_EQ(text.find("XRBE-052"), std::string::npos) << text;
    EXPECT_EQ(waitRanOut(), 1);
    EXPECT_LT(waited, 2.0);
}

// Without a limit (or after Disconnect forgot it) a silent peer is waited for.
TEST(WaitLimit, NoLimitWaitsAndDisconnectForgetsIt)
{
    Pair p;
    setWaitLimit(p.b, 1);
    setWaitLimit(p.b, 0);
    std::thread writer([&] {
        usleep(1500000);
        Send(p.a, "late", 4);
    });
    char buf[4];
    EXPECT_EQ(thrownText([&] { Recv(p.b, buf, 4, 0); }), "");
    writer.join();

    int fd = socket(AF_INET, SOCK_STREAM, 0);
    setWaitLimit(fd, 1);
    Disconnect(fd);
    Pair q; // may reuse the number
    std::thread late([&] {
        usleep(1500000);
        Send(q.a, "late", 4);
        Send(q.b, "late", 4);
    });
    EXPECT_EQ(thrownText([&] {
                  Recv(q.a, buf, 4, 0);
                  Recv(q.b, buf, 4, 0);
              }),
              "");
    late.join();
}

// An IPv6 listener reached by the address written plain, in full and in
// brackets; getPeer names it.  A zone the machine knows is taken.
TEST(Connect, IPv6Forms)
{
    int l = socket(AF_INET6, SOCK_STREAM, 0);
    sockaddr_in6 sa{};
    sa.sin6_family = AF_INET6;
    sa.sin6_addr = in6addr_loopback;
    if (bind(l, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(l, 4) != 0) {
        close(l);
        GTEST_SKIP() << "no IPv6 loopback";
    }
    socklen_t len = sizeof sa;
    getsockname(l, reinterpret_cast<sockaddr*>(&sa), &len);
    std::string port = std::to_string(ntohs(sa.sin6_port));
    for (char const* host : {"::1", "[::1]", "0:0:0:0:0:0:0:1"}) {
        SCOPED_TRACE(host);
        int s = -1;
        EXPECT_EQ(thrownText([&] { s = Connect(host, port.c_str(), nullptr, nullptr, 1); }), "");
        if (s < 0)
            continue;
        char peer[64];
        EXPECT_STREQ(getPeer(s, peer, sizeof peer), "::1");
        int c = accept(l, nullptr, nullptr);
        EXPECT_GE(c, 0);
        close(c);
        Disconnect(s);
    }
    close(l);
    sockaddr_in6 zoned{};
    EXPECT_TRUE(resolveIPv6("[fe80::1%lo]", zoned));
    EXPECT_NE(zoned.sin6_scope_id, 0u);
}

// Hosts that are no IPv6 address: the host message, as for any unknown host.
TEST(Connect, BadIPv6HostsGiveHostMessage)
{
    for (char const* host : {"[::1", "::1]", "[]", "[localhost]", "fe80::1%nosuchif0", ":::"}) {
        SCOPED_TRACE(host);
        std::string text = thrownText([&] { Connect(host, "5", nullptr, nullptr, 1); });
        EXPECT_NE(text.find("XRBE-012"), std::string::npos) << text;
        EXPECT_NE(text.find(std::string("name, ") + host + ","), std::string::npos) << text;
    }
    sockaddr_in6 out{};
    EXPECT_TRUE(resolveIPv6("[::1]", out));
    EXPECT_TRUE(IN6_IS_ADDR_LOOPBACK(&out.sin6_addr));
    EXPECT_FALSE(resolveIPv6("127.0.0.1", out));
    EXPECT_FALSE(resolveIPv6("", out));
}

TEST(Disconnect, NegativeDescriptor)
{
    EXPECT_EQ(Disconnect(-1), 0);
}

} // namespace
