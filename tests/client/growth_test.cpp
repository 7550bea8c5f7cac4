// Every list is handled in one pass: the client's CPU time for
// 40,000 names is compared with that for 10,000.  Linear work gives a
// ratio near 4, work that grows with the square of the length near 16; the
// bound of 8 holds at any machine speed.  Each size is measured a few times
// and the best run counts, so that a busy machine cannot fail the test.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "../protocol/peer.h"
#include "../support/childproc.h"
#include "client/cmdline.h"
#include "client/conversation.h"
#include "client/settings.h"
#include "protocol/xrbbld.h"

namespace {

namespace fs = std::filesystem;

constexpr unsigned SMALL = 10000;
constexpr unsigned LARGE = 40000;
constexpr int RUNS = 3;
constexpr double MAX_RATIO = 8.0;

double cpuNow()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Standard output goes nowhere while the client talks (one line a file).
class Silenced {
public:
    Silenced()
    {
        std::fflush(stdout);
        saved_ = dup(1);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(null);
    }
    ~Silenced()
    {
        std::fflush(stdout);
        dup2(saved_, 1);
        close(saved_);
    }

private:
    int saved_;
};

std::string name(std::string const& stem, unsigned i)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%06u", i);
    return stem + digits;
}

// The peer's side of the result phase: the verdict with the message files,
// then every file the client asks for, empty, then the closing exchange.
int serveResults(int fd, std::string const& msgfiles, unsigned outputs)
{
    alarm(600);
    CommPacket ask(fd, 0);
    if (ask.get_commtype() != COMM_REQ_RESULT)
        return 1;
    BuildResPacket result;
    result.set_result(1);
    result.set_msgfiles(msgfiles.c_str());
    result.send(fd, 0);
    unsigned files = outputs;
    for (char const* p = msgfiles.c_str(); *p != '\0';) {
        while (*p == ' ')
            ++p;
        if (*p != '\0')
            ++files;
        while (*p != '\0' && *p != ' ')
            ++p;
    }
    for (unsigned i = 0; i < files; ++i) {
        CommPacket request(fd, 0);
        if (request.get_commtype() != COMM_REQ_FILE)
            return 2;
        FileBulkPacket(request.get_strdata(), 0, nullptr).send(fd, 0);
    }
    CommPacket end(fd, 0);
    if (end.get_commtype() != COMM_END)
        return 3;
    CommPacket(COMM_END).send(fd, 0);
    return 0;
}

// A folder of its own for each case, removed at the end.
class Growth : public childproc::TempDirTest {
protected:
    void SetUp() override
    {
        childproc::TempDirTest::SetUp();
        setDefaults();
        resetCmdLine();
        verbosity = 0;
        logToScreenToo = 0;
        // The log is opened for every line: the null device keeps that cost
        // from hiding the cost of the lists themselves.
        logFileName = "/dev/null";
    }
    void TearDown() override
    {
        setDefaults();
        resetCmdLine();
        childproc::TempDirTest::TearDown();
    }

    // The n files of a stem under the case's folder, as a list of names
    // that each start with a blank.
    std::string paths(char const* stem, char const* ending, unsigned n) const
    {
        std::string all;
        for (unsigned i = 0; i < n; ++i)
            all += " " + dir + name(stem, i) + ending;
        return all;
    }

    // Best CPU time of work(n) over RUNS runs; prepare(n) runs untimed first.
    // Files the client writes or reads are there before the clock runs: the
    // cost of creating a file depends on the file system's history.
    void createFiles(std::string const& stem, char const* ending)
    {
        fs::create_directories(fs::path(dir + stem).parent_path());
        for (unsigned i = 0; i < LARGE; ++i)
            close(open((dir + name(stem, i) + ending).c_str(), O_CREAT | O_WRONLY, 0644));
    }

    template <class Prepare, class Work>
    double best(unsigned n, Prepare prepare, Work work)
    {
        double least = 1e9;
        for (int r = 0; r < RUNS; ++r) {
            prepare(n);
            double start = cpuNow();
            work(n);
            double spent = cpuNow() - start;
            least = spent < least ? spent : least;
        }
        return least;
    }

