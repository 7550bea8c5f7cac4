#include "session.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "base/tcexp.h"
#include "clock.h"
#include "folders.h"
#include "log.h"
#include "protocol/xrbbld.h"
#include "runner.h"

bool SlotChannel::acquire(int& running)
{
    char reply[32] = {};
    running = 0;
    if (::send(fd_, "A", 1, MSG_NOSIGNAL) != 1)
        return false;
    ssize_t n;
    while ((n = ::recv(fd_, reply, sizeof reply - 1, 0)) < 0 && errno == EINTR) {
    }
    if (n < 2)
        return false;
    running = std::atoi(reply + 1);
    held_ = reply[0] == 'Y';
    return held_;
}

void SlotChannel::release()
{
    if (held_)
        ::send(fd_, "R", 1, MSG_NOSIGNAL);
    held_ = false;
}

namespace {

constexpr char const* MESSAGE_SUFFIXES[] = {".OUT", ".ERR", ".MSG"};

void sendControl(int sock, COMMTYPE_ code, std::string const& text = "")
{
    CommPacket pkt(code, text.c_str());
    sendUnchecked(pkt, sock);
}

// A list of the request in the order the user gave it: the client sends
// every list last entry first.
std::vector<std::string> collect(BuildPacket& req, char* (BuildPacket::*first)(), char* (BuildPacket::*next)())
{
    std::vector<std::string> all;
    for (char* s = (req.*first)(); s != nullptr; s = (req.*next)())
        all.emplace_back(s);
    std::reverse(all.begin(), all.end());
    return all;
}

std::string text(char const* s)
{
    return s != nullptr ? s : "";
}

bool isMessageName(std::string const& name)
{
    if (name.empty() || name[0] == '.' || name.find_first_of(" \t\n\\/") != std::string::npos)
        return false;
    for (char const* suffix : MESSAGE_SUFFIXES)
        if (name.size() > 4 && name.compare(name.size() - 4, 4, suffix) == 0)
            return true;
    return false;
}

void setIdleLimit(int sock, int seconds)
{
    if (seconds <= 0)
        return;
    timeval tv{};
    tv.tv_sec = seconds;
    ::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

class BuildSession {
public:
    BuildSession(int sock, ServerConfig const& config, SlotChannel& slots)
        : sock_(sock), config_(config), slots_(slots), root_(buildFolder(config, getpid())), work_(root_ + "/work"),
          messages_(root_ + "/messages")
    {}

    void run()
    {
        if (!checkCredentials())
            return;
        for (std::string const& folder : {work_, messages_}) {
            std::string why = makeFolders(folder, 0700);
            if (!why.empty()) {
                refuse("cannot make the build folder " + folder + ": " + why);
                return;
            }
        }
        LocalePacket locale(sock_);
        clientCodepage_ = text(locale.get_clientCodepage());
        serverCodepage_ = text(locale.get_serverCodepage());
        BuildPacket req(sock_);
        inputs_ = collect(req, &BuildPacket::get_firstInput, &BuildPacket::get_nextInput);
        deps_ = collect(req, &BuildPacket::get_firstInclude, &BuildPacket::get_nextInclude);
        outputs_ = collect(req, &BuildPacket::get_firstOutput, &BuildPacket::get_nextOutput);
        std::string script;
        if (!findScript(req, script) || !prepareOutputs() || !fetchInputs())
            return;

        BuildRun build = describeRun(req, script);
        std::string name = text(req.get_buildScriptName());
        logLine("build " + name + " running in " + work_);
        sendControl(sock_, COMM_MESSAGE, "XRBBLDS: running build script " + name + "\n");
        RunResult ran = runBuild(build);
        slots_.release();
        bool good = false;
        std::string verdict = verdictText(ran, req.get_goodRc(), text(req.get_goodCond()), missingOutputs(), good);
        logLine("build " + name + (good ? " good: " : " failed: ") + withoutPrefixes(verdict));
        if (ran.clientLeft)
            return;
        collectMessageFiles();
        sendControl(sock_, COMM_END);
        finish(good, verdict);
    }

    // Why the session ended early, when it knows better than the exception.
    std::string const& endReason() const { return endReason_; }

private:
    bool refuse(std::string const& why)
    {
        logLine("refused: " + why);
        sendControl(sock_, COMM_ERROR, "XRBBLDS: " + why + "\n");
        return false;
    }

    bool checkCredentials()
    {
        if (config_.users.empty())
            return true;
        AuthPacket auth(sock_);
        std::string user = text(auth.get_userid());
        std::string password = text(auth.get_password());
        for (Credential const& c : config_.users)
            if (c.user == user && c.password == password) {
                user_ = user;
                return true;
            }
        return refuse("user " + user + " is not authorised or the password is not valid");
    }

    // Fetches one file of the request.
    bool fetchInto(std::string const& wireName, std::string const& localPath, std::string& why)
    {
        std::string::size_type slash = localPath.rfind('/');
        if (slash != std::string::npos) {
            why = makeFolders(localPath.substr(0, slash), 0755);
            if (!why.empty()) {
                why = localPath.substr(0, slash) + ": " + why;
                return false;
            }
        }
        FILE* f = std::fopen(localPath.c_str(), "wb");
        if (f == nullptr) {
            why = localPath + ": " + std::strerror(errno);
            return false;
        }
        FileBulkPacket bulk(wireName.c_str(), f);
        try {
            recvBulk(sock_, bulk, 0);
        } catch (TCException*) {
            // The client answers a file it cannot send with COMM_ERROR and
            // then sends nothing more: there is nobody left to refuse.
            bool silent = errno == EAGAIN || errno == EWOULDBLOCK;
            endReason_ = "the client did not send " + wireName + (silent ? " within the idle time-out" : "");
            throw;
        }
        return true;
    }

    bool findScript(BuildPacket& req, std::string& path)
    {
        std::string fileName = text(req.get_buildScriptFileName());
        int type = req.get_buildScriptType();
        std::string why;
        if (!fileName.empty() && (type == 26 || type == 27)) {
            path = root_ + "/script";
            if (!fetchInto(fileName + (type == 27 ? ".BIN" : ".TXT"), path, why))
                return refuse("cannot store the build script file: " + why);
            ::chmod(path.c_str(), 0700);
            return true;
        }
        std::string name = text(req.get_buildScriptName());
        if (!isPlainName(name))
            return refuse("build script name '" + name + "' is not valid");
        path = config_.scriptsDir + "/" + name;
        struct stat st;
        if (::stat(path.c_str(), &st) != 0)
            return refuse("build script " + name + " not found in " + config_.scriptsDir + ": " + std::strerror(errno));
        if (!S_ISREG(st.st_mode) || ::access(path.c_str(), X_OK) != 0)
            return refuse("build script " + path + " is not an executable file");
        return true;
    }

    // Every output entry must stay inside the working folder; its folders
    // are made, so that a script can write "obj/a.o" at once.
    bool prepareOutputs()
    {
        for (std::string const& o : outputs_) {
            std::string local;
            if (!workPath(o, local))
                return refuse("output file name '" + o + "' leaves the work folder");
            std::string::size_type slash = local.rfind('/');
            if (slash == std::string::npos)
                continue;
            std::string folder = work_ + "/" + local.substr(0, slash);
            std::string why = makeFolders(folder, 0755);
            if (!why.empty())
                return refuse("cannot make the folder " + folder + ": " + why);
        }
        return true;
    }

    bool fetchInputs()
    {
        std::vector<std::string> files = inputs_;
        files.insert(files.end(), deps_.begin(), deps_.end());
        for (std::string const& name : files) {
            std::string local;
            if (!workPath(name, local))
                return refuse("file name '" + name + "' leaves the work folder");
            if (isSuffix(name.c_str(), ".NON"))
                continue;
            std::string why;
            if (!fetchInto(name, work_ + "/" + local, why))
                return refuse("cannot store " + local + ": " + why);
        }
        return true;
    }

    static std::string localList(std::vector<std::string> const& names)
    {
        std::string all;
        for (std::string const& n : names) {
            std::string local;
            if (workPath(n, local))
                all += (all.empty() ? "" : "\n") + local;
        }
        return all;
    }

    BuildRun describeRun(BuildPacket& req, std::string const& script)
    {
        BuildRun build;
        build.script = script;
        build.folder = work_;
        std::string parms = text(req.get_buildParms());
        std::istringstream words(parms);
        for (std::string w; words >> w;)
            build.args.push_back(w);
        // The client's variables first, so that the server's own win.
        for (std::string const& v : collect(req, &BuildPacket::get_firstVar, &BuildPacket::get_nextVar))
            build.env.push_back(decodeBlanks(v));
        int minutes = req.get_timeout();
        build.env.push_back("XRB_SCRIPT=" + text(req.get_buildScriptName()));
        build.env.push_back("XRB_INPUTS=" + localList(inputs_));
        build.env.push_back("XRB_DEPS=" + localList(deps_));
        build.env.push_back("XRB_OUTPUTS=" + localList(outputs_));
        build.env.push_back("XRB_PARMS=" + parms);
        build.env.push_back("XRB_LOCATION=" + text(req.get_buildLoc()));
        build.env.push_back("XRB_OPTIONS=" + std::to_string(req.get_opts()));
        build.env.push_back("XRB_TIMEOUT=" + std::to_string(minutes > 0 ? minutes : 0));
        build.env.push_back("XRB_GOOD_RC=" + std::to_string(req.get_goodRc()));
        build.env.push_back("XRB_GOOD_COND=" + text(req.get_goodCond()));
        build.env.push_back("XRB_PROCLIB=" + text(req.get_proclib()));
        build.env.push_back("XRB_USER=" + user_);
        build.env.push_back("XRB_CLIENT_CODEPAGE=" + clientCodepage_);
        build.env.push_back("XRB_SERVER_CODEPAGE=" + serverCodepage_);
        build.env.push_back("XRB_MSGDIR=" + messages_);
        build.stdoutPath = messages_ + "/STDOUT.OUT";
        build.stderrPath = messages_ + "/STDERR.ERR";
        build.timeLimitSeconds = minutes > 0 ? minutes * 60 : 0;
        build.clientSocket = sock_;
        return build;
    }

    std::vector<std::string> missingOutputs()
    {
        std::vector<std::string> missing;
        for (std::string const& o : outputs_) {
            std::string local;
            struct stat st;
            if (isSuffix(o.c_str(), ".NON") || !workPath(o, local))
                continue;
            if (::stat((work_ + "/" + local).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                missing.push_back(local);
        }
        return missing;
    }

    static std::string withoutPrefixes(std::string verdict)
    {
        std::string::size_type p;
        while ((p = verdict.find("XRBBLDS: ")) != std::string::npos)
            verdict.erase(p, 9);
        return verdict;
    }

    // The script's standard output and error, and the message files it
    // left in XRB_MSGDIR; empty ones are not sent.
    void collectMessageFiles()
    {
        DIR* d = ::opendir(messages_.c_str());
        if (d == nullptr)
            return;
        std::vector<std::string> names;
        while (dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            struct stat st;
            if (!isMessageName(name) || ::lstat((messages_ + "/" + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
                st.st_size == 0)
                continue;
            names.push_back(name);
        }
        ::closedir(d);
        std::sort(names.begin(), names.end(), [](std::string const& a, std::string const& b) {
            // The script's own output first, then its files by name.
            auto rank = [](std::string const& n) { return n == "STDOUT.OUT" ? 0 : n == "STDERR.ERR" ? 1 : 2; };
            return rank(a) != rank(b) ? rank(a) < rank(b) : a < b;
        });
        messageFiles_ = names;
    }

    void finish(bool good, std::string const& verdict)
    {
        CommPacket ask(sock_, 0);
        if (ask.get_commtype() != COMM_REQ_RESULT)
            return;
        BuildResPacket result;
        result.set_result(good ? 1 : 0);
        result.set_msg(verdict.c_str(), 0);
        std::string list;
        for (std::string const& m : messageFiles_)
            list += (list.empty() ? "" : " ") + m;
        if (!list.empty())
            result.set_msgfiles(list.c_str());
        result.send(sock_, 0);
        serveResults();
    }

    // Answers the client's file requests until it ends the session.
    void serveResults()
    {
        while (true) {
            CommPacket ask(sock_, 0);
            COMMTYPE_ code = ask.get_commtype();
            if (code == COMM_END) {
                sendControl(sock_, COMM_END);
                return;
            }
            if (code != COMM_REQ_FILE)
                return;
            std::string name = text(ask.get_strdata());
            std::string path;
            if (!resolveResult(name, path)) {
                refuse("no such result file: " + name);
                return;
            }
            FILE* f = std::fopen(path.c_str(), "rb");
            if (f == nullptr) {
                refuse("cannot read result file " + name + ": " + std::strerror(errno));
                return;
            }
            FileBulkPacket bulk(name.c_str(), f);
            sendBulk(sock_, bulk, 0);
        }
    }

    bool resolveResult(std::string const& name, std::string& path)
    {
        for (std::string const& m : messageFiles_)
            if (m == name) {
                path = messages_ + "/" + name;
                return true;
            }
        for (std::string const& o : outputs_)
            if (o == name) {
                std::string local;
                if (!workPath(name, local))
                    return false;
                path = work_ + "/" + local;
                return true;
            }
        return false;
    }

    int sock_;
    ServerConfig const& config_;
    SlotChannel& slots_;
    std::string root_;     // the build's own folder
    std::string work_;     // where the build script runs
    std::string messages_; // its message files
    std::string user_;
    std::string clientCodepage_, serverCodepage_;
    std::vector<std::string> inputs_, deps_, outputs_;
    std::vector<std::string> messageFiles_;
    std::string endReason_;
};

// Why a session ended early, for the log.
std::string endedBecause(int err, int64_t silentMs, ServerConfig const& config)
{
    if ((err == EAGAIN || err == EWOULDBLOCK) ||
        (config.idleTimeout > 0 && silentMs >= int64_t(config.idleTimeout) * 1000 - 200))
        return "the client was silent for " + std::to_string(config.idleTimeout) + " s; dropped";
    return "the client closed the connection or sent something unexpected";
}

void serveBuild(int sock, std::string const& peer, ServerConfig const& config, SlotChannel& slots)
{
    int running = 0;
    if (!slots.acquire(running)) {
        logLine("busy: " + std::to_string(running) + " of " + std::to_string(config.jobs) + " builds running; " + peer +
                " told to retry in 10 s");
        sendControl(sock, COMM_BUSY, "XRBBLDS: all " + std::to_string(config.jobs) + " build slots are taken\n");
        return;
    }
    logLine("build session for " + peer + " (" + std::to_string(running) + " of " + std::to_string(config.jobs) +
            " builds running)");
    BuildSession session(sock, config, slots);
    try {
        session.run();
    } catch (TCException* e) {
        int err = errno;
        std::string why = session.endReason();
        if (why.empty())
            why = text(e->getMessage()) + " (" + endedBecause(err, 0, config) + ")";
        logLine("session ended: " + why);
        delete e;
    }
    slots.release();
    std::string root = buildFolder(config, getpid());
    if (config.keepWork)
        logLine("build folder kept: " + root);
    else
        removeTree(root);
}

} // namespace

void serveConnection(int sock, std::string const& peer, ServerConfig const& config, SlotChannel& slots)
{
    setIdleLimit(sock, config.idleTimeout);
    int64_t started = monotonicMs();
    CommPacket first(sock, 0);
    int err = errno;
    switch (first.get_commtype()) {
    case COMM_PING:
        sendControl(sock, COMM_MESSAGE, config.banner + "\n");
        logLine("server test answered for " + peer);
        break;
    case COMM_START: serveBuild(sock, peer, config, slots); break;
    case COMM_NONE:
        logLine("connection from " + peer +
                " without an opening packet: " + endedBecause(err, monotonicMs() - started, config));
        break;
    default:
        logLine("connection from " + peer + " opened with control code " + std::to_string(first.get_commtype()) +
                "; closed");
    }
}
