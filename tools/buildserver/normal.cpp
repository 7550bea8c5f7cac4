#include "normal.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "clock.h"
#include "folders.h"
#include "log.h"
#include "runner.h"
#include "session.h"

namespace {

// Connections served at once, builds or not; beyond it new connections wait
// in the listen queue, so that a flood of idle peers cannot take every
// process and descriptor of the machine.
constexpr size_t MAX_SESSIONS = 256;

// How long sessions get to end after SIGTERM before they are killed.
constexpr int STOP_GRACE_MS = 3000;

int signalPipe[2] = {-1, -1};
volatile sig_atomic_t stopRequested = 0;

void onSignal(int sig)
{
    int saved = errno;
    if (sig == SIGTERM || sig == SIGINT)
        stopRequested = 1;
    char c = static_cast<char>(sig);
    ssize_t ignored = ::write(signalPipe[1], &c, 1);
    (void)ignored;
    errno = saved;
}

void onSessionSignal(int)
{
    stopRunningScript();
    _exit(1);
}

void handle(int sig, void (*fn)(int))
{
    struct sigaction sa {};
    sa.sa_handler = fn;
    sigemptyset(&sa.sa_mask);
    ::sigaction(sig, &sa, nullptr);
}

struct Session {
    pid_t pid;
    int control; // the dispatcher's end of the slot channel; -1 when closed
    bool holdsSlot;
    std::string peer;
};

std::string peerName(sockaddr_in const& sa)
{
    char addr[INET_ADDRSTRLEN] = "?";
    ::inet_ntop(AF_INET, &sa.sin_addr, addr, sizeof addr);
    return std::string(addr) + ":" + std::to_string(ntohs(sa.sin_port));
}

class Dispatcher {
public:
    Dispatcher(int listenFd, ServerConfig const& config) : listenFd_(listenFd), config_(config) {}

    int run()
    {
        while (!stopRequested || !sessions_.empty()) {
            if (stopRequested && !stopping_)
                beginStop();
            if (stopping_ && monotonicMs() >= killAt_)
                killAll();
            bool accepting = !stopping_ && sessions_.size() < MAX_SESSIONS &&
                             (config_.maxConnections == 0 || accepted_ < config_.maxConnections);
            if (!accepting && !stopping_ && sessions_.empty())
                break; // --max reached and every session done
            std::vector<pollfd> fds;
            fds.push_back({signalPipe[0], POLLIN, 0});
            if (accepting)
                fds.push_back({listenFd_, POLLIN, 0});
            for (Session const& s : sessions_)
                if (s.control >= 0)
                    fds.push_back({s.control, POLLIN, 0});
            int r = ::poll(fds.data(), fds.size(), stopping_ ? 100 : -1);
            if (r < 0 && errno != EINTR) {
                logLine(std::string("poll failed: ") + std::strerror(errno));
                return 1;
            }
            drainSignals();
            reap();
            for (pollfd const& p : fds) {
                if (p.revents == 0 || p.fd == signalPipe[0])
                    continue;
                if (p.fd == listenFd_)
                    acceptOne();
                else
                    serveControl(p.fd);
            }
        }
        if (!config_.keepWork)
            removeTree(config_.runDir);
        else
            logLine("build folders kept in " + config_.runDir);
        logLine("stopped");
        return 0;
    }

private:
    void drainSignals()
    {
        char buf[64];
        while (::read(signalPipe[0], buf, sizeof buf) > 0) {
        }
    }

