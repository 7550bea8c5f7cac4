#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "secmgr_fixture.h"
#include "security/sockowner.h"

namespace {

std::string const HEAD4 =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";
std::string const HEAD6 =
    "  sl  local_address                         remote_address                        st tx_queue rx_queue "
    "tr tm->when retrnsmt   uid  timeout inode\n";

// The hex form the kernel prints for an IPv4 address on this host.
std::string hex4(char const* dotted)
{
    in_addr a;
    inet_pton(AF_INET, dotted, &a);
    uint32_t word;
    std::memcpy(&word, &a, 4);
    char out[9];
    std::snprintf(out, sizeof out, "%08X", word);
    return out;
}

std::string hex6(char const* text)
{
    in6_addr a;
    inet_pton(AF_INET6, text, &a);
    std::string out;
    for (int i = 0; i < 4; ++i) {
        uint32_t word;
        std::memcpy(&word, reinterpret_cast<unsigned char*>(&a) + 4 * i, 4);
        char w[9];
        std::snprintf(w, sizeof w, "%08X", word);
        out += w;
    }
    return out;
}

std::string line(std::string const& local, unsigned lport, std::string const& remote, unsigned rport, char const* state,
                 unsigned uid)
{
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "   3: %s:%04X %s:%04X %s 00000000:00000000 00:00000000 00000000 %5u        0 4242 1 "
                  "0000000000000000 100 0 0 10 0\n",
                  local.c_str(), lport, remote.c_str(), rport, state, uid);
    return buf;
}

SocketEnd end4(char const* dotted, unsigned port)
{
    SocketEnd e{};
    e.address[10] = e.address[11] = 0xff;
    inet_pton(AF_INET, dotted, e.address + 12);
    e.port = port;
    return e;
}

unsigned const ME = 1000, OTHER = 1001, MANAGER_PORT = 22825, CLIENT_PORT = 40000;
SocketEnd const SERVER = end4("127.0.0.1", MANAGER_PORT);
SocketEnd const CLIENT = end4("127.0.0.1", CLIENT_PORT);

bool judge(std::string const& tables)
{
    return tablesShowOwnServer(tables, SERVER, CLIENT, ME);
}

} // namespace

TEST(SocketOwner, OwnListenerOnTheManagerPort)
{
    std::string lo = hex4("127.0.0.1"), any = hex4("0.0.0.0");
    // IPv4 listener, with our connection's server end listed too.
    EXPECT_TRUE(judge(HEAD4 + line(lo, MANAGER_PORT, any, 0, "0A", ME) +
                      line(lo, MANAGER_PORT, lo, CLIENT_PORT, "01", ME) +
                      line(lo, CLIENT_PORT, lo, MANAGER_PORT, "01", ME) + HEAD6));
    // A Java listener on a dual-stack socket shows as an IPv4-mapped address.
    EXPECT_TRUE(judge(HEAD4 + HEAD6 + line(hex6("::ffff:127.0.0.1"), MANAGER_PORT, hex6("::"), 0, "0A", ME)));
    // Other users' sockets elsewhere do not matter.
    EXPECT_TRUE(judge(
        HEAD4 + line(lo, MANAGER_PORT, any, 0, "0A", ME) + line(lo, MANAGER_PORT + 1, any, 0, "0A", OTHER) +
        line(hex4("10.1.2.3"), MANAGER_PORT, any, 0, "0A", OTHER) + line(lo, 5555, lo, MANAGER_PORT, "01", OTHER)));
}

TEST(SocketOwner, AnotherUsersListenerIsNoManager)
{
    std::string lo = hex4("127.0.0.1"), any = hex4("0.0.0.0");
    EXPECT_FALSE(judge(HEAD4 + line(lo, MANAGER_PORT, any, 0, "0A", OTHER)));
    // A wildcard listener of another user could take our connection, in
    // either table, whichever order the lines come in.
    EXPECT_FALSE(
        judge(HEAD4 + line(lo, MANAGER_PORT, any, 0, "0A", ME) + line(any, MANAGER_PORT, any, 0, "0A", OTHER)));
    EXPECT_FALSE(judge(HEAD4 + line(lo, MANAGER_PORT, any, 0, "0A", ME) + HEAD6 +
                       line(hex6("::"), MANAGER_PORT, hex6("::"), 0, "0A", OTHER)));
    EXPECT_FALSE(
        judge(HEAD4 + line(any, MANAGER_PORT, any, 0, "0A", OTHER) + line(lo, MANAGER_PORT, any, 0, "0A", ME)));
    // The server end of our own connection belongs to another user's
    // listener, though ours is listed too.
    EXPECT_FALSE(
        judge(HEAD4 + line(lo, MANAGER_PORT, any, 0, "0A", ME) + line(lo, MANAGER_PORT, lo, CLIENT_PORT, "01", OTHER)));
}

TEST(SocketOwner, NothingListeningOrUnreadableTables)
{
    std::string lo = hex4("127.0.0.1"), any = hex4("0.0.0.0");
    EXPECT_FALSE(judge(""));
    EXPECT_FALSE(judge(HEAD4 + HEAD6));
    // Our connection alone, without a listener: not a manager.
    EXPECT_FALSE(judge(HEAD4 + line(lo, MANAGER_PORT, lo, CLIENT_PORT, "01", ME)));
    // Damaged lines are skipped, never taken for a listener.
    EXPECT_FALSE(judge("   3: 0100007F:592A 00000000:0000 0A\n"
                       "   4: 0100007F:592Z 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000\n"
                       "   5: 100007F:592A 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000\n"
                       "garbage\n\n"));
}

// The live tables: a socket connected to our own listener, IPv4 and
// dual-stack IPv6, is ours.
TEST(SocketOwner, LiveConnectionToOurOwnListener)
{
    for (int family : {AF_INET, AF_INET6}) {
        int l = socket(family, SOCK_STREAM, 0);
        ASSERT_GE(l, 0);
        int port = 0;
        if (family == AF_INET) {
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            ASSERT_EQ(bind(l, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        } else {
            int off = 0;
            setsockopt(l, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
            sockaddr_in6 a{};
            a.sin6_family = AF_INET6;
            inet_pton(AF_INET6, "::ffff:127.0.0.1", &a.sin6_addr);
            if (bind(l, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
                close(l);
                continue; // no IPv6 on this machine
            }
        }
        ASSERT_EQ(listen(l, 4), 0);
        sockaddr_storage bound;
        socklen_t len = sizeof bound;
        getsockname(l, reinterpret_cast<sockaddr*>(&bound), &len);
        port = family == AF_INET ? ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port)
                                 : ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);

        int c = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(static_cast<uint16_t>(port));
        ASSERT_EQ(connect(c, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
        EXPECT_TRUE(serverIsOwnUser(c)) << "family " << family;
        close(c);
        close(l);
    }
    // Not connected: no server to judge.
    int lone = socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_FALSE(serverIsOwnUser(lone));
    close(lone);
}
