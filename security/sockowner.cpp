#include "security/sockowner.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

char const* const TABLES[] = {"/proc/net/tcp", "/proc/net/tcp6"};
char const LISTEN[] = "0A";

struct Entry {
    SocketEnd local;
    SocketEnd remote;
    std::string state;
    unsigned long uid;
};

// "HEX:PORT" as the kernel prints it: the address as 32-bit words of the
// host's byte order, so copying each word back into memory gives the bytes.
bool parseEnd(std::string const& field, SocketEnd& end)
{
    std::string::size_type colon = field.find(':');
    if (colon != 8 && colon != 32)
        return false;
    unsigned char bytes[16];
    for (std::string::size_type i = 0; i < colon; i += 8) {
        char* stop = nullptr;
        std::string word = field.substr(i, 8);
        uint32_t value = static_cast<uint32_t>(std::strtoul(word.c_str(), &stop, 16));
        if (stop == nullptr || *stop != '\0')
            return false;
        std::memcpy(bytes + i / 2, &value, 4);
    }
    std::memset(end.address, 0, sizeof end.address);
    if (colon == 8) {
        end.address[10] = end.address[11] = 0xff;
        std::memcpy(end.address + 12, bytes, 4);
    } else {
        std::memcpy(end.address, bytes, 16);
    }
    char* stop = nullptr;
    std::string port = field.substr(colon + 1);
    end.port = static_cast<unsigned>(std::strtoul(port.c_str(), &stop, 16));
    return !port.empty() && *stop == '\0';
}

// Fields: slot, local end, remote end, state, queues, timer, retransmits, uid.
bool parseLine(std::string const& line, Entry& e)
{
    std::string f[8];
    std::string::size_type pos = 0;
    for (std::string& field : f) {
        pos = line.find_first_not_of(" \t", pos);
        if (pos == std::string::npos)
            return false;
        std::string::size_type stop = line.find_first_of(" \t", pos);
        field = line.substr(pos, stop - pos);
        pos = stop;
    }
    if (f[0].empty() || f[0].back() != ':')
        return false;
    char* stop = nullptr;
    e.uid = std::strtoul(f[7].c_str(), &stop, 10);
    e.state = f[3];
    return *stop == '\0' && parseEnd(f[1], e.local) && parseEnd(f[2], e.remote);
}

bool sameEnd(SocketEnd const& a, SocketEnd const& b)
{
    return a.port == b.port && std::memcmp(a.address, b.address, 16) == 0;
}

// A listener on any address (IPv4 or IPv6) takes loopback connections too.
bool isWildcard(unsigned char const* address)
{
    static unsigned char const any6[16] = {0};
    static unsigned char const any4[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 0, 0, 0, 0};
    return std::memcmp(address, any6, 16) == 0 || std::memcmp(address, any4, 16) == 0;
}

bool endOf(int sock, bool peer, SocketEnd& end)
{
    sockaddr_storage sa;
    socklen_t len = sizeof sa;
    int rc = peer ? getpeername(sock, reinterpret_cast<sockaddr*>(&sa), &len)
                  : getsockname(sock, reinterpret_cast<sockaddr*>(&sa), &len);
    if (rc != 0)
        return false;
    std::memset(end.address, 0, sizeof end.address);
    if (sa.ss_family == AF_INET) {
        sockaddr_in const* in = reinterpret_cast<sockaddr_in const*>(&sa);
        end.address[10] = end.address[11] = 0xff;
        std::memcpy(end.address + 12, &in->sin_addr, 4);
        end.port = ntohs(in->sin_port);
        return true;
    }
    if (sa.ss_family == AF_INET6) {
        sockaddr_in6 const* in6 = reinterpret_cast<sockaddr_in6 const*>(&sa);
        std::memcpy(end.address, &in6->sin6_addr, 16);
        end.port = ntohs(in6->sin6_port);
        return true;
    }
    return false;
}

bool appendFile(char const* path, std::string& out)
{
    FILE* f = std::fopen(path, "r");
    if (f == nullptr)
        return false;
    char buf[8192];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    std::fclose(f);
    return true;
}

} // namespace

bool tablesShowOwnServer(std::string const& tables, SocketEnd const& server, SocketEnd const& client, unsigned long uid)
{
    bool ownListener = false;
    std::string::size_type pos = 0;
    while (pos < tables.size()) {
        std::string::size_type eol = tables.find('\n', pos);
        if (eol == std::string::npos)
            eol = tables.size();
        Entry e;
        if (parseLine(tables.substr(pos, eol - pos), e)) {
            bool listener = e.state == LISTEN && e.local.port == server.port &&
                            (std::memcmp(e.local.address, server.address, 16) == 0 || isWildcard(e.local.address));
            // The server end of our connection carries its listener's owner.
            bool ours = sameEnd(e.local, server) && sameEnd(e.remote, client);
            if ((listener || ours) && e.uid != uid)
                return false;
            ownListener = ownListener || listener;
        }
        pos = eol + 1;
    }
    return ownListener;
}

bool serverIsOwnUser(int sock)
{
    SocketEnd server, client;
    if (!endOf(sock, true, server) || !endOf(sock, false, client))
        return false;
    std::string tables;
    bool any = false;
    for (char const* t : TABLES)
        any = appendFile(t, tables) || any;
    return any && tablesShowOwnServer(tables, server, client, static_cast<unsigned long>(geteuid()));
}
