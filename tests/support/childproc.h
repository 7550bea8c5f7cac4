// Runs a piece of test code in a forked child with its own environment, so
// that state read once per process (the trace settings, the locale) starts
// fresh.  Output of the child is captured; the child is killed if it hangs.
#ifndef XRB_TESTS_SUPPORT_CHILDPROC_H
#define XRB_TESTS_SUPPORT_CHILDPROC_H

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace childproc {

struct Result {
    int status = -1; // exit status, or -1 when killed or not started
    std::string out;
    std::string err;
};

inline std::string readAll(std::string const& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline std::string makeTempDir()
{
    char tmpl[] = "/tmp/xrbtestXXXXXX";
    char* d = mkdtemp(tmpl);
    return d != nullptr ? std::string(d) : std::string();
}

inline void removeTree(std::string const& dir)
{
    if (dir.rfind("/tmp/xrbtest", 0) != 0)
        return;
    std::string cmd = "rm -rf '" + dir + "'";
    if (std::system(cmd.c_str()) != 0) {
    }
}

// A test with a fresh folder of its own under /tmp, removed afterwards.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = makeTempDir();
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override { removeTree(dir); }
    std::string dir;
};

// Variables of the trace and the locale are cleared before env is applied.
inline Result run(std::vector<std::pair<std::string, std::string>> const& env, std::function<int()> const& body,
                  std::string const& dir = "", int timeoutSeconds = 30)
{
    Result r;
    char outTmpl[] = "/tmp/xrbchildoutXXXXXX";
    char errTmpl[] = "/tmp/xrbchilderrXXXXXX";
    int outFd = mkstemp(outTmpl);
    int errFd = mkstemp(errTmpl);
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(outFd, 1);
        dup2(errFd, 2);
        std::vector<std::string> names;
        for (char** e = environ; *e != nullptr; ++e) {
            std::string v = *e;
            std::string name = v.substr(0, v.find('='));
            if (name.rfind("XRB_", 0) == 0 || name.rfind("TC_", 0) == 0 || name.rfind("LC_", 0) == 0 || name == "LANG")
                names.push_back(name);
        }
        for (auto& n : names)
            unsetenv(n.c_str());
        for (auto& kv : env)
            setenv(kv.first.c_str(), kv.second.c_str(), 1);
        if (!dir.empty() && chdir(dir.c_str()) != 0)
            _exit(120);
        int rc = body();
        std::fflush(stdout);
        std::fflush(stderr);
        _exit(rc);
    }
    int status = 0;
    bool done = false;
    for (int i = 0; i < timeoutSeconds * 100 && pid > 0; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            done = true;
            break;
        }
        usleep(10000);
    }
    if (!done && pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    if (done && WIFEXITED(status))
        r.status = WEXITSTATUS(status);
    close(outFd);
    close(errFd);
    r.out = readAll(outTmpl);
    r.err = readAll(errTmpl);
    unlink(outTmpl);
    unlink(errTmpl);
    return r;
}

} // namespace childproc

#endif
