#include "options.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "folders.h"

namespace {

std::string reason(int err)
{
    return std::strerror(err);
}

int processors()
{
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 && n < 4096 ? static_cast<int>(n) : 1;
}

// A whole decimal number within [low, high].
bool toNumber(std::string const& text, int low, int high, int& out)
{
    if (text.empty() || text[0] < '0' || text[0] > '9')
        return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high)
        return false;
    out = static_cast<int>(v);
    return true;
}

std::string absolute(std::string const& path)
{
    if (char* full = ::realpath(path.c_str(), nullptr)) {
        std::string r = full;
        std::free(full);
        return r;
    }
    return path;
}

std::string checkScripts(std::string const& dir)
{
    struct stat st;
    if (::stat(dir.c_str(), &st) != 0)
        return "the scripts folder " + dir + ": " + reason(errno);
    if (!S_ISDIR(st.st_mode))
        return "the scripts folder " + dir + ": " + reason(ENOTDIR);
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr)
        return "the scripts folder " + dir + ": " + reason(errno);
    ::closedir(d);
    if (::access(dir.c_str(), X_OK) != 0)
        return "the scripts folder " + dir + ": " + reason(errno);
    return std::string();
}

std::string prepareWork(ServerConfig& config)
{
    std::string& dir = config.workRoot;
    struct stat st;
    if (::stat(dir.c_str(), &st) != 0) {
        if (errno != ENOENT)
            return "the work folder " + dir + ": " + reason(errno);
        // Private to the server's user: builds hold other people's sources.
        std::string why = makeFolders(dir, 0700);
        if (!why.empty())
            return "cannot create the work folder " + dir + ": " + why;
    } else if (!S_ISDIR(st.st_mode)) {
        return "the work folder " + dir + ": " + reason(ENOTDIR);
    }
    dir = absolute(dir);
    // A folder of its own, under a name nobody can guess, so that two
    // servers can share a work folder and nobody can plant a build folder.
    std::string templ = dir + "/xrbblds.XXXXXX";
    std::vector<char> name(templ.begin(), templ.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr)
        return "cannot make a folder in the work folder " + dir + ": " + reason(errno);
    config.runDir = name.data();
    return std::string();
}

} // namespace

std::string usageText()
{
    return "usage: xrbblds [--bind ADDR] [--port N] [--port-file FILE] --scripts DIR [--work DIR]\n"
           "               [--jobs N] [--idle-timeout SECONDS] [--auth-file FILE] [--keep] [--max N]\n"
           "       xrbblds [--bind ADDR] [--port N] [--port-file FILE] --script FILE\n"
           "               [--record FILE] [--deadline SECONDS]\n"
           "       xrbblds --help\n"
           "\n"
           "A build server for xrbbldc on one machine.  Each build runs the executable\n"
           "that the client's -b names in the scripts folder, in a fresh folder.\n"
           "\n"
           "  --bind ADDR           IPv4 address to listen on (default 127.0.0.1)\n"
           "  --port N              TCP port; 0, the default, takes a free one\n"
           "  --port-file FILE      write the port there once the server listens; it is\n"
           "                        also printed on standard output as \"port N\"\n"
           "  --scripts DIR         the folder of build scripts\n"
           "  --work DIR            where build folders are made, created when missing\n"
           "                        (default $TMPDIR, else /tmp)\n"
           "  --jobs N              at most N builds at once; a client beyond them is told\n"
           "                        the server is busy and retries (default: the number\n"
           "                        of processors, " +
           std::to_string(processors()) +
           " here)\n"
           "  --idle-timeout S      drop a client that sends nothing for S seconds\n"
           "                        (default 30; 0: never)\n"
           "  --auth-file FILE      ask for credentials; FILE holds user:password lines and\n"
           "                        must not be open to other users (chmod 600)\n"
           "  --auth USER:PASSWORD  the same on the command line (deprecated: others see it)\n"
           "  --keep                keep the build folders for inspection\n"
           "  --max N               stop after serving N connections\n"
           "  --script FILE         scripted mode, for tests: play FILE (--record: what\n"
           "                        the client sent; --deadline: seconds for it all)\n"
           "\n"
           "The build script contract and examples: man xrbblds.\n";
}

