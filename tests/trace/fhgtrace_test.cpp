// The trace facility reads its settings once per process, so every case runs
// its trace statements in a fresh child (childproc::run).
#include "trace/fhgtrace.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "../support/childproc.h"

namespace {

std::regex const RECORD_LINE(R"(^\d\d:\d\d:\d\d \(\d{5,},000\) (\w+)\((\d+)\) (.*)$)");
std::regex const START_LINE(R"(^\d\d:\d\d:\d\d \(\d{5,},000\) Start of trace for this process$)");
std::regex const END_LINE(R"(^\d\d:\d\d:\d\d \(\d{5,},000\) End of trace for all processes and threads$)");

struct TraceFileView {
    std::string raw;
    int size = -1;
    char rewound = '?';
    std::vector<std::string> logical; // lines after the header, up to the size
    std::string beyond;               // bytes after the logical end
};

std::vector<std::string> splitLines(std::string const& s)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < s.size()) {
        size_t nl = s.find('\n', at);
        if (nl == std::string::npos) {
            lines.push_back(s.substr(at));
            break;
        }
        lines.push_back(s.substr(at, nl - at));
        at = nl + 1;
    }
    return lines;
}

TraceFileView readTrace(std::string const& path)
{
    TraceFileView v;
    v.raw = childproc::readAll(path);
    if (v.raw.size() < 36 || v.raw.compare(0, 17, "XRB TRACE - SIZE ") != 0)
        return v;
    v.size = std::stoi(v.raw.substr(17, 8));
    v.rewound = v.raw[34];
    if (v.size < 36 || static_cast<size_t>(v.size) > v.raw.size())
        return v;
    v.logical = splitLines(v.raw.substr(36, v.size - 36));
    v.beyond = v.raw.substr(v.size);
    return v;
}

bool allBlank(std::string const& s)
{
    return s.find_first_not_of(' ') == std::string::npos;
}

class TraceTest : public childproc::TempDirTest {
protected:
    void SetUp() override
    {
        ASSERT_EQ(TRACEFLAG, 2) << "the test process itself must never initialise the trace";
        childproc::TempDirTest::SetUp();
        file = dir + "/trace.out";
    }

    std::string file;
};

TEST_F(TraceTest, UnsetTraceCreatesNothingAndPrintsNothing)
{
    auto r = childproc::run(
        {},
        [] {
            XRB_TRACE_AT("msg", "never %d", 1);
            XRB_TRACE_AT("tcpfns", "never %d", 2);
            return TRACEFLAG;
        },
        dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_NE(access((dir + "/xrbtrace").c_str(), F_OK), 0);
}

TEST_F(TraceTest, NewFileHasHeaderStartLineRecordsAndSize)
{
    auto r = childproc::run({{"XRB_TRACE", "*"}, {"XRB_TRACEFILE", file}}, [] {
        XRB_TRACE_AT("tcpfns", "connecting to %s port %d", "host1", 5555);
        XRB_TRACE_AT("base/util", "second %ld", 1234567890123L);
        return TRACEFLAG == 1 ? 0 : 1;
    });
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("XRBW-001"), std::string::npos);
    EXPECT_EQ(r.out.find("XRBW-001"), r.out.rfind("XRBW-001"));

    TraceFileView v = readTrace(file);
    ASSERT_EQ(v.raw.compare(0, 22, "XRB TRACE - SIZE 00000"), 0) << v.raw;
    EXPECT_EQ(v.rewound, 'N');
    ASSERT_EQ(v.logical.size(), 3u) << v.raw;
    EXPECT_TRUE(std::regex_match(v.logical[0], START_LINE)) << v.logical[0];
    std::smatch m;
    ASSERT_TRUE(std::regex_match(v.logical[1], m, RECORD_LINE)) << v.logical[1];
    EXPECT_EQ(m[1], "tcpfns");
    EXPECT_EQ(m[3], "connecting to host1 port 5555");
    ASSERT_TRUE(std::regex_match(v.logical[2], m, RECORD_LINE)) << v.logical[2];
    EXPECT_EQ(m[1], "util");
    EXPECT_EQ(m[3], "second 1234567890123");
    // The end line follows the logical end and is the last thing in the file.
    ASSERT_FALSE(v.beyond.empty());
    EXPECT_EQ(v.beyond.back(), '\n');
    EXPECT_TRUE(std::regex_match(v.beyond.substr(0, v.beyond.size() - 1), END_LINE)) << v.beyond;
}

