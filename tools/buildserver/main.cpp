// xrbblds: a local build server on a loopback port, for one machine's
// builds (normal mode) or for tests (scripted mode).
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include "normal.h"
#include "scripted.h"

namespace {

void usage()
{
    std::fprintf(stderr,
        "usage: xrbblds [--bind ADDR] [--port N] [--port-file FILE]\n"
        "               (--scripts DIR [--work DIR] [--auth USER:PASSWORD] [--keep] [--max N]\n"
        "               | --script FILE [--record FILE] [--deadline SECONDS])\n"
        "  --port 0 (the default) binds a free port; the port is written to\n"
        "  --port-file and printed on standard output as \"port N\".\n");
}

// An address with a colon is IPv6 ("::1"), anything else dotted IPv4.
int listenOn(std::string const& address, int port)
{
    bool v6 = address.find(':') != std::string::npos;
    int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // Accepted connections inherit it.  Without it Nagle holds back the body
    // that follows each packet header, and the tail of each chunk, until the
    // client's delayed acknowledgement: some 40 ms per packet.
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_storage ss{};
    socklen_t len;
    int ok;
    if (v6) {
        auto* sa = reinterpret_cast<sockaddr_in6*>(&ss);
        sa->sin6_family = AF_INET6;
        sa->sin6_port = htons(static_cast<uint16_t>(port));
        ok = ::inet_pton(AF_INET6, address.c_str(), &sa->sin6_addr);
        len = sizeof *sa;
    } else {
        auto* sa = reinterpret_cast<sockaddr_in*>(&ss);
        sa->sin_family = AF_INET;
        sa->sin_port = htons(static_cast<uint16_t>(port));
        ok = ::inet_pton(AF_INET, address.c_str(), &sa->sin_addr);
        len = sizeof *sa;
    }
    if (ok != 1 || ::bind(fd, reinterpret_cast<sockaddr*>(&ss), len) != 0 || ::listen(fd, 16) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int boundPort(int fd)
{
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len);
    if (ss.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
}

// Written whole under a temporary name, so a reader never sees half a number.
bool writePortFile(std::string const& path, int port)
{
    std::string tmp = path + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "w");
    if (f == nullptr)
        return false;
    std::fprintf(f, "%d\n", port);
    std::fclose(f);
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    std::string bind = "127.0.0.1", portFile, script, record;
    int port = 0, deadline = 60;
    ServerConfig config;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                usage();
                std::exit(3);
            }
            out = argv[++i];
        };
        std::string v;
        if (a == "--bind") value(bind);
        else if (a == "--port") { value(v); port = std::atoi(v.c_str()); }
        else if (a == "--port-file") value(portFile);
        else if (a == "--script") value(script);
        else if (a == "--record") value(record);
        else if (a == "--deadline") { value(v); deadline = std::atoi(v.c_str()); }
        else if (a == "--scripts") value(config.scriptsDir);
        else if (a == "--work") value(config.workRoot);
        else if (a == "--keep") config.keepWork = true;
        else if (a == "--max") { value(v); config.maxConnections = std::atoi(v.c_str()); }
        else if (a == "--auth") {
            value(v);
            std::string::size_type colon = v.find(':');
            if (colon == std::string::npos) {
                usage();
                return 3;
            }
            config.user = v.substr(0, colon);
            config.password = v.substr(colon + 1);
        } else {
            usage();
            return 3;
        }
    }
    if (script.empty() == config.scriptsDir.empty()) {
        usage();
        return 3;
    }
    // Builds run in folders of their own: relative folders would no longer
    // name the same place there.
    for (std::string* dir : {&config.scriptsDir, &config.workRoot}) {
        if (dir->empty())
            continue;
        if (char* full = ::realpath(dir->c_str(), nullptr)) {
            *dir = full;
            std::free(full);
        }
    }
    int fd = listenOn(bind, port);
    if (fd < 0) {
        std::fprintf(stderr, "xrbblds: cannot listen on %s port %d: %s\n", bind.c_str(), port,
                     std::strerror(errno));
        return 3;
    }
    int actual = boundPort(fd);
    if (!portFile.empty() && !writePortFile(portFile, actual)) {
        std::fprintf(stderr, "xrbblds: cannot write %s\n", portFile.c_str());
        return 3;
    }
    std::printf("port %d\n", actual);
    std::fflush(stdout);
    int status = script.empty() ? runNormal(fd, config) : runScripted(fd, script, record, deadline);
    ::close(fd);
    return status;
}