std::string parseOptions(int argc, char** argv, Options& out)
{
    out.config.jobs = processors();
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            out.help = true;
            continue;
        }
        if (a == "--keep") {
            out.config.keepWork = true;
            continue;
        }
        if (i + 1 >= argc) {
            bool known = a == "--bind" || a == "--port" || a == "--port-file" || a == "--script" || a == "--record" ||
                         a == "--deadline" || a == "--scripts" || a == "--work" || a == "--jobs" ||
                         a == "--idle-timeout" || a == "--auth-file" || a == "--auth" || a == "--max";
            return known ? a + " needs a value" : "unknown option " + a;
        }
        std::string v = argv[++i];
        auto number = [&](int low, int high, int& target) {
            return toNumber(v, low, high, target) ? std::string()
                                                  : a + " needs a whole number from " + std::to_string(low) + " to " +
                                                        std::to_string(high) + ", not '" + v + "'";
        };
        std::string bad;
        if (a == "--bind")
            out.bind = v;
        else if (a == "--port")
            bad = number(0, 65535, out.port);
        else if (a == "--port-file")
            out.portFile = v;
        else if (a == "--script")
            out.script = v;
        else if (a == "--record")
            out.record = v;
        else if (a == "--deadline")
            bad = number(1, 86400, out.deadline);
        else if (a == "--scripts")
            out.config.scriptsDir = v;
        else if (a == "--work")
            out.config.workRoot = v;
        else if (a == "--jobs")
            bad = number(1, 1024, out.config.jobs);
        else if (a == "--idle-timeout")
            bad = number(0, 86400, out.config.idleTimeout);
        else if (a == "--max")
            bad = number(0, INT_MAX, out.config.maxConnections);
        else if (a == "--auth-file")
            out.authFile = v;
        else if (a == "--auth") {
            std::string::size_type colon = v.find(':');
            if (colon == std::string::npos || colon == 0)
                return "--auth needs USER:PASSWORD";
            out.config.users.push_back({v.substr(0, colon), v.substr(colon + 1)});
            out.authOnCommandLine = true;
        } else {
            return "unknown option " + a;
        }
        if (!bad.empty())
            return bad;
    }
    if (out.help)
        return std::string();
    if (out.script.empty() == out.config.scriptsDir.empty())
        return "give either --scripts DIR (a build server) or --script FILE (scripted mode)";
    return std::string();
}

std::string loadCredentials(std::string const& path, std::vector<Credential>& out)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return "the credentials file " + path + ": " + reason(errno);
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        int e = errno;
        ::close(fd);
        return "the credentials file " + path + ": " + reason(e);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return "the credentials file " + path + " is not a regular file";
    }
    if ((st.st_mode & 077) != 0) {
        ::close(fd);
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        return "the credentials file " + path + " is open to other users (mode " + mode +
               "); make it private: chmod 600 " + path;
    }
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) != 0) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || text.size() > (1u << 20)) {
            int e = n < 0 ? errno : EFBIG;
            ::close(fd);
            return "the credentials file " + path + ": " + reason(e);
        }
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    int number = 0;
    std::string::size_type start = 0;
    while (start < text.size()) {
        std::string::size_type end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        std::string::size_type colon = line.find(':');
        if (colon == std::string::npos || colon == 0)
            return "the credentials file " + path + ", line " + std::to_string(number) + ": expected user:password";
        out.push_back({line.substr(0, colon), line.substr(colon + 1)});
    }
    if (out.empty())
        return "the credentials file " + path + " holds no user:password line";
    return std::string();
}

std::string prepareNormalMode(Options& options)
{
    ServerConfig& config = options.config;
    std::string why = checkScripts(config.scriptsDir);
    if (!why.empty())
        return why;
    config.scriptsDir = absolute(config.scriptsDir);
    if (!options.authFile.empty()) {
        why = loadCredentials(options.authFile, config.users);
        if (!why.empty())
            return why;
    }
    if (config.workRoot.empty()) {
        char const* tmp = std::getenv("TMPDIR");
        config.workRoot = tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp";
    }
    return prepareWork(config);
}
