#include "runner.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "clock.h"
#include "protocol/filexfer.h"

namespace {

// The running script's process group, for stopRunningScript.
volatile sig_atomic_t runningGroup = 0;

[[noreturn]] void startChild(BuildRun const& run)
{
    // Its own group: a time-out or a departed client ends the script and
    // everything it started, and a Ctrl-C at the server's terminal does not
    // reach it directly.
    ::setpgid(0, 0);
    std::signal(SIGPIPE, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    int out = ::open(run.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = ::open(run.stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0 || ::chdir(run.folder.c_str()) != 0)
        _exit(127);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    for (std::string const& v : run.env) {
        std::string::size_type eq = v.find('=');
        if (eq != std::string::npos && eq > 0)
            ::setenv(v.substr(0, eq).c_str(), v.substr(eq + 1).c_str(), 1);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(run.script.c_str()));
    for (std::string const& a : run.args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(run.script.c_str(), argv.data());
    dprintf(2, "xrbblds: cannot run %s: %s\n", run.script.c_str(), std::strerror(errno));
    _exit(127);
}

bool clientGone(int sock)
{
    if (sock < 0)
        return false;
    pollfd p{sock, POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

} // namespace

void stopRunningScript()
{
    pid_t group = runningGroup;
    if (group > 0)
        ::kill(-group, SIGKILL);
}

std::string decodeBlanks(std::string text)
{
    std::string::size_type p = 0;
    while ((p = text.find("%20", p)) != std::string::npos)
        text.replace(p, 3, " "), ++p;
    return text;
}

bool judge(int rc, int goodRc, std::string const& cond)
{
    if (cond == "EQ")
        return rc == goodRc;
    if (cond == "NE")
        return rc != goodRc;
    if (cond == "GE")
        return rc >= goodRc;
    if (cond == "LE")
        return rc <= goodRc;
    if (cond == "LT")
        return rc < goodRc;
    if (cond == "GT")
        return rc > goodRc;
    return false;
}

bool isPlainName(std::string const& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos;
}

bool workPath(std::string const& wireName, std::string& local)
{
    char const* stripped = stripSuffix(wireName.c_str());
    std::string path = decodeBlanks(stripped != nullptr ? stripped : "");
    for (char& c : path)
        if (c == '\\')
            c = '/';
    while (!path.empty() && path[0] == '/')
        path.erase(0, 1);
    if (path.empty())
        return false;
    std::istringstream parts(path);
    std::string part;
    while (std::getline(parts, part, '/'))
        if (part == "..")
            return false;
    local = path;
    return true;
}

RunResult runBuild(BuildRun const& run)
{
    RunResult result;
    pid_t child = ::fork();
    if (child < 0) {
        result.started = false;
        return result;
    }
    if (child == 0)
        startChild(run);
    // Set here too, so that the group exists before anything may signal it.
    ::setpgid(child, child);
    runningGroup = child;

    int64_t deadline = run.timeLimitSeconds > 0 ? monotonicMs() + int64_t(run.timeLimitSeconds) * 1000 : 0;
    // Waited for without reaping it: while it stays a zombie its process
    // group id cannot be taken by another process, so ending the group
    // afterwards cannot hit a stranger.
    while (true) {
        siginfo_t info{};
        int r = ::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT);
        if (r == 0 && info.si_pid == child)
            break;
        if (r < 0 && errno != EINTR)
            break;
        if (deadline != 0 && monotonicMs() >= deadline && !result.timedOut) {
            result.timedOut = true;
            ::kill(-child, SIGKILL);
        }
        if (!result.clientLeft && !result.timedOut && clientGone(run.clientSocket)) {
            result.clientLeft = true;
            ::kill(-child, SIGKILL);
        }
        ::usleep(10000);
    }
    ::kill(-child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    runningGroup = 0;
    if (WIFEXITED(status)) {
        result.rc = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

std::string verdictText(RunResult const& result, int goodRc, std::string const& cond,
                        std::vector<std::string> const& missing, bool& good)
{
    std::ostringstream text;
    int rc = result.rc;
    if (!result.started) {
        text << "XRBBLDS: cannot start the build script\n";
        rc = -1;
    } else if (result.timedOut) {
        text << "XRBBLDS: the build script exceeded its time limit and was stopped\n";
        rc = -1;
    } else if (result.clientLeft) {
        text << "XRBBLDS: the client left during the build; the build was stopped\n";
        rc = -1;
    } else if (result.signal != 0) {
        text << "XRBBLDS: the build script ended by signal " << result.signal << "\n";
        rc = -1;
    }
    bool rcGood = rc >= 0 && judge(rc, goodRc, cond);
    if (rcGood)
        for (std::string const& m : missing)
            text << "XRBBLDS: output file " << m << " was not produced\n";
    good = rcGood && missing.empty();
    text << "XRBBLDS: return code " << rc << ", good when " << cond << " " << goodRc << ": "
         << (good     ? "build good"
             : rcGood ? "build failed, output files missing"
                      : "build failed")
         << "\n";
    return text.str();
}
