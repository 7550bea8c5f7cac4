#include <gtest/gtest.h>

#include <sys/wait.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>

#include "base/tcexp.h"
#include "base/tcstring.h"
#include "secmgr_fixture.h"
#include "security/xrbsec.h"
#include "trace/fhgtrace.h"

using namespace sectest;

namespace {

std::string const MARKER("XRB#END\0", 8);

std::string call(char const* request)
{
    return std::string(securityMgrCall(TCString(request)).getdata());
}

// A java on the PATH that only notes that it was run, in which folder and
// with which arguments, so that a test can tell whether and how the start
// command was used.
struct RecordingJava {
    ScratchDir dir;
    EnvGuard path;
    RecordingJava(char const* body = "") : path("PATH", nullptr)
    {
        dir.script("java", "echo \"$(pwd) $*\" >> '" + dir.file("ran") + "'\n" + body);
        setenv("PATH", dir.path().c_str(), 1);
    }
    std::string runs() const { return readWhole(dir.file("ran")); }
};

// Accepts one connection and sends one byte every interval, never the end
// marker, until told to stop or the limit passes; or, when silent, sends
// nothing and keeps the line open.
class TricklingManager {
public:
    TricklingManager(bool silent, int intervalMs = 200, double limitSeconds = 30)
    {
        listener_ = bindLoopback(0);
        listen(listener_, 4);
        port_ = boundPort(listener_);
        thread_ = std::thread([=] {
            pollfd p{listener_, POLLIN, 0};
            if (poll(&p, 1, 15000) <= 0)
                return;
            int c = accept(listener_, nullptr, nullptr);
            double start = nowSeconds();
            while (!stop_ && c >= 0 && secondsSince(start) < limitSeconds) {
                if (!silent && send(c, "x", 1, MSG_NOSIGNAL) != 1)
                    break;
                usleep(intervalMs * 1000);
            }
            if (c >= 0)
                close(c);
        });
    }
    ~TricklingManager()
    {
        stop_ = true;
        thread_.join();
        close(listener_);
    }
    int port() const { return port_; }

private:
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace

TEST(SecurityMgrPort, UnsetOrEmptyMeansDefault)
{
    {
        EnvGuard g("XRBSEC_PORT", nullptr);
        EXPECT_STREQ(securityMgrPort().getdata(), "22825");
    }
    {
        EnvGuard g("XRBSEC_PORT", "");
        EXPECT_STREQ(securityMgrPort().getdata(), "22825");
    }
    {
        EnvGuard g("XRBSEC_PORT", "31337");
        EXPECT_STREQ(securityMgrPort().getdata(), "31337");
    }
}

TEST(SecurityMgrCall, ListeningManagerGetsRequestVerbatimAndIsNotStarted)
{
    FakeManager mgr({{"1 pw" + MARKER, false}, {"0" + MARKER, false}});
    EnvGuard port("XRBSEC_PORT", std::to_string(mgr.port()).c_str());
    RecordingJava java;

    EXPECT_EQ(call("GETUSER someone buildhost"), "1 pw");
    EXPECT_EQ(call("GETUSER other buildhost"), "0");

    auto got = mgr.requests();
    ASSERT_EQ(got.size(), 2u);
    // No newline, no zero byte after the request.
    EXPECT_EQ(got[0], "GETUSER someone buildhost");
    EXPECT_EQ(got[1], "GETUSER other buildhost");
    EXPECT_EQ(java.runs(), "");
}

TEST(SecurityMgrCall, BrokenRepliesGiveZero)
{
    std::string longest(256, 'a');
    FakeManager mgr({
        {"1 half", false},                        // closed before the marker
        {std::string(1000, 'x') + MARKER, false}, // more than the buffer holds
        {longest + MARKER, false},                // exactly fits
        {"", true},                               // reset at once
    });
    EnvGuard port("XRBSEC_PORT", std::to_string(mgr.port()).c_str());
    RecordingJava java;

    EXPECT_EQ(call("GETUSER a h"), "0");
    EXPECT_EQ(call("GETUSER a h"), "0");
    EXPECT_EQ(call("GETUSER a h"), longest);

    // The manager dropping the line may surface as a send failure for the
    // caller to report; it must never end the process.
    signal(SIGPIPE, SIG_DFL);
    std::string last;
    try {
        last = call("ADDUSER a h secret");
    } catch (TCException* e) {
        last = "thrown";
        delete e;
    }
    EXPECT_TRUE(last == "0" || last == "thrown") << last;
    EXPECT_EQ(java.runs(), "");
}

TEST(SecurityMgrCall, TellsWhetherTheManagerAnswered)
{
    FakeManager mgr({{"0" + MARKER, false}, {"1 half", false}});
    EnvGuard port("XRBSEC_PORT", std::to_string(mgr.port()).c_str());
    RecordingJava java;

    bool answered = false;
    EXPECT_STREQ(securityMgrCall(TCString("ADDUSER a h pw"), &answered).getdata(), "0");
    EXPECT_TRUE(answered);
    EXPECT_STREQ(securityMgrCall(TCString("ADDUSER a h pw"), &answered).getdata(), "0");
    EXPECT_FALSE(answered);

    ScratchDir empty;
    EnvGuard path("PATH", empty.path().c_str());
    EnvGuard nobody("XRBSEC_PORT", std::to_string(freePort()).c_str());
    answered = true;
    EXPECT_STREQ(securityMgrCall(TCString("ADDUSER a h pw"), &answered).getdata(), "0");
    EXPECT_FALSE(answered);
}

TEST(SecurityMgrCall, NoManagerAndNoJavaGivesZeroQuietlyAndQuickly)
{
    ScratchDir empty;
    EnvGuard path("PATH", empty.path().c_str());
    EnvGuard port("XRBSEC_PORT", std::to_string(freePort()).c_str());

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    double t0 = nowSeconds();
    std::string reply = call("GETUSER someone buildhost");
    double took = secondsSince(t0);
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(reply, "0");
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
    EXPECT_LT(took, 3.0);
}

TEST(SecurityMgrCall, ManagerThatDiesAtStartIsNotAwaited)
{
    RecordingJava java("echo oops >&2; exit 1");
    EnvGuard cp("CLASSPATH", "/nonexistent/xrbsecmgr.jar");
    EnvGuard port("XRBSEC_PORT", std::to_string(freePort()).c_str());

    testing::internal::CaptureStderr();
    double t0 = nowSeconds();
    std::string reply = call("GETUSER someone buildhost");
    double took = secondsSince(t0);
    std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(reply, "0");
    // Started from the root folder, never from ours.
    EXPECT_EQ(java.runs(), "/ com.qvx.gadrin.zun.distributedbuild.security.XrbSecManager\n");
    EXPECT_EQ(err, "");
    EXPECT_LT(took, 5.0);
}

// The reply has one deadline, not one per byte: a manager that trickles
// bytes (or sends none) gives up the wait after about 10 seconds.
void expectGivesUpAtTheDeadline(bool silent)
{
    TricklingManager mgr(silent);
    EnvGuard port("XRBSEC_PORT", std::to_string(mgr.port()).c_str());
    RecordingJava java;

    double t0 = nowSeconds();
    std::string reply = call("GETUSER someone buildhost");
    double took = secondsSince(t0);

    EXPECT_EQ(reply, "0");
    EXPECT_GT(took, 9.0);
    EXPECT_LT(took, 12.0);
}

TEST(SecurityMgrCall, TrickledReplyEndsWithinTheDeadline)
{
    expectGivesUpAtTheDeadline(false);
}

TEST(SecurityMgrCall, SilentManagerEndsWithinTheDeadline)
{
    expectGivesUpAtTheDeadline(true);
}

#ifdef XRB_TEST_BINARY_DIR
// The real stand-in manager, started by the client's own start command.
TEST(SecurityMgrCall, StartsTheManagerThenFindsItRunning)
{
    std::string jar = std::string(XRB_TEST_BINARY_DIR) + "/secmgr/xrbsecmgr.jar";
    if (readWhole(jar).empty())
        GTEST_SKIP() << "stand-in manager not built";
    ScratchDir dir;
    EnvGuard cp("CLASSPATH", jar.c_str());
    EnvGuard idle("XRBSEC_IDLE", "20");
    EnvGuard pidFile("XRBSEC_PIDFILE", dir.file("pid").c_str());
    EnvGuard port("XRBSEC_PORT", std::to_string(freePort()).c_str());

    EXPECT_EQ(call("ADDUSER someone buildhost pa55"), "1");
    std::string firstPid = readWhole(dir.file("pid"));
    ASSERT_FALSE(firstPid.empty());

    // The stored password can only come from the manager started above.
    EXPECT_EQ(call("GETUSER someone buildhost"), "1 pa55");
    EXPECT_EQ(call("GETUSER someone otherhost"), "0");

    kill(std::stoi(firstPid), SIGTERM);
}
#endif

// Tracing is set up once per process from the environment, so the traced
// call runs in a child of its own.
TEST(SecurityMgrCall, TraceNeverShowsThePassword)
{
    FakeManager mgr({{"1" + MARKER, false}, {"1 Sup3rSecret" + MARKER, false}});
    ScratchDir dir;
    std::string traceFile = dir.file("trace");

    fflush(nullptr);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("XRBSEC_PORT", std::to_string(mgr.port()).c_str(), 1);
        setenv("XRB_TRACE", "*", 1);
        setenv("XRB_TRACEFILE", traceFile.c_str(), 1);
        freopen("/dev/null", "w", stdout);
        TRACEFLAG = 2;
        std::string stored = call("ADDUSER someone buildhost Sup3rSecret");
        std::string reply = call("GETUSER someone buildhost");
        _exit(stored == "1" && reply == "1 Sup3rSecret" ? 0 : 3);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    std::string trace = readWhole(traceFile);
    EXPECT_NE(trace.find("received response from sec mgr: '1 ********'"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("Sup3rSecret"), std::string::npos) << trace;
}