    void acceptOne()
    {
        sockaddr_in sa{};
        socklen_t len = sizeof sa;
        int sock = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_CLOEXEC);
        if (sock < 0) {
            if (errno != EINTR && errno != EAGAIN && errno != ECONNABORTED)
                logLine(std::string("accept failed: ") + std::strerror(errno));
            // Out of descriptors or memory: give running sessions a moment.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                ::usleep(100000);
            return;
        }
        ++accepted_;
        std::string peer = peerName(sa);
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
            logLine("cannot serve " + peer + ": " + std::strerror(errno));
            ::close(sock);
            return;
        }
        pid_t pid = ::fork();
        if (pid < 0) {
            logLine("cannot serve " + peer + ": " + std::strerror(errno));
            ::close(sock);
            ::close(pair[0]);
            ::close(pair[1]);
            return;
        }
        if (pid == 0)
            runSession(sock, pair[1], peer);
        ::close(sock);
        ::close(pair[1]);
        sessions_.push_back({pid, pair[0], false, peer});
    }

    [[noreturn]] void runSession(int sock, int control, std::string const& peer)
    {
        // The session's own handlers first: the dispatcher's write to the
        // signal pipe closed below.
        handle(SIGCHLD, SIG_DFL);
        handle(SIGTERM, onSessionSignal);
        handle(SIGINT, onSessionSignal);
        // Nothing of the dispatcher stays open in the session.
        ::close(listenFd_);
        ::close(signalPipe[0]);
        ::close(signalPipe[1]);
        for (Session const& s : sessions_)
            if (s.control >= 0)
                ::close(s.control);
        SlotChannel slots(control);
        serveConnection(sock, peer, config_, slots);
        ::close(sock);
        _exit(0);
    }

    Session* find(int control)
    {
        for (Session& s : sessions_)
            if (s.control == control)
                return &s;
        return nullptr;
    }

    void serveControl(int fd)
    {
        Session* s = find(fd);
        if (s == nullptr)
            return;
        char msg[8];
        ssize_t n = ::recv(fd, msg, sizeof msg, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return;
        if (n <= 0) {
            // The session has ended or is ending; its slot is freed when it is reaped.
            ::close(fd);
            s->control = -1;
            return;
        }
        if (msg[0] == 'A') {
            bool granted = !stopping_ && !s->holdsSlot && running_ < config_.jobs;
            if (granted) {
                s->holdsSlot = true;
                ++running_;
            }
            std::string reply = (granted ? "Y" : "N") + std::to_string(running_);
            ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        } else if (msg[0] == 'R' && s->holdsSlot) {
            s->holdsSlot = false;
            --running_;
        }
    }

    void reap()
    {
        int status;
        pid_t pid;
        while ((pid = ::waitpid(-1, &status, WNOHANG)) > 0) {
            for (size_t i = 0; i < sessions_.size(); ++i) {
                Session& s = sessions_[i];
                if (s.pid != pid)
                    continue;
                if (s.holdsSlot)
                    --running_;
                if (s.control >= 0)
                    ::close(s.control);
                if (WIFSIGNALED(status) && !stopping_)
                    logLine("the session for " + s.peer + " (process " + std::to_string(pid) + ") ended by signal " +
                            std::to_string(WTERMSIG(status)));
                // A session that died did not clean up after itself.
                std::string folder = buildFolder(config_, pid);
                struct stat st;
                if (!config_.keepWork && ::lstat(folder.c_str(), &st) == 0)
                    removeTree(folder);
                sessions_.erase(sessions_.begin() + static_cast<long>(i));
                break;
            }
        }
    }

    void beginStop()
    {
        stopping_ = true;
        killAt_ = monotonicMs() + STOP_GRACE_MS;
        if (!sessions_.empty())
            logLine("stopping: ending " + std::to_string(sessions_.size()) + " session(s)");
        for (Session const& s : sessions_)
            ::kill(s.pid, SIGTERM);
    }

    void killAll()
    {
        for (Session const& s : sessions_)
            ::kill(s.pid, SIGKILL);
        killAt_ = monotonicMs() + 1000;
    }

    int listenFd_;
    ServerConfig const& config_;
    std::vector<Session> sessions_;
    int running_ = 0;
    int accepted_ = 0;
    bool stopping_ = false;
    int64_t killAt_ = 0;
};

} // namespace

int runNormal(int listenFd, ServerConfig const& config, std::string const& address, int port)
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        logLine(std::string("cannot start: ") + std::strerror(errno));
        return 1;
    }
    handle(SIGCHLD, onSignal);
    handle(SIGTERM, onSignal);
    handle(SIGINT, onSignal);
    logLine("serving builds on " + address + " port " + std::to_string(port) + ": scripts " + config.scriptsDir +
            ", build folders in " + config.runDir + ", at most " + std::to_string(config.jobs) +
            " builds at once, idle time-out " +
            (config.idleTimeout > 0 ? std::to_string(config.idleTimeout) + " s" : std::string("none")) +
            (config.users.empty() ? "" : ", credentials asked"));
    Dispatcher dispatcher(listenFd, config);
    return dispatcher.run();
}