TEST_F(TraceTest, RewindKeepsEveryLineWholeAndRestartsTheSize)
{
    auto r = childproc::run({{"XRB_TRACE", "*"}, {"XRB_TRACEFILE", file}, {"XRB_TRACESIZE", "2000"}}, [] {
        for (int i = 0; i < 120; ++i)
            XRB_TRACE_AT("msg", "record %03d %s", i, std::string(static_cast<size_t>(i % 37), 'x').c_str());
        return 0;
    });
    ASSERT_EQ(r.status, 0);
    TraceFileView v = readTrace(file);
    ASSERT_GT(v.size, 0) << v.raw.substr(0, 40);
    EXPECT_EQ(v.rewound, 'Y');
    EXPECT_LE(v.size, 2000 + 200);
    EXPECT_LT(v.raw.size(), 4000u);

    // Since the last rewind the logical part holds the newest records, in order.
    ASSERT_FALSE(v.logical.empty());
    int expect = -1;
    for (std::string const& line : v.logical) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, RECORD_LINE)) << line;
        int n = std::stoi(m[3].str().substr(7, 3));
        if (expect >= 0) {
            EXPECT_EQ(n, expect);
        }
        expect = n + 1;
    }
    EXPECT_EQ(expect, 120);

    // No line anywhere is cut: each is a whole line of the trace or blanks.
    std::vector<std::string> lines = splitLines(v.raw.substr(36));
    EXPECT_EQ(v.raw.back(), '\n');
    for (std::string const& line : lines) {
        bool whole = allBlank(line) || std::regex_match(line, RECORD_LINE) || std::regex_match(line, START_LINE) ||
                     std::regex_match(line, END_LINE);
        EXPECT_TRUE(whole) << "cut line: [" << line << "]";
    }
    EXPECT_TRUE(std::regex_match(splitLines(v.beyond).front(), END_LINE));
}

