// Client of the local security manager: find it on the loopback host, start
// it when it does not answer, make sure it is our own user's, send one
// request and return the reply text.
#include "security/xrbsec.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "base/tcexp.h"
#include "net/tcpfns.h"
#include "security/sockowner.h"
#include "trace/fhgtrace.h"

// Where the manager's jar lies, set by the build: beside a client in the
// build folder, relative to an installed client, and where it is installed.
#ifndef XRB_SECMGR_JAR_BUILD
#define XRB_SECMGR_JAR_BUILD "secmgr/xrbsecmgr.jar"
#endif
#ifndef XRB_SECMGR_JAR_RELATIVE
#define XRB_SECMGR_JAR_RELATIVE "../share/java/xrbsecmgr.jar"
#endif
#ifndef XRB_SECMGR_JAR_INSTALLED
#define XRB_SECMGR_JAR_INSTALLED "/usr/local/share/java/xrbsecmgr.jar"
#endif

namespace {

char const DEFAULT_PORT[] = "22825";
char const MANAGER_CLASS[] = "com.qvx.gadrin.zun.distributedbuild.security.XrbSecManager";

// Reply text of at most 256 bytes, the 8-byte end marker, and the byte that
// the reader keeps for its terminator.
constexpr int REPLY_BUFFER_SIZE = 256 + 8 + 1;
constexpr int MARKER_LENGTH = 8;
char const MARKER[MARKER_LENGTH] = {'X', 'R', 'B', '#', 'E', 'N', 'D', '\0'};

// A freshly started Java manager needs a moment before it listens.
constexpr long START_WAIT_MS = 10000;
constexpr long POLL_MS = 100;
// A manager that accepts but never answers, or trickles its reply, must not
// hold the client: one deadline for the whole reply.
constexpr long REPLY_DEADLINE_MS = 10000;

long nowMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int tryConnect(TCString const& host, TCString const& port, int attempts)
{
    try {
        return Connect(host, port, nullptr, nullptr, attempts);
    } catch (TCException* e) {
        delete e;
        return -1;
    }
}

// The shell must take a path as one word, whatever it holds.
std::string shellQuoted(std::string const& text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Owned by us or by root and writable by nobody else; a folder others may
// write to counts only when it is sticky, so nobody can swap our entries.
bool trustedNode(struct stat const& st, bool folder)
{
    if (st.st_uid != 0 && st.st_uid != geteuid())
        return false;
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) == 0)
        return true;
    return folder && (st.st_mode & S_ISVTX) != 0;
}

// The jar's path without links, when only we or root could have put it
// there, all the way up; empty otherwise.  Java is given this path, so that
// no link swapped after the check can lead it elsewhere.
std::string trustedJar(std::string const& path)
{
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr)
        return std::string();
    struct stat st;
    if (stat(resolved, &st) != 0 || !S_ISREG(st.st_mode) || !trustedNode(st, false))
        return std::string();
    std::string folder = resolved;
    for (;;) {
        std::string::size_type slash = folder.rfind('/');
        if (slash == std::string::npos)
            return std::string();
        folder = slash == 0 ? "/" : folder.substr(0, slash);
        if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || !trustedNode(st, true))
            return std::string();
        if (folder == "/")
            return resolved;
    }
}

// The manager's jar for a start without CLASSPATH; empty when none is found
// that we can trust.
std::string managerJar()
{
    std::string candidates[3];
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        std::string dir(exe, static_cast<size_t>(n));
        dir = dir.substr(0, dir.rfind('/') + 1);
        candidates[0] = dir + XRB_SECMGR_JAR_BUILD;
        candidates[1] = dir + XRB_SECMGR_JAR_RELATIVE;
    }
    candidates[2] = XRB_SECMGR_JAR_INSTALLED;
    for (std::string const& c : candidates) {
        std::string jar = c.empty() ? c : trustedJar(c);
        if (!jar.empty())
            return jar;
    }
    return std::string();
}

// Starts the manager in the background, detached from our terminal output so
// that neither a missing java nor the manager itself writes to the user's
// screen or keeps a caller's pipe open.  Returns the manager's process id, or
// 0 when nothing could be started.
pid_t startManager()
{
    TCString command = securityMgrStartCommand();
    if (command.length() == 0) {
        XRB_TRACE_AT("xrbsec", "no security manager jar found and CLASSPATH unset");
        return 0;
    }
    XRB_TRACE_AT("xrbsec", "invoking: %s", command.getdata());

    fflush(nullptr);
    FILE* shell = popen(command, "r");
    if (shell == nullptr)
        return 0;
    char line[32] = {0};
    if (fgets(line, sizeof line, shell) == nullptr)
        line[0] = 0;
    pclose(shell);
    char* end = nullptr;
    long pid = strtol(line, &end, 10);
    return pid > 0 ? static_cast<pid_t>(pid) : 0;
}

