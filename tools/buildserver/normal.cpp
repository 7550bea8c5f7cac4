#include "normal.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "base/tcexp.h"
#include "protocol/xrbbld.h"
#include "runner.h"

namespace {

void say(char const* fmt, std::string const& a = "", std::string const& b = "")
{
    std::fprintf(stderr, "xrbblds: ");
    std::fprintf(stderr, fmt, a.c_str(), b.c_str());
    std::fputc('\n', stderr);
}

void sendControl(int sock, COMMTYPE_ code, std::string const& text = "")
{
    CommPacket pkt(code, text.c_str());
    pkt.send(sock, 0);
}

int removeEntry(char const* path, struct stat const*, int, struct FTW*)
{
    return std::remove(path);
}

void removeTree(std::string const& path)
{
    nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

bool makeFolders(std::string const& path)
{
    for (std::string::size_type i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            std::string part = path.substr(0, i);
            if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
                return false;
        }
    }
    return true;
}

std::vector<std::string> collect(BuildPacket& req, char* (BuildPacket::*first)(),
                                 char* (BuildPacket::*next)())
{
    std::vector<std::string> all;
    for (char* s = (req.*first)(); s != nullptr; s = (req.*next)())
        all.emplace_back(s);
    return all;
}

struct Session {
    int sock;
    ServerConfig const& config;
    std::string root;      // the session's own folder
    std::string work;      // where the build script runs
    std::vector<std::string> outputs;
    std::vector<std::string> messageFiles;

    // Fetches one file of the request into the work folder.
    bool fetchInto(std::string const& wireName, std::string const& localPath)
    {
        std::string::size_type slash = localPath.rfind('/');
        if (slash != std::string::npos && !makeFolders(localPath.substr(0, slash)))
            return false;
        FILE* f = std::fopen(localPath.c_str(), "wb");
        if (f == nullptr)
            return false;
        FileBulkPacket bulk(wireName.c_str(), f);
        bulk.recvBulk(sock, 0);
        return true;
    }

    bool refuse(std::string const& text)
    {
        say("refused: %s", text);
        sendControl(sock, COMM_ERROR, "XRBBLDS: " + text + "\n");
        return false;
    }

    bool checkCredentials()
    {
        if (config.user.empty())
            return true;
        AuthPacket auth(sock);
        std::string user = auth.get_userid() ? auth.get_userid() : "";
        std::string password = auth.get_password() ? auth.get_password() : "";
        if (user != config.user || password != config.password)
            return refuse("user " + user + " is not authorised or the password is not valid");
        return true;
    }

    bool findScript(BuildPacket& req, std::string& path)
    {
        std::string fileName = req.get_buildScriptFileName() ? req.get_buildScriptFileName() : "";
        int type = req.get_buildScriptType();
        if (!fileName.empty() && (type == 26 || type == 27)) {
            path = root + "/script";
            if (!fetchInto(fileName + (type == 27 ? ".BIN" : ".TXT"), path))
                return refuse("cannot store the build script file");
            chmod(path.c_str(), 0755);
            return true;
        }
        std::string name = req.get_buildScriptName() ? req.get_buildScriptName() : "";
        if (!isPlainName(name))
            return refuse("build script name '" + name + "' is not valid");
        path = config.scriptsDir + "/" + name;
        if (access(path.c_str(), X_OK) != 0)
            return refuse("build script " + name + " not found");
        return true;
    }

    bool fetchInputs(BuildPacket& req)
    {
        std::vector<std::string> files =
            collect(req, &BuildPacket::get_firstInput, &BuildPacket::get_nextInput);
        std::vector<std::string> deps =
            collect(req, &BuildPacket::get_firstInclude, &BuildPacket::get_nextInclude);
        files.insert(files.end(), deps.begin(), deps.end());
        for (std::string const& name : files) {
            if (isSuffix(name.c_str(), ".NON"))
                continue;
            std::string local;
            if (!workPath(name, local))
                return refuse("file name '" + name + "' leaves the work folder");
            if (!fetchInto(name, work + "/" + local))
                return refuse("cannot store " + local);
        }
        return true;
    }

    // Answers the client's file requests until it ends the session.
    void serveResults()
    {
        while (true) {
            CommPacket ask(sock, 0);
            COMMTYPE_ code = ask.get_commtype();
            if (code == COMM_END) {
                sendControl(sock, COMM_END);
                return;
            }
            if (code != COMM_REQ_FILE)
                return;
            std::string name = ask.get_strdata() ? ask.get_strdata() : "";
            std::string path;
            if (!resolveResult(name, path)) {
                refuse("no such result file: " + name);
                return;
            }
            FILE* f = std::fopen(path.c_str(), "rb");
            if (f == nullptr) {
                refuse("cannot read result file " + name);
                return;
            }
            FileBulkPacket bulk(name.c_str(), f);
            bulk.sendBulk(sock, 0);
        }
    }

