#include "trace/fhgtrace.h"

#include "base/plainfile.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "base/NLSGlobal.h"
#include "base/commonC.h"
#include "base/wholeio.h"
#include "msg/msg.h"
#include "net/tcpfns.h"
#include "trace/tracefmt.h"

int TRACEFLAG = 2;
int TRACELINE = 0;
char* TRACEFILENAME = nullptr;

namespace {

constexpr int AREA = 4096;
constexpr int HEADER_LEN = 36;
constexpr int SIZE_FIELD = 17;
constexpr int FLAG_FIELD = 34;
constexpr char HEADER[] = "XRB TRACE - SIZE 00000000 REWOUND=N\n";
// Keeps the 8-digit size field from overflowing: the largest record is far
// below the gap to 99999999.
constexpr int MAX_TRACE_SIZE = 99000000;
constexpr int CONNECT_TIMEOUT_MS = 5000;

char TraceFile[AREA];
bool TraceFileUsable = true;
FILE* TraceLog = nullptr;
int TraceSize = 0;
int TraceMaxSize = 0;
int TraceRewound = 0;
int TraceAttempts = 0;
int TraceWait = 1;
int TraceTimer = 0;
tcTime_t TraceStartTime;
int TracePidTid[2];
char TraceHost[512];
int TraceSocket = -1;
char TraceBuffer1[AREA];
char TraceBuffer2[AREA];
char ProfileArea[AREA];
int TraceSafe = 0;
bool InTrace = false;

// Trace statements inside the helpers the facility calls (msgGet, the time
// services) must not re-enter it.
struct Busy {
    bool entered;
    Busy() : entered(!InTrace) { InTrace = true; }
    ~Busy()
    {
        if (entered)
            InTrace = false;
    }
};

bool isStdStream(FILE* f)
{
    return f == stdout || f == stderr;
}

char* getProfileVar(char const* name, char* area = ProfileArea)
{
    char const* v = std::getenv(name);
    if (v == nullptr || v[0] == '\0' || v[0] == ' ')
        return nullptr;
    std::snprintf(area, AREA, "%s", v);
    return area;
}

bool present(char const* name)
{
    return std::getenv(name) != nullptr;
}

// Reads a number the way "%d" would; anything else keeps the setting.
void readNumber(char const* name, int* setting, int fallback)
{
    *setting = fallback;
    char* v = getProfileVar(name);
    if (v != nullptr) {
        int n;
        if (std::sscanf(v, "%d", &n) == 1)
            *setting = n;
    }
}

char const* extractSimple(char const* name)
{
    if (name == nullptr)
        return "";
    char const* slash = mcstrrchr(name, '/');
    return slash != nullptr ? slash + 1 : name;
}

void queryPidTid()
{
    TracePidTid[0] = static_cast<int>(getpid());
    TracePidTid[1] = 0;
}

// Time stamp and the process part of every line.
int getTime(char* out, size_t cap)
{
    int n = 0;
    if (TraceTimer != 0) {
        tcTime_t now;
        tcTime(&now);
        n += std::snprintf(out + n, cap - n, "%.3f ", tcDifftime(now, TraceStartTime));
    }
    if (TraceTimer != 1) {
        time_t t = std::time(nullptr);
        struct tm tmv;
        localtime_r(&t, &tmv);
        n += static_cast<int>(std::strftime(out + n, cap - n, "%H:%M:%S ", &tmv));
    }
    n += std::snprintf(out + n, cap - n, "(%05d,%03d) ", TracePidTid[0], TracePidTid[1]);
    return n;
}

bool seekTo(long offset)
{
    return std::fseek(TraceLog, offset, SEEK_SET) == 0;
}

bool validHeader(char const* h)
{
    if (std::memcmp(h, HEADER, SIZE_FIELD) != 0 || h[HEADER_LEN - 1] != '\n')
        return false;
    for (int i = SIZE_FIELD; i < SIZE_FIELD + 8; ++i)
        if (!std::isdigit(static_cast<unsigned char>(h[i])))
            return false;
    return std::memcmp(h + 25, HEADER + 25, 9) == 0 && (h[FLAG_FIELD] == 'N' || h[FLAG_FIELD] == 'Y');
}

bool getSize()
{
    char h[HEADER_LEN];
    if (!seekTo(0) || std::fread(h, 1, HEADER_LEN, TraceLog) != HEADER_LEN || !validHeader(h))
        return false;
    int size = 0;
    for (int i = SIZE_FIELD; i < SIZE_FIELD + 8; ++i)
        size = size * 10 + (h[i] - '0');
    if (size < HEADER_LEN)
        return false;
    TraceSize = size;
    TraceRewound = h[FLAG_FIELD] == 'Y';
    return true;
}

void updateSize(size_t added)
{
    TraceSize += static_cast<int>(added);
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08d", TraceSize);
    if (seekTo(SIZE_FIELD))
        std::fwrite(digits, 1, 8, TraceLog);
    std::fflush(TraceLog);
}

void writeHeaderLine()
{
    if (seekTo(0))
        std::fwrite(HEADER, 1, HEADER_LEN, TraceLog);
    std::fflush(TraceLog);
}

void closeTraceFile()
{
    if (TraceLog != nullptr && !isStdStream(TraceLog))
        std::fclose(TraceLog); // also releases the lock
    TraceLog = nullptr;
}

bool lockTraceFile(int fd)
{
    for (int attempt = 0; attempt < TraceAttempts; ++attempt) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        usleep(static_cast<useconds_t>(TraceWait > 0 ? TraceWait : 0) * 1000);
    }
    return false;
}

