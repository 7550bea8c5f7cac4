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

#include "folders.h"
#include "normal.h"
#include "options.h"
#include "scripted.h"

namespace {

// Every refusal at start-up ends with this status.
constexpr int REFUSED = 2;

int refuse(std::string const& why)
{
    std::fprintf(stderr, "xrbblds: %s\n", why.c_str());
    return REFUSED;
}

// An address with a colon is IPv6 ("::1"), anything else dotted IPv4.
int listenOn(std::string const& address, int port, std::string& why)
{
    bool v6 = address.find(':') != std::string::npos;
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
    if (ok != 1) {
        why = v6 ? "not an IPv6 address" : "not an IPv4 address";
        return -1;
    }
    int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        why = std::strerror(errno);
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // Accepted connections inherit it.  Without it Nagle holds back the body
    // that follows each packet header, and the tail of each chunk, until the
    // client's delayed acknowledgement: some 40 ms per packet.
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&ss), len) != 0 || ::listen(fd, 64) != 0) {
        why = std::strerror(errno);
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
std::string writePortFile(std::string const& path, int port)
{
    std::string tmp = path + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "w");
    if (f == nullptr)
        return std::strerror(errno);
    std::fprintf(f, "%d\n", port);
    if (std::fclose(f) != 0 || std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::string why = std::strerror(errno);
        std::remove(tmp.c_str());
        return why;
    }
    return std::string();
}

} // namespace

int main(int argc, char** argv)
{
    // A client that goes away while it is sent something must not end us.
    std::signal(SIGPIPE, SIG_IGN);
    Options options;
    if (argc < 2) {
        std::fputs(usageText().c_str(), stderr);
        return REFUSED;
    }
    std::string why = parseOptions(argc, argv, options);
    if (!why.empty()) {
        std::fprintf(stderr, "xrbblds: %s\n%s", why.c_str(), usageText().c_str());
        return REFUSED;
    }
    if (options.help) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    bool normal = options.script.empty();
    if (normal) {
        if (options.authOnCommandLine)
            std::fprintf(stderr, "xrbblds: warning: --auth shows the password to every user of "
                                 "this machine (ps); use --auth-file\n");
        why = prepareNormalMode(options);
        if (!why.empty())
            return refuse(why);
    }
    int fd = listenOn(options.bind, options.port, why);
    if (fd < 0) {
        if (normal)
            removeTree(options.config.runDir);
        return refuse("cannot listen on " + options.bind + " port " + std::to_string(options.port) + ": " + why);
    }
    int actual = boundPort(fd);
    if (!options.portFile.empty()) {
        why = writePortFile(options.portFile, actual);
        if (!why.empty()) {
            if (normal)
                removeTree(options.config.runDir);
            return refuse("cannot write the port file " + options.portFile + ": " + why);
        }
    }
    std::printf("port %d\n", actual);
    std::fflush(stdout);
    int status = normal ? runNormal(fd, options.config, options.bind, actual)
                        : runScripted(fd, options.script, options.record, options.deadline);
    ::close(fd);
    return status;
}