TEST_F(TraceTest, TwoProcessesAppendToOneFile)
{
    auto writer = [this](char const* tag) {
        // The lock wait is bounded by attempts times delay (20 ms by default);
        // a bound far above any pause of the other writer keeps every record.
        return childproc::run({{"XRB_TRACE", "*"}, {"XRB_TRACEFILE", file}, {"XRB_TRACEATTEMPTS", "20000"}}, [tag] {
            for (int i = 0; i < 1000; ++i)
                XRB_TRACE_AT("msg", "%s %d", tag, i);
            return 0;
        });
    };
    // Both writers run at the same time.
    pid_t other = fork();
    if (other == 0) {
        auto r = writer("procB");
        _exit(r.status);
    }
    auto a = writer("procA");
    int status = 0;
    waitpid(other, &status, 0);
    ASSERT_EQ(a.status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    TraceFileView v = readTrace(file);
    int countA = 0, countB = 0, starts = 0;
    for (std::string const& line : v.logical) {
        std::smatch m;
        if (std::regex_match(line, START_LINE))
            ++starts;
        else if (std::regex_match(line, m, RECORD_LINE))
            (m[3].str().rfind("procA", 0) == 0 ? countA : countB)++;
        else
            ADD_FAILURE() << "unexpected line [" << line << "]";
    }
    EXPECT_EQ(starts, 2);
    EXPECT_EQ(countA, 1000);
    EXPECT_EQ(countB, 1000);
}

TEST_F(TraceTest, PatternsSelectUnits)
{
    auto r = childproc::run({{"XRB_TRACE", "!msg *"}, {"XRB_TRACEFILE", file}}, [] {
        XRB_TRACE_AT("msg", "hidden");
        XRB_TRACE_AT("tcpfns", "shown");
        return 0;
    });
    ASSERT_EQ(r.status, 0);
    TraceFileView v = readTrace(file);
    ASSERT_EQ(v.logical.size(), 2u) << v.raw;
    EXPECT_NE(v.logical[1].find("tcpfns("), std::string::npos);
    EXPECT_EQ(v.raw.find("hidden"), std::string::npos);

    // A setting that matches nothing still switches tracing on.
    std::string other = dir + "/none.out";
    r = childproc::run({{"XRB_TRACE", "nosuchunit"}, {"XRB_TRACEFILE", other}}, [] {
        XRB_TRACE_AT("msg", "hidden");
        return TRACEFLAG == 1 ? 0 : 1;
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("XRBW-001"), std::string::npos);
    v = readTrace(other);
    ASSERT_EQ(v.logical.size(), 1u) << v.raw;
    EXPECT_TRUE(std::regex_match(v.logical[0], START_LINE));
}

// Anybody who can read the trace file can lock it: a client waits at most
// attempts times delay for each record, then drops it and says so in
// tcover.err, as the facility does on a sharing conflict.
TEST_F(TraceTest, LockHeldByAReaderCostsABoundedWaitThenTheRecord)
{
    auto first = childproc::run(
        {{"XRB_TRACE", "*"}, {"XRB_TRACEFILE", file}},
        [] {
            XRB_TRACE_AT("msg", "before the lock");
            return 0;
        },
        dir);
    ASSERT_EQ(first.status, 0);
    std::string before = childproc::readAll(file);

    int holder = open(file.c_str(), O_RDONLY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    auto start = std::chrono::steady_clock::now();
    // 1 start line and 10 records, each waiting at most 5 x 20 ms.
    auto r = childproc::run(
        {{"XRB_TRACE", "*"}, {"XRB_TRACEFILE", file}, {"XRB_TRACEATTEMPTS", "5"}, {"XRB_TRACEDELAY", "20"}},
        [] {
            for (int i = 0; i < 10; ++i)
                XRB_TRACE_AT("msg", "while locked %d", i);
            return 0;
        },
        dir, 10);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(r.status, 0) << "the tracing process did not finish within 10 s";
    EXPECT_LT(seconds, 8.0);
    EXPECT_GE(seconds, 11 * 5 * 0.020 * 0.9);
    EXPECT_EQ(childproc::readAll(file), before);
    std::string lost = childproc::readAll(dir + "/tcover.err");
    std::string line = "trace data lost because TC_TRACESAFE is set and a sharing conflict was detected \n";
    std::string eleven;
    for (int i = 0; i < 11; ++i)
        eleven += line;
    EXPECT_EQ(lost, eleven);

    // The default settings bound the wait too.
    start = std::chrono::steady_clock::now();
    r = childproc::run(
        {{"XRB_TRACE", "*"}, {"XRB_TRACEFILE", file}},
        [] {
            for (int i = 0; i < 10; ++i)
                XRB_TRACE_AT("msg", "while locked %d", i);
            return 0;
        },
        dir, 10);
    EXPECT_EQ(r.status, 0);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 8.0);
    EXPECT_EQ(childproc::readAll(file), before);

    // Once the lock is given back, records are written again.
    close(holder);
    r = childproc::run(
        {{"XRB_TRACE", "*"}, {"XRB_TRACEFILE", file}},
        [] {
            XRB_TRACE_AT("msg", "after the lock");
            return 0;
        },
        dir, 10);
    EXPECT_EQ(r.status, 0);
    TraceFileView v = readTrace(file);
    ASSERT_FALSE(v.logical.empty()) << v.raw;
    EXPECT_NE(v.logical.back().find("after the lock"), std::string::npos) << v.raw;
}

// Every line stays whole.  A run that starts on a file rewound by
// an earlier run writes its start and end lines over old text and here no
// record follows, so the rest of the old line behind the end line is blanked.
TEST_F(TraceTest, RunStartingOnARewoundFileLeavesNoCutLine)
{
    {
        std::ofstream out(file, std::ios::binary);
        out << "XRB TRACE - SIZE 00000036 REWOUND=Y\n";
        for (int i = 0; i < 4; ++i)
            out << "12:00:0" << i << " (00001,000) msg(1) old record " << std::string(300, 'o') << "\n";
    }
    auto r = childproc::run({{"XRB_TRACE", "nosuchunit"}, {"XRB_TRACEFILE", file}}, [] {
        XRB_TRACE_AT("msg", "not selected");
        return 0;
    });
    ASSERT_EQ(r.status, 0);
    TraceFileView v = readTrace(file);
    ASSERT_EQ(v.rewound, 'Y');
    ASSERT_EQ(v.logical.size(), 1u) << v.raw;
    EXPECT_TRUE(std::regex_match(v.logical[0], START_LINE)) << v.logical[0];
    std::vector<std::string> lines = splitLines(v.raw.substr(36));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_TRUE(std::regex_match(lines[1], END_LINE)) << lines[1];
    for (std::string const& line : lines) {
        bool whole = allBlank(line) || std::regex_match(line, RECORD_LINE) || std::regex_match(line, START_LINE) ||
                     std::regex_match(line, END_LINE);
        EXPECT_TRUE(whole) << "cut line: [" << line << "]";
    }
    // The old lines after the cut one are untouched.
    EXPECT_NE(v.raw.find("12:00:03 (00001,000) msg(1) old record"), std::string::npos);
}

// A link at the trace file's name is not followed, whether it points at a
// file or nowhere; the traced program goes on without its trace file.
TEST_F(TraceTest, LinkAtTheTraceFileNameIsNotFollowed)
{
    std::string victim = dir + "/victim";
    {
        std::ofstream out(victim);
        out << "precious\n";
    }
    std::string link = dir + "/link.trace";
    std::string dangling = dir + "/dangling.trace";
    std::string nowhere = dir + "/created-through-link";
    ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
    ASSERT_EQ(symlink(nowhere.c_str(), dangling.c_str()), 0);
    for (std::string const& name : {link, dangling}) {
        auto start = std::chrono::steady_clock::now();
        auto r = childproc::run(
            {{"XRB_TRACE", "*"}, {"XRB_TRACEFILE", name}, {"XRB_TRACEDELAY", "100"}},
            [] {
                XRB_TRACE_AT("msg", "record %d", 1);
                XRB_TRACE_AT("msg", "record %d", 2);
                return TRACEFLAG == 1 ? 0 : 1;
            },
            dir, 10);
        EXPECT_EQ(r.status, 0) << name;
        // A refused link is not retried attempts times.
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.5);
    }
    EXPECT_EQ(childproc::readAll(victim), "precious\n");
    EXPECT_NE(access(nowhere.c_str(), F_OK), 0);
    struct stat st;
    EXPECT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST(TracePatterns, FileSpecMatch)
{
    // 0 is a match.
    struct {
        char const* file;
        char const* pattern;
        int want;
    } const cases[] = {{"tcpfns", "TCP*", 0}, {"msg", "*sg", 0}, {"tcpfns", "*sg", 1}, {"abcdc", "*c", 1},
                       {"msg", "ms?", 0},     {"msg", "ms", 1},  {"ms", "msg", 1},     {"src/base/util", "UTIL", 0},
                       {"msg", "**sg", 0},    {"msg", "m*?g", 0}};
    for (auto const& c : cases)
        EXPECT_EQ(checkFileSpecMatch(c.file, c.pattern), c.want) << c.file << " " << c.pattern;
}

TEST(TracePatterns, CheckTraceTakesTheFirstTokenThatApplies)
{
    ASSERT_EQ(TRACEFLAG, 2);
    struct Case {
        char const* setting;
        char const* unit;
        int traced;
    } cases[] = {
        {"!msg *", "msg", 0},      {"!msg *", "tcpfns", 1}, {"* !msg", "msg", 1},  {"tcpfns,msg", "msg", 1},
        {"tcpfns,msg", "util", 0}, {"!*", "msg", 0},        {"nomatch", "msg", 0},
    };
    for (Case const& c : cases) {
        setenv("XRB_TRACE", c.setting, 1);
        EXPECT_EQ(checkTrace(c.unit), c.traced) << c.setting << " / " << c.unit;
    }
    unsetenv("XRB_TRACE");
    EXPECT_EQ(checkTrace("msg"), 0);
    EXPECT_EQ(TRACEFLAG, 2);
}

TEST_F(TraceTest, StdoutReceivesStartLineAndRecordsOnly)
{
    auto r = childproc::run(
        {{"XRB_TRACE", "*"}, {"XRB_TRACEFILE", "stdout"}},
        [] {
            XRB_TRACE_AT("msg", "to the console %d", 3);
            return 0;
        },
        dir);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("XRB TRACE"), std::string::npos);
    EXPECT_EQ(r.out.find("End of trace"), std::string::npos);
    EXPECT_NE(r.out.find("Start of trace for this process\n"), std::string::npos);
    EXPECT_NE(r.out.find(") msg("), std::string::npos);
    EXPECT_NE(r.out.find(" to the console 3\n"), std::string::npos);
    EXPECT_NE(access((dir + "/xrbtrace").c_str(), F_OK), 0);
}

TEST_F(TraceTest, QuickModeWritesLocationsOnly)
{
    int const line = __LINE__ + 2;
    auto r = childproc::run({{"XRB_TRACE", "*"}, {"TC_TRACEQUICK", ""}, {"XRB_TRACEFILE", file}}, [] {
        XRB_TRACE_AT("tcpfns", "not formatted %s", "x");
        return TRACEFLAG;
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "tcpfns(" + std::to_string(line) + ")\n");
    EXPECT_NE(access(file.c_str(), F_OK), 0);
}

TEST_F(TraceTest, CheckedPointersAndNullFormat)
{
    auto r = childproc::run(
        {{"XRB_TRACE", "*"}, {"TC_TRACECHECKPOINTERS", "1"}, {"TC_TRACEPEEK", "1"}, {"XRB_TRACEFILE", file}}, [] {
            // Hidden from the compiler so it cannot see the null at build time.
            char const* volatile hidden = nullptr;
            char const* none = hidden;
            XRB_TRACE_AT("msg", "s=%s f=%f l=%ld t=%s", none, 2.5, 1234567890123L, "tail");
            char const* noFormat = nullptr;
            TRACELINE = 77;
            TRACEFILENAME = const_cast<char*>("xrbbld");
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-security"
            FHGTRACE(noFormat);
#pragma GCC diagnostic pop
            return 0;
        });
    ASSERT_EQ(r.status, 0);
    TraceFileView v = readTrace(file);
    ASSERT_EQ(v.logical.size(), 2u) << v.raw;
    EXPECT_NE(v.logical[1].find(" s=<bad pointer> f=% l=1234567890123 t=tail"), std::string::npos) << v.logical[1];
    EXPECT_NE(r.err.find("msg("), std::string::npos);
    EXPECT_NE(r.err.find("Warning: xrbbld(77) passes a null format string pointer to TRACE\n"), std::string::npos);
}

TEST_F(TraceTest, OverlongRecordIsCutAndStaysOneLine)
{
    auto r = childproc::run({{"XRB_TRACE", "*"}, {"XRB_TRACEFILE", file}}, [] {
        std::string big(10000, 'y');
        XRB_TRACE_AT("msg", "%s", big.c_str());
        XRB_TRACE_AT("msg", "after");
        return 0;
    });
    ASSERT_EQ(r.status, 0);
    TraceFileView v = readTrace(file);
    ASSERT_EQ(v.logical.size(), 3u);
    EXPECT_LE(v.logical[1].size(), 4095u);
    EXPECT_GT(v.logical[1].size(), 4000u);
    EXPECT_TRUE(std::regex_match(v.logical[2], RECORD_LINE));
}

// Reads one length-prefixed record from the collector connection.
bool readFrame(int fd, std::string* text)
{
    unsigned char len[4];
    size_t got = 0;
    while (got < 4) {
        struct pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 10000) != 1)
            return false;
        ssize_t n = recv(fd, len + got, 4 - got, 0);
        if (n <= 0)
            return false;
        got += static_cast<size_t>(n);
    }
    uint32_t size = (uint32_t(len[0]) << 24) | (uint32_t(len[1]) << 16) | (uint32_t(len[2]) << 8) | len[3];
    if (size == 0 || size > 5000)
        return false;
    std::string body(size, '\0');
    got = 0;
    while (got < size) {
        struct pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 10000) != 1)
            return false;
        ssize_t n = recv(fd, &body[got], size - got, 0);
        if (n <= 0)
            return false;
        got += static_cast<size_t>(n);
    }
    if (body.back() != '\0')
        return false;
    body.pop_back();
    // A record is a whole line.
    if (body.empty() || body.back() != '\n')
        return false;
    body.pop_back();
    *text = body;
    return true;
}