// The facility's own word for a record it dropped rather than wait longer.
void reportSharingConflict()
{
    static char const text[] = "trace data lost because TC_TRACESAFE is set and a sharing conflict was detected \n";
    int fd = openPlainFile("tcover.err", O_WRONLY | O_APPEND | O_CREAT, 0666);
    if (fd < 0)
        return;
    ssize_t n = ::write(fd, text, sizeof text - 1);
    (void)n;
    ::close(fd);
}

void openTraceFile()
{
    if (std::strcmp(TraceFile, "stdout") == 0) {
        TraceLog = stdout;
        return;
    }
    if (std::strcmp(TraceFile, "stderr") == 0) {
        TraceLog = stderr;
        return;
    }
    if (TraceSocket >= 0 || !TraceFileUsable)
        return;
    // Created without truncation: another process may be creating it too.
    // A link at the name is not followed (the folder may be shared): that
    // refusal is final, so no further attempts.
    int fd = -1;
    for (int attempt = 0; attempt < TraceAttempts && fd < 0; ++attempt) {
        fd = ::open(TraceFile, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
        if (fd < 0 && errno == ELOOP)
            return;
        if (fd < 0)
            usleep(static_cast<useconds_t>(TraceWait > 0 ? TraceWait : 0) * 1000);
    }
    fd = keepPlainFile(fd);
    if (fd < 0)
        return;
    // Records of processes sharing the file are serialised so none is lost.
    // Anybody who can read the file can hold its lock, so the wait has the
    // same bound as the open; past it the record is dropped.
    if (!lockTraceFile(fd)) {
        ::close(fd);
        reportSharingConflict();
        return;
    }
    TraceLog = ::fdopen(fd, "r+");
    if (TraceLog == nullptr) {
        ::close(fd);
        return;
    }
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_size == 0) {
        TraceSize = 0;
        TraceRewound = 0;
        writeHeaderLine();
        updateSize(HEADER_LEN);
    } else if (!getSize()) {
        // Not a trace file: leave its contents alone.
        closeTraceFile();
    }
}

// Blanks from offset up to the next newline so no old line is left cut.
void writeMarker(long offset)
{
    char chunk[512];
    for (;;) {
        if (!seekTo(offset))
            return;
        size_t got = std::fread(chunk, 1, sizeof chunk, TraceLog);
        if (got == 0)
            return;
        size_t n = 0;
        while (n < got && chunk[n] != '\n')
            ++n;
        if (n > 0) {
            std::memset(chunk, ' ', n);
            if (!seekTo(offset))
                return;
            std::fwrite(chunk, 1, n, TraceLog);
        }
        if (n < got)
            break;
        offset += static_cast<long>(got);
    }
    std::fflush(TraceLog);
}

void rewindTrace()
{
    writeHeaderLine();
    getSize();
    TraceSize = 0;
    updateSize(HEADER_LEN);
    if (seekTo(FLAG_FIELD))
        std::fputc('Y', TraceLog);
    std::fflush(TraceLog);
    TraceRewound = 1;
}

