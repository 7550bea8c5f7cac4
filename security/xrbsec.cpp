// Client of the local security manager: find it on the loopback host, start
// it when it does not answer, send one request and return the reply text.
#include "security/xrbsec.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "base/tcexp.h"
#include "net/tcpfns.h"
#include "trace/fhgtrace.h"

namespace {

const char kDefaultPort[] = "22825";
const char kManagerClass[] = "com.qvx.gadrin.zun.distributedbuild.security.XrbSecManager";

// Reply text of at most 256 bytes, the 8-byte end marker, and the byte that
// the reader keeps for its terminator.
constexpr int kReplyBufferSize = 256 + 8 + 1;
constexpr int kMarkerLength = 8;

// A freshly started Java manager needs a moment before it listens.
constexpr long kStartWaitMs = 10000;
constexpr long kPollMs = 100;
// A manager that accepts but never answers must not hold the client forever.
constexpr int kReplyTimeoutSec = 10;

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

// Starts the manager in the background, detached from our terminal output so
// that neither a missing java nor the manager itself writes to the user's
// screen or keeps a caller's pipe open.  Returns the manager's process id, or
// 0 when nothing could be started.
pid_t startManager()
{
    TCString command("command -v java >/dev/null 2>&1 || exit 1; java ");
    command += kManagerClass;
    command += " </dev/null >/dev/null 2>&1 & echo $!";
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

int connectStartingManager(TCString const& host, TCString const& port)
{
    int sock = tryConnect(host, port, 1);
    if (sock >= 0)
        return sock;

    pid_t pid = startManager();
    sock = tryConnect(host, port, 2);
    long deadline = nowMs() + kStartWaitMs;
    while (sock < 0 && pid > 0 && stillRunning(pid) && nowMs() < deadline) {
        usleep(kPollMs * 1000);
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
    const char* env = getenv("XRBSEC_PORT");
    return TCString(env != nullptr && *env != 0 ? env : kDefaultPort);
}

TCString securityMgrCall(TCString request)
{
    TCString host("localhost");
    TCString port = securityMgrPort();

    int sock = connectStartingManager(host, port);
    if (sock < 0)
        return TCString("0");

    struct timeval tv;
    tv.tv_sec = kReplyTimeoutSec;
    tv.tv_usec = 0;
    setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    // A manager that drops the connection must not end the client.
    signal(SIGPIPE, SIG_IGN);

    try {
        Send(sock, request, static_cast<int>(strlen(request)));
    } catch (TCException*) {
        Disconnect(sock);
        throw;
    }

    char buffer[kReplyBufferSize];
    memset(buffer, 0, sizeof buffer);
    int count = 0;
    int rc;
    try {
        rc = RecvAll(sock, buffer, &count, kReplyBufferSize);
    } catch (TCException* e) {
        delete e;
        rc = -1;
    }
    Disconnect(sock);
    if (rc != 0 || count < kMarkerLength || count > kReplyBufferSize)
        return TCString("0");

    buffer[count - kMarkerLength] = 0;
    TCString reply(buffer);
    traceReply(reply);
    return reply;
}
