// The conversation's spine: preparation, connection, then the server test
// or the build session.
#include "client/xrbbldc.h"
#include "client/credentials.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "base/plainfile.h"
#include "base/tcexp.h"
#include "base/tcstring.h"
#include "client/conversation.h"
#include "client/settings.h"
#include "net/tcpfns.h"
#include "trace/fhgtrace.h"

std::string pidFileNameFor(std::string const& prefix)
{
    if (prefix.size() <= 1)
        return std::string();
    std::string::size_type slash = prefix.rfind('/');
    std::string folder = (slash == std::string::npos || slash == 0) ? prefix : prefix.substr(0, slash + 1);
    return folder + "xrbbldc.pid";
}

void writePidFile()
{
    std::string name = pidFileNameFor(msgfilePrefix.getdata());
    if (name.empty())
        return;
    pid = static_cast<int>(getpid());
    // The process-wide field only mirrors a name that fits it whole; the file
    // itself is always written under its full name.
    if (name.size() < sizeof pidFileName)
        std::snprintf(pidFileName, sizeof pidFileName, "%s", name.c_str());
    else
        pidFileName[0] = '\0';
    // The folder may be shared (-P /tmp/j_ puts the file in /tmp): a link
    // planted at the name is not followed, and only a plain file of our own,
    // with no other name, is emptied and written.  Otherwise no pid file.
    int fd = openPlainFile(name.c_str(), O_WRONLY | O_CREAT, 0666, Owner::meAlone);
    if (fd < 0)
        return;
    if (ftruncate(fd, 0) != 0 || (pidFile = ::fdopen(fd, "w")) == nullptr) {
        ::close(fd);
        return;
    }
    std::fprintf(pidFile, "%d ", pid);
    std::fclose(pidFile);
    pidFile = nullptr;
}

int connect2server(char const* host, char const* port)
{
    TCString h(host);
    TCString p(port);
    try {
        int sock = Connect(h, p, nullptr, nullptr, 1);
        setWaitLimit(sock, ioTimeoutFrom(std::getenv("XRB_IOTIMEOUT")));
        return sock;
    } catch (TCException* e) {
        Error("%s", e->getMessage());
        delete e;
    }
    std::exit(1);
}

int connect2server()
{
    return connect2server(serverHostName.getdata(), serverPort.getdata());
}

int processCmd()
{
    // A peer that has gone away must show as a failed send, and a write past
    // a file-size limit (ulimit -f) as a failed write: neither may kill us.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);

    logFileName = msgfilePrefix + logFileName;
    writePidFile();
    int sock = connect2server();
    XRB_TRACE_AT("xrbbldc", "Entering main processing");

    if (ping == 1) {
        warnIfPasswordNotStored();
        std::exit(runServerTest(sock));
    }

    // The old log goes before the session writes anything into it.
    std::remove(logFileName.getdata());
    warnIfPasswordNotStored();
    if (!runRequestPhase(sock))
        return 1;
    return runResultPhase(sock);
}