size_t writeLine(char const* text)
{
    char line[256];
    int n = getTime(line, sizeof line);
    std::snprintf(line + n, sizeof line - n, "%s", text);
    if (!isStdStream(TraceLog))
        seekTo(TraceSize);
    size_t len = std::strlen(line);
    std::fwrite(line, 1, len, TraceLog);
    std::fflush(TraceLog);
    return len;
}

void writeHeader()
{
    size_t len = writeLine("Start of trace for this process\n");
    if (!isStdStream(TraceLog))
        updateSize(len);
}

size_t writeEnd()
{
    return writeLine("End of trace for all processes and threads\n");
}

// The collector's address: IPv4 first, then IPv6 (plain, in brackets or by
// name).  Through getaddrinfo, whose results are the caller's own: the
// transport may be in the middle of its own look-up when a record is traced.
bool resolveHost(char const* host, struct sockaddr_storage* out, socklen_t* len)
{
    std::memset(out, 0, sizeof *out);
    if (std::strchr(host, ':') == nullptr && host[0] != '[') {
        struct sockaddr_in* in = reinterpret_cast<struct sockaddr_in*>(out);
        in->sin_family = AF_INET;
        *len = sizeof *in;
        if (inet_pton(AF_INET, host, &in->sin_addr) == 1)
            return true;
        struct addrinfo hints;
        std::memset(&hints, 0, sizeof hints);
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        struct addrinfo* res = nullptr;
        if (getaddrinfo(host, nullptr, &hints, &res) == 0 && res != nullptr) {
            in->sin_addr = reinterpret_cast<struct sockaddr_in*>(res->ai_addr)->sin_addr;
            freeaddrinfo(res);
            return true;
        }
    }
    struct sockaddr_in6* in6 = reinterpret_cast<struct sockaddr_in6*>(out);
    *len = sizeof *in6;
    return resolveIPv6(host, *in6);
}

void traceConnect()
{
    if (TraceHost[0] == '\0')
        return;
    char host[sizeof TraceHost];
    std::snprintf(host, sizeof host, "%s", TraceHost);
    char* at = std::strchr(host, '@');
    if (at == nullptr)
        return;
    *at = '\0';
    char const* port = at + 1;
    if (*port == '\0')
        return;
    long portno = 0;
    for (char const* p = port; *p != '\0'; ++p) {
        if (!std::isdigit(static_cast<unsigned char>(*p)) || portno > 65535)
            return;
        portno = portno * 10 + (*p - '0');
    }
    if (portno > 65535)
        return;
    struct sockaddr_storage addr;
    socklen_t addrLength = 0;
    if (!resolveHost(host, &addr, &addrLength))
        return;
    uint16_t netPort = htons(static_cast<uint16_t>(portno));
    if (addr.ss_family == AF_INET6)
        reinterpret_cast<struct sockaddr_in6*>(&addr)->sin6_port = netPort;
    else
        reinterpret_cast<struct sockaddr_in*>(&addr)->sin_port = netPort;
    int s = ::socket(addr.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return;
    // A bounded connect: an unreachable collector must not stall the client.
    int flags = fcntl(s, F_GETFL, 0);
    fcntl(s, F_SETFL, flags | O_NONBLOCK);
    int r = ::connect(s, reinterpret_cast<struct sockaddr*>(&addr), addrLength);
    if (r != 0 && errno == EINPROGRESS) {
        struct pollfd pfd = {s, POLLOUT, 0};
        int err = 0;
        socklen_t len = sizeof err;
        if (poll(&pfd, 1, CONNECT_TIMEOUT_MS) == 1 && getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0)
            r = 0;
    }
    if (r != 0) {
        ::close(s);
        return;
    }
    fcntl(s, F_SETFL, flags);
    TraceSocket = s;
}

bool sendAll(char const* data, size_t len)
{
    auto step = [&](size_t at, size_t left) { return ::send(TraceSocket, data + at, left, MSG_NOSIGNAL); };
    return moveWhole(len, step) == len;
}

void readOptions()
{
    char* opts = getProfileVar("XRB_TRACEOPTS");
    if (opts == nullptr)
        return;
    char* save = nullptr;
    for (char* tok = strtok_r(opts, " \t\r\n\f\v", &save); tok != nullptr;
         tok = strtok_r(nullptr, " \t\r\n\f\v", &save)) {
        if (tok[0] != '-' && tok[0] != '/')
            continue;
        for (char* c = tok + 1; *c != '\0'; ++c) {
            if (*c == 'h' || *c == 'H') {
                std::snprintf(TraceHost, sizeof TraceHost, "%s", c + 1);
                break;
            }
        }
    }
}

// Copies src into dst doubling every '%', so that a unit name can never act
// as a directive of the record format.
int appendLiteral(char* dst, int at, int cap, char const* src)
{
    for (; *src != '\0' && at < cap - 2; ++src) {
        dst[at++] = *src;
        if (*src == '%')
            dst[at++] = '%';
    }
    dst[at] = '\0';
    return at;
}

} // namespace