TEST_F(TraceTest, CollectorReceivesRecordsThenFileTakesOver)
{
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    struct sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    socklen_t alen = sizeof addr;
    getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &alen);
    std::string opts = "-x -h127.0.0.1@" + std::to_string(ntohs(addr.sin_port)) + " /q";

    int toParent[2], toChild[2];
    ASSERT_EQ(pipe(toParent), 0);
    ASSERT_EQ(pipe(toChild), 0);
    pid_t pid = fork();
    if (pid == 0) {
        close(listener);
        auto r = childproc::run({{"XRB_TRACE", "*"}, {"XRB_TRACEOPTS", opts}, {"XRB_TRACEFILE", file}}, [&] {
            XRB_TRACE_AT("tcpfns", "to collector %d", 1);
            XRB_TRACE_AT("tcpfns", "to collector %d", 2);
            char c = 'r';
            if (write(toParent[1], &c, 1) != 1 || read(toChild[0], &c, 1) != 1)
                return 3;
            for (int i = 0; i < 20; ++i) {
                XRB_TRACE_AT("tcpfns", "later %d", i);
                usleep(20000);
            }
            return 0;
        });
        _exit(r.status);
    }
    struct pollfd p = {listener, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 10000), 1);
    int conn = accept(listener, nullptr, nullptr);
    ASSERT_GE(conn, 0);
    char c;
    struct pollfd pp = {toParent[0], POLLIN, 0};
    ASSERT_EQ(poll(&pp, 1, 10000), 1);
    ASSERT_EQ(read(toParent[0], &c, 1), 1);
    std::string first, second;
    EXPECT_TRUE(readFrame(conn, &first));
    EXPECT_TRUE(readFrame(conn, &second));
    close(conn);
    close(listener);
    ASSERT_EQ(write(toChild[1], &c, 1), 1);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]})
        close(fd);

    std::smatch m;
    ASSERT_TRUE(std::regex_match(first, m, RECORD_LINE)) << first;
    EXPECT_EQ(m[3], "to collector 1");
    ASSERT_TRUE(std::regex_match(second, m, RECORD_LINE)) << second;
    EXPECT_EQ(m[3], "to collector 2");

    TraceFileView v = readTrace(file);
    ASSERT_FALSE(v.logical.empty()) << v.raw;
    EXPECT_EQ(v.raw.find("to collector"), std::string::npos);
    EXPECT_NE(v.logical.back().find("later 19"), std::string::npos) << v.raw;
}