    bool resolveResult(std::string const& name, std::string& path)
    {
        for (std::string const& m : messageFiles)
            if (m == name) {
                path = root + "/" + name;
                return true;
            }
        for (std::string const& o : outputs)
            if (o == name) {
                std::string local;
                if (!workPath(name, local))
                    return false;
                path = work + "/" + local;
                return true;
            }
        return false;
    }

    void run()
    {
        if (!checkCredentials())
            return;
        LocalePacket locale(sock);
        BuildPacket req(sock);
        outputs = collect(req, &BuildPacket::get_firstOutput, &BuildPacket::get_nextOutput);
        std::string script;
        if (!findScript(req, script) || !fetchInputs(req))
            return;

        BuildRun build;
        build.script = script;
        build.folder = work;
        build.parameters = req.get_buildParms() ? req.get_buildParms() : "";
        build.variables = collect(req, &BuildPacket::get_firstVar, &BuildPacket::get_nextVar);
        build.stdoutPath = root + "/STDOUT.OUT";
        build.stderrPath = root + "/STDERR.ERR";
        build.timeLimitSeconds = req.get_timeout() > 0 ? req.get_timeout() * 60 : 0;
        sendControl(sock, COMM_MESSAGE, "XRBBLDS: running build script " +
                                            std::string(req.get_buildScriptName() ? req.get_buildScriptName() : "") + "\n");
        std::string verdict;
        bool good = runBuild(build, req.get_goodRc(), req.get_goodCond() ? req.get_goodCond() : "",
                             verdict);
        for (std::string const& o : outputs) {
            std::string local;
            struct stat st;
            if (isSuffix(o.c_str(), ".NON"))
                continue;
            if (!workPath(o, local) || stat((work + "/" + local).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
                good = false;
                verdict += "XRBBLDS: output file " + local + " was not produced\n";
            }
        }
        for (char const* m : {"STDOUT.OUT", "STDERR.ERR"}) {
            struct stat st;
            if (stat((root + "/" + m).c_str(), &st) == 0 && st.st_size > 0)
                messageFiles.emplace_back(m);
        }
        sendControl(sock, COMM_END);

        CommPacket ask(sock, 0);
        if (ask.get_commtype() != COMM_REQ_RESULT)
            return;
        BuildResPacket result;
        result.set_result(good ? 1 : 0);
        result.set_msg(verdict.c_str(), 0);
        std::string list;
        for (std::string const& m : messageFiles)
            list += (list.empty() ? "" : " ") + m;
        if (!list.empty())
            result.set_msgfiles(list.c_str());
        result.send(sock, 0);
        serveResults();
    }
};

void serveBuild(int sock, ServerConfig const& config)
{
    std::string base = config.workRoot.empty() ? "/tmp" : config.workRoot;
    std::string templ = base + "/xrbblds.XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) {
        sendControl(sock, COMM_ERROR, "XRBBLDS: cannot make a work folder\n");
        return;
    }
    Session s{sock, config, buf.data(), std::string(buf.data()) + "/work", {}, {}};
    mkdir(s.work.c_str(), 0755);
    try {
        s.run();
    } catch (TCException* e) {
        say("session ended: %s", e->getMessage());
        delete e;
    }
    if (config.keepWork)
        say("work folder kept: %s", s.root);
    else
        removeTree(s.root);
}

void serveConnection(int sock, ServerConfig const& config)
{
    CommPacket first(sock, 0);
    switch (first.get_commtype()) {
    case COMM_PING:
        sendControl(sock, COMM_MESSAGE, config.banner + "\n");
        break;
    case COMM_START:
        serveBuild(sock, config);
        break;
    default:
        say("connection without an opening packet");
    }
}

}  // namespace

int runNormal(int listenFd, ServerConfig const& config)
{
    for (int served = 0; config.maxConnections == 0 || served < config.maxConnections; ++served) {
        int sock = ::accept(listenFd, nullptr, nullptr);
        if (sock < 0) {
            if (errno == EINTR)
                continue;
            say("accept failed: %s", std::strerror(errno));
            return 1;
        }
        serveConnection(sock, config);
        ::close(sock);
    }
    return 0;
}