int checkFileSpecMatch(char const* name, char const* pattern)
{
    char const* n = extractSimple(name);
    char const* p = pattern != nullptr ? pattern : "";
    auto up = [](char c) { return std::toupper(static_cast<unsigned char>(c)); };
    for (;;) {
        if (*n == '\0')
            return (*p == '\0' || *p == '*') ? 0 : 1;
        if (*p == '\0')
            return 1;
        if (*p == '*') {
            while (*p == '*')
                ++p;
            if (*p == '\0')
                return 0;
            if (*p == '?')
                continue;
            while (*n != '\0' && up(*n) != up(*p))
                ++n;
            if (*n == '\0')
                return 1;
            continue;
        }
        if (*p != '?' && up(*n) != up(*p))
            return 1;
        ++n;
        ++p;
    }
}

int checkTrace(char const* unit)
{
    char area[AREA];
    char* patterns = getProfileVar("XRB_TRACE", area);
    if (patterns == nullptr)
        return 0;
    char const* p = patterns;
    for (;;) {
        while (*p == ' ' || *p == ',')
            ++p;
        if (*p == '\0')
            return 0;
        char token[264];
        size_t len = 0;
        while (*p != '\0' && *p != ' ' && *p != ',') {
            if (len < sizeof token - 1)
                token[len++] = *p;
            ++p;
        }
        token[len] = '\0';
        bool negate = token[0] == '!';
        char const* pat = negate ? token + 1 : token;
        if (std::strcmp(pat, "*") == 0 || checkFileSpecMatch(unit, pat) == 0)
            return negate ? 0 : 1;
    }
}

void setTrace(void const* p)
{
    TRACEFLAG = p != nullptr ? 1 : 0;
}

void traceInit()
{
    Busy busy;
    if (getProfileVar("TC_TRACESAFE") != nullptr)
        TraceSafe = 1;
    TraceHost[0] = '\0';
    readOptions();

    char const* file = getProfileVar("XRB_TRACEFILE");
    char const* fileName = file != nullptr ? std::getenv("XRB_TRACEFILE") : "xrbtrace";
    // A path too long for the area is not cut to a different file: unused.
    TraceFileUsable = std::strlen(fileName) < sizeof TraceFile;
    std::snprintf(TraceFile, sizeof TraceFile, "%s", fileName);

    char traceValue[AREA];
    if (getProfileVar("XRB_TRACE", traceValue) != nullptr) {
        TRACEFLAG = 1;
        std::fputs(msgGet(XRBW_001_TRACE_ENABLED, traceValue, TraceFile), stdout);
        std::fflush(stdout);
    } else {
        TRACEFLAG = 0;
    }
    queryPidTid();

    readNumber("XRB_TRACESIZE", &TraceMaxSize, 1000000);
    if (TraceMaxSize > MAX_TRACE_SIZE)
        TraceMaxSize = MAX_TRACE_SIZE;
    readNumber("XRB_TRACEATTEMPTS", &TraceAttempts, 20);
    readNumber("XRB_TRACEDELAY", &TraceWait, 1);
    readNumber("XRB_TRACE_TIMER", &TraceTimer, 0);
    if (getProfileVar("XRB_TRACE_TIMER") != nullptr)
        tcTime(&TraceStartTime);
    else
        std::memset(&TraceStartTime, 0, sizeof TraceStartTime);

    if (TRACEFLAG == 1) {
        traceConnect();
        if (TraceSocket < 0)
            openTraceFile();
        if (TraceLog != nullptr) {
            writeHeader();
            if (!isStdStream(TraceLog)) {
                // A file rewound by an earlier run: our end line may stop in
                // the middle of an old line, and no record may follow to
                // blank its rest.
                size_t endLen = writeEnd();
                if (TraceRewound)
                    writeMarker(TraceSize + static_cast<long>(endLen));
                closeTraceFile();
            }
        }
        TraceLog = nullptr;
    }
}