// The started manager is reparented when the shell ends; a dead one may
// linger as a zombie, which kill() alone does not tell apart.
bool stillRunning(pid_t pid)
{
    if (kill(pid, 0) != 0 && errno != EPERM)
        return false;
    char path[64];
    snprintf(path, sizeof path, "/proc/%ld/stat", static_cast<long>(pid));
    FILE* f = fopen(path, "r");
    if (f == nullptr)
        return true;
    char state = 0;
    // The command name in parentheses may hold blanks; the state follows it.
    int c, last = 0;
    while ((c = fgetc(f)) != EOF)
        if (c == ')')
            last = 1;
        else if (last && c != ' ') {
            state = static_cast<char>(c);
            break;
        }
    fclose(f);
    return state != 'Z' && state != 'X';
}

// Reads the reply up to its end marker into buffer (size bytes, one kept for
// the terminator) within one deadline for the whole reply.  Returns the
// length of the reply text, or -1.
int recvReply(int sock, char* buffer, int size)
{
    long deadline = nowMs() + REPLY_DEADLINE_MS;
    int got = 0;
    while (got < size - 1) {
        long left = deadline - nowMs();
        if (left <= 0)
            return -1;
        pollfd p = {sock, POLLIN, 0};
        int ready = poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return -1;
        ssize_t n = recv(sock, buffer + got, static_cast<size_t>(size - 1 - got), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return -1;
        got += static_cast<int>(n);
        buffer[got] = 0;
        void const* marker = memmem(buffer, static_cast<size_t>(got), MARKER, MARKER_LENGTH);
        if (marker != nullptr)
            return static_cast<int>(static_cast<char const*>(marker) - buffer);
    }
    return -1;
}

int connectStartingManager(TCString const& host, TCString const& port)
{
    int sock = tryConnect(host, port, 1);
    if (sock >= 0)
        return sock;

    pid_t pid = startManager();
    sock = tryConnect(host, port, 2);
    long deadline = nowMs() + START_WAIT_MS;
    while (sock < 0 && pid > 0 && stillRunning(pid) && nowMs() < deadline) {
        usleep(POLL_MS * 1000);
        sock = tryConnect(host, port, 2);
    }
    return sock;
}

// The reply is traced with everything after its first word hidden, since a
// stored password travels there.
void traceReply(TCString const& reply)
{
    if (!TRACEFLAG)
        return;
    TCString shown = reply.word(1);
    if (reply.numWords() > 1)
        shown += " ********";
    XRB_TRACE_AT("xrbsec", "received response from sec mgr: '%s'", shown.getdata());
}

} // namespace

TCString securityMgrPort()
{
    char const* env = getenv("XRBSEC_PORT");
    return TCString(env != nullptr && *env != 0 ? env : DEFAULT_PORT);
}

TCString securityMgrStartCommand()
{
    // From the root folder, so that neither java's default class path nor a
    // relative PATH entry reaches into the working folder.
    TCString command("cd / || exit 1; command -v java >/dev/null 2>&1 || exit 1; java ");
    char const* classPath = getenv("CLASSPATH");
    if (classPath == nullptr || *classPath == 0) {
        std::string jar = managerJar();
        if (jar.empty())
            return TCString();
        command += ("-cp " + shellQuoted(jar) + " ").c_str();
    }
    command += MANAGER_CLASS;
    command += " </dev/null >/dev/null 2>&1 & echo $!";
    return command;
}

TCString securityMgrCall(TCString request, bool* answered)
{
    if (answered != nullptr)
        *answered = false;
    TCString host("localhost");
    TCString port = securityMgrPort();

    int sock = connectStartingManager(host, port);
    if (sock < 0)
        return TCString("0");

    // Whatever listens there must be ours before it hears anything.
    if (!serverIsOwnUser(sock)) {
        XRB_TRACE_AT("xrbsec", "port %s is not held by a manager of this user", port.getdata());
        Disconnect(sock);
        return TCString("0");
    }

    // A manager that drops the connection must not end the client.
    signal(SIGPIPE, SIG_IGN);

    try {
        Send(sock, request, static_cast<int>(strlen(request)));
    } catch (TCException*) {
        Disconnect(sock);
        throw;
    }

    char buffer[REPLY_BUFFER_SIZE];
    memset(buffer, 0, sizeof buffer);
    int length = recvReply(sock, buffer, REPLY_BUFFER_SIZE);
    Disconnect(sock);
    if (length < 0)
        return TCString("0");

    buffer[length] = 0;
    TCString reply(buffer);
    traceReply(reply);
    if (answered != nullptr)
        *answered = true;
    return reply;
}
