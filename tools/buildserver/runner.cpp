#include "runner.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "protocol/filexfer.h"

namespace {

std::string decodeBlanks(std::string text)
{
    std::string::size_type p;
    while ((p = text.find("%20")) != std::string::npos)
        text.replace(p, 3, " ");
    return text;
}

[[noreturn]] void startChild(BuildRun const& run, std::vector<std::string> const& args)
{
    int out = open(run.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(run.stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int in = open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0 || chdir(run.folder.c_str()) != 0)
        _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    for (std::string const& v : run.variables) {
        std::string entry = decodeBlanks(v);
        std::string::size_type eq = entry.find('=');
        if (eq != std::string::npos && eq > 0)
            setenv(entry.substr(0, eq).c_str(), entry.substr(eq + 1).c_str(), 1);
    }
    std::vector<char*> argv;
    for (std::string const& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(run.script.c_str(), argv.data());
    dprintf(2, "xrbblds: cannot run %s: %s\n", run.script.c_str(), std::strerror(errno));
    _exit(127);
}

}  // namespace

bool judge(int rc, int goodRc, std::string const& cond)
{
    if (cond == "EQ") return rc == goodRc;
    if (cond == "NE") return rc != goodRc;
    if (cond == "GE") return rc >= goodRc;
    if (cond == "LE") return rc <= goodRc;
    if (cond == "LT") return rc < goodRc;
    if (cond == "GT") return rc > goodRc;
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

bool runBuild(BuildRun const& run, int goodRc, std::string const& cond, std::string& verdict)
{
    std::vector<std::string> args{run.script};
    std::istringstream words(run.parameters);
    for (std::string w; words >> w;)
        args.push_back(w);

    pid_t child = fork();
    if (child < 0) {
        verdict = "XRBBLDS: cannot start the build script\n";
        return false;
    }
    if (child == 0)
        startChild(run, args);

    time_t started = time(nullptr);
    int status = 0;
    bool timedOut = false;
    while (true) {
        pid_t r = waitpid(child, &status, run.timeLimitSeconds > 0 ? WNOHANG : 0);
        if (r == child)
            break;
        if (r < 0 && errno != EINTR) {
            verdict = "XRBBLDS: lost the build script\n";
            return false;
        }
        if (r == 0) {
            if (time(nullptr) - started >= run.timeLimitSeconds) {
                kill(child, SIGKILL);
                timedOut = true;
            }
            usleep(20000);
        }
    }
    std::ostringstream text;
    int rc;
    if (timedOut) {
        text << "XRBBLDS: the build script exceeded its time limit and was stopped\n";
        rc = -1;
    } else if (WIFEXITED(status)) {
        rc = WEXITSTATUS(status);
    } else {
        text << "XRBBLDS: the build script ended by signal " << WTERMSIG(status) << "\n";
        rc = -1;
    }
    bool good = !timedOut && rc >= 0 && judge(rc, goodRc, cond);
    text << "XRBBLDS: return code " << rc << ", good when " << cond << " " << goodRc << ": "
         << (good ? "build good" : "build failed") << "\n";
    verdict = text.str();
    return good;
}