void FHGTRACE(char const* format, ...)
{
    if (InTrace)
        return;
    Busy busy;
    char const* unit = extractSimple(TRACEFILENAME);
    int line = TRACELINE;

    if (format == nullptr) {
        std::fprintf(stderr, "Warning: %s(%d) passes a null format string pointer to TRACE\n", unit, line);
        return;
    }
    if (present("TC_TRACEQUICK")) {
        std::fprintf(stderr, "%s(%d)\n", unit, line);
        return;
    }
    TraceLog = nullptr;
    if (TRACEFLAG == 2)
        traceInit();
    if (TRACEFLAG == 0 || !checkTrace(unit)) {
        closeTraceFile();
        return;
    }
    if (TraceLog == nullptr) {
        queryPidTid();
        openTraceFile();
        if (TraceLog == nullptr && TraceSocket < 0)
            return;
    }

    // The prefix, then the caller's format cut to fit, then the newline.
    char stamp[256];
    getTime(stamp, sizeof stamp);
    int at = appendLiteral(TraceBuffer2, 0, AREA, stamp);
    char where[300];
    std::snprintf(where, sizeof where, "%s(%d) ", unit, line);
    at = appendLiteral(TraceBuffer2, at, AREA, where);
    size_t room = at < AREA - 4 ? static_cast<size_t>(AREA - 4 - at) : 0;
    size_t flen = std::strlen(format);
    if (flen > room)
        flen = room;
    std::memcpy(TraceBuffer2 + at, format, flen);
    at += static_cast<int>(flen);
    // A directive cut in half would read an argument nobody passed.
    int pct = 0;
    for (int i = at - 1; i >= 0 && TraceBuffer2[i] == '%'; --i)
        ++pct;
    if (pct % 2 == 1)
        --at;
    TraceBuffer2[at++] = '\n';
    TraceBuffer2[at] = '\0';

    if (present("TC_TRACEPEEK"))
        std::fprintf(stderr, "%s(%d)\n", unit, line);

    bool toSocket = TraceSocket >= 0;
    char* out = toSocket ? TraceBuffer1 + 4 : TraceBuffer1;
    size_t cap = toSocket ? AREA - 4 : AREA;
    va_list ap;
    va_start(ap, format);
    if (present("TC_TRACECHECKPOINTERS"))
        traceFormatChecked(out, cap, TraceBuffer2, ap);
    else
        std::vsnprintf(out, cap, TraceBuffer2, ap);
    va_end(ap);
    size_t len = std::strlen(out);
    if (len == cap - 1 && out[len - 1] != '\n')
        out[len - 1] = '\n'; // a cut record still ends its line

    if (toSocket) {
        uint32_t wire = static_cast<uint32_t>(len + 1);
        TraceBuffer1[0] = static_cast<char>(wire >> 24);
        TraceBuffer1[1] = static_cast<char>(wire >> 16);
        TraceBuffer1[2] = static_cast<char>(wire >> 8);
        TraceBuffer1[3] = static_cast<char>(wire);
        if (!sendAll(TraceBuffer1, len + 5)) {
            ::close(TraceSocket);
            TraceSocket = -1;
        }
        return;
    }
    if (isStdStream(TraceLog)) {
        std::fwrite(out, 1, len, TraceLog);
        std::fflush(TraceLog);
        TraceLog = nullptr;
        return;
    }
    seekTo(TraceSize);
    std::fwrite(out, 1, len, TraceLog);
    std::fflush(TraceLog);
    updateSize(len);
    if (TraceSize > TraceMaxSize) {
        writeMarker(TraceSize);
        rewindTrace();
    }
    size_t endLen = writeEnd();
    if (TraceRewound)
        writeMarker(TraceSize + static_cast<long>(endLen));
    closeTraceFile();
}