    template <class Prepare, class Work>
    void expectLinear(char const* what, Prepare prepare, Work work)
    {
        double small = best(SMALL, prepare, work);
        double large = best(LARGE, prepare, work);
        // Below the clock's useful resolution a ratio means nothing: such a
        // list costs nothing worth measuring.
        double ratio = large / (small > 1e-4 ? small : 1e-4);
        std::printf("%s: %u names %.4f s, %u names %.4f s, ratio %.2f\n", what, SMALL, small, LARGE, large, ratio);
        EXPECT_LT(ratio, MAX_RATIO) << what << " grows faster than its length";
    }

    // One result phase against a peer that sends the message files of list
    // and serves them and the outputs, empty.
    void resultPhase(std::string const& list, unsigned outputs)
    {
        SocketPair sp;
        pid_t peer = runPeer(sp, [&](int fd) { return serveResults(fd, list, outputs); });
        {
            Silenced quiet;
            EXPECT_EQ(runResultPhase(sp.a), 0);
        }
        sp.a = -1; // closed by the result phase
        EXPECT_EQ(waitPeer(peer), 0);
    }
};

} // namespace

TEST_F(Growth, CommandLineLists)
{
    std::vector<std::string> args;
    auto prepare = [&](unsigned n) {
        setDefaults();
        resetCmdLine();
        args = {"xrbbldc", "-h", "h@1", "-b", "b", "-i"};
        for (unsigned i = 0; i < n; ++i)
            args.push_back(name("src/module_", i) + ".c");
        args.push_back("-o");
        for (unsigned i = 0; i < n; ++i)
            args.push_back(name("out/module_", i) + ".o");
    };
    auto work = [&](unsigned) {
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);
        EXPECT_EQ(processCmdLine(static_cast<int>(args.size()), argv.data()), 0);
    };
    expectLinear("command-line -i and -o values", prepare, work);
}

TEST_F(Growth, ResultPhaseMessageFiles)
{
    std::string list;
    createFiles("/m/COMPILER_LISTING_OF_MODULE_", "");
    auto prepare = [&](unsigned n) {
        msgfilePrefix = (dir + "/m/").c_str();
        list.clear();
        for (unsigned i = 0; i < n; ++i)
            list += name(i == 0 ? "COMPILER_LISTING_OF_MODULE_" : " COMPILER_LISTING_OF_MODULE_", i) + ".MSG";
    };
    auto work = [&](unsigned) { resultPhase(list, 0); };
    expectLinear("message files of the result phase", prepare, work);
}

TEST_F(Growth, ResultPhaseOutputs)
{
    createFiles("/o/object_file_of_module_", ".o");
    auto prepare = [&](unsigned n) { outputFiles = paths("/o/object_file_of_module_", ".o.BIN", n).c_str(); };
    auto work = [&](unsigned n) { resultPhase("", n); };
    expectLinear("outputs of the result phase", prepare, work);
}

TEST_F(Growth, RequestedInputs)
{
    createFiles("/i/source_file_of_module_", ".c");
    auto prepare = [&](unsigned n) { inputFiles = paths("/i/source_file_of_module_", ".c.TXT", n).c_str(); };
    auto work = [&](unsigned n) {
        SocketPair sp;
        pid_t peer = runPeer(sp, [&](int fd) {
            alarm(600);
            CommPacket start(fd, 0);
            if (start.get_commtype() != COMM_START)
                return 1;
            // Asked in an order of their own, not the list's.
            for (unsigned k = 0; k < n; ++k) {
                unsigned i = (k * 7919u) % n;
                std::string wanted = dir + name("/i/source_file_of_module_", i) + ".c.TXT";
                FileBulkPacket fetch(wanted.c_str(), static_cast<FILE*>(nullptr));
                recvBulk(fd, fetch, 0);
            }
            CommPacket(COMM_END).send(fd, 0);
            return 0;
        });
        int sock = sp.a;
        {
            Silenced quiet;
            EXPECT_EQ(runRequestPhase(sock), 1);
        }
        EXPECT_EQ(waitPeer(peer), 0);
    };
    expectLinear("files requested in the request phase", prepare, work);
}