TEST_F(TraceTest, CollectorAddressWithoutPortFallsBackToFile)
{
    auto r = childproc::run({{"XRB_TRACE", "*"}, {"XRB_TRACEOPTS", "-h127.0.0.1"}, {"XRB_TRACEFILE", file}}, [] {
        XRB_TRACE_AT("msg", "in the file");
        return 0;
    });
    ASSERT_EQ(r.status, 0);
    TraceFileView v = readTrace(file);
    ASSERT_EQ(v.logical.size(), 2u);
    EXPECT_NE(v.logical[1].find("in the file"), std::string::npos);
}

// The collector on ::1, its address written plain and in brackets: the
// records reach it.  Skipped where the machine cannot listen on ::1.
TEST_F(TraceTest, CollectorOverIPv6)
{
    for (std::string form : {"::1", "[::1]"}) {
        int listener = socket(AF_INET6, SOCK_STREAM, 0);
        ASSERT_GE(listener, 0);
        struct sockaddr_in6 addr = {};
        addr.sin6_family = AF_INET6;
        addr.sin6_addr = in6addr_loopback;
        if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            close(listener);
            GTEST_SKIP() << "no IPv6 loopback";
        }
        ASSERT_EQ(listen(listener, 1), 0);
        socklen_t alen = sizeof addr;
        getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &alen);
        std::string opts = "-h" + form + "@" + std::to_string(ntohs(addr.sin6_port));
        pid_t pid = fork();
        if (pid == 0) {
            close(listener);
            auto r = childproc::run({{"XRB_TRACE", "*"}, {"XRB_TRACEOPTS", opts}, {"XRB_TRACEFILE", file}}, [] {
                XRB_TRACE_AT("tcpfns", "over six");
                return 0;
            });
            _exit(r.status);
        }
        struct pollfd p = {listener, POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 10000), 1) << form;
        int conn = accept(listener, nullptr, nullptr);
        ASSERT_GE(conn, 0);
        std::string first;
        EXPECT_TRUE(readFrame(conn, &first)) << form;
        close(conn);
        close(listener);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_NE(first.find("over six"), std::string::npos) << form << ": " << first;
    }
}

// A bracket left open, and an unknown zone, name no collector: the file is
// used.
TEST_F(TraceTest, CollectorBadIPv6AddressFallsBackToFile)
{
    for (std::string opts : {"-h[::1@7", "-hfe80::1%nosuchif0@7"}) {
        auto r = childproc::run({{"XRB_TRACE", "*"}, {"XRB_TRACEOPTS", opts}, {"XRB_TRACEFILE", file}}, [] {
            XRB_TRACE_AT("msg", "in the file");
            return 0;
        });
        ASSERT_EQ(r.status, 0);
        TraceFileView v = readTrace(file);
        ASSERT_FALSE(v.logical.empty()) << opts;
        EXPECT_NE(v.logical.back().find("in the file"), std::string::npos) << opts;
        std::remove(file.c_str());
    }
}

} // namespace
