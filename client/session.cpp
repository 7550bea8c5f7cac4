// The server test and the request phase: the client answers each control
// packet of the server until the server ends the phase.
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/tcexp.h"
#include "base/tcstring.h"
#include "client/conversation.h"
#include "client/settings.h"
#include "client/xrbbldc.h"
#include "msg/msg.h"
#include "net/tcpfns.h"
#include "protocol/xrbbld.h"
#include "trace/fhgtrace.h"

namespace {

enum class Step { next, done, failed };

void sendStart(int sock, int timeoutValue)
{
    CommPacket start(COMM_START);
    start.set_strdata(nlsLanguage);
    start.set_intdata(timeoutValue);
    start.send(sock, 0);
}

// The words (runs of bytes above 32) of a list, last first, in one pass:
// asking for word k of a long list rescans it from the start each time.
std::vector<std::string> wordsLastFirst(char const* list)
{
    std::vector<std::string> words;
    char const* p = list ? list : "";
    while (*p) {
        while (*p >= 1 && static_cast<unsigned char>(*p) <= 32)
            ++p;
        char const* start = p;
        while (static_cast<unsigned char>(*p) > 32)
            ++p;
        if (p > start)
            words.emplace_back(start, p);
    }
    return std::vector<std::string>(words.rbegin(), words.rend());
}

void sendBuildRequest(int sock)
{
    BuildPacket request(buildScript, buildScriptFileName, buildScriptFileType,
                        buildLocation, goodcond, std::atoi(goodrc),
                        std::atoi(timeout), buildOpts);
    // Each list reaches the server last entry first.
    for (std::string const& w : wordsLastFirst(inputFiles))
        request.add_input(w.c_str());
    for (std::string const& w : wordsLastFirst(depFiles))
        request.add_dep(w.c_str());
    for (std::string const& w : wordsLastFirst(outputFiles))
        request.add_output(w.c_str());
    for (std::string const& w : wordsLastFirst(varList))
        request.add_var(w.c_str());
    request.set_parms(buildParameters);
    request.set_proclib(buildProclib);
    if (verbosity == 3)
        request.dump();
    request.send(sock, 0);
}

std::string withSlashes(char const* text)
{
    std::string name(text != nullptr ? text : "");
    for (char& c : name)
        if (c == '\\')
            c = '/';
    return name;
}

// True when a word of the list, read with slashes for backslashes, is the
// name.  One pass over the text: the list is checked on every request, and
// word k of it costs a scan from the start.
bool listed(char const* list, std::string const& name)
{
    char const* p = list != nullptr ? list : "";
    while (*p) {
        while (*p >= 1 && static_cast<unsigned char>(*p) <= 32)
            ++p;
        char const* start = p;
        while (static_cast<unsigned char>(*p) > 32)
            ++p;
        size_t n = static_cast<size_t>(p - start);
        if (n == 0 || n != name.size())
            continue;
        size_t i = 0;
        while (i < n && (start[i] == '\\' ? '/' : start[i]) == name[i])
            ++i;
        if (i == n)
            return true;
    }
    return false;
}

// The server may fetch only what the user offered: the input and dependent
// files and the build script file.  Anything else would let a server read
// any file of the user's.
bool requestable(std::string const& name)
{
    if (listed(inputFiles, name) || listed(depFiles, name))
        return true;
    if (buildScriptFileName.length() == 0)
        return false;
    TCString script(buildScriptFileName);
    script.change(" ", "%20", 1, 0xFFFFFFFFu);
    std::string base = withSlashes(script);
    std::string plain = withSlashes(buildScriptFileName);
    for (std::string const& s : {base, plain})
        if (name == s || name == s + ".TXT" || name == s + ".BIN")
            return true;
    return false;
}

Step refuseRequest(int sock, int message, std::string const& name)
{
    CommPacket refusal(COMM_ERROR);
    refusal.send(sock, 0);
    char const* shown = stripSuffix(name.c_str());
    Error("%s", msgGet(message, shown != nullptr ? shown : ""));
    return Step::failed;
}

Step sendRequestedFile(int sock, char const* requested)
{
    std::string name = withSlashes(requested);
    if (!requestable(name)) {
        XRB_TRACE_AT("xrbbldc", "Refusing request for unlisted file %s", name.c_str());
        return refuseRequest(sock, 79, name);
    }
    FILE* file = openFile4Read(name.c_str());
    if (file != nullptr) {
        FileBulkPacket bulk(name.c_str(), file);
        bulk.sendBulk(sock, 0);
        return Step::next;
    }
    return refuseRequest(sock, 48, name);
}

void waitAndReconnect(int& sock)
{
    Disconnect(sock);
    _talk("%s", msgGet(24));
    sleep(10);
    sock = connect2server();
    // The re-sent opening packet carries no time-out.
    sendStart(sock, 0);
}

Step actOn(int& sock, CommPacket& pkt)
{
    char const* text = pkt.get_strdata();
    if (text == nullptr)
        text = "";
    switch (pkt.get_commtype()) {
    case COMM_NONE:
        Error("%s", msgGet(53));
        return Step::failed;
    case COMM_ERROR:
        Error("%s", msgGet(47));
        Error("%s", text);
        return Step::failed;
    case COMM_END:
        return Step::done;
    case COMM_REQ_AUTH: {
        AuthPacket auth(buildUserid, buildPassword);
        auth.send(sock, 1);
        return Step::next;
    }
    case COMM_REQ_BUILD:
        sendBuildRequest(sock);
        return Step::next;
    case COMM_REQ_FILE:
        return sendRequestedFile(sock, std::string(text).c_str());
    case COMM_MESSAGE:
        if (verbosity != 0)
            _talk("%s", text);
        return Step::next;
    case COMM_BUSY:
        waitAndReconnect(sock);
        return Step::next;
    case COMM_REQ_LOCALE: {
        LocalePacket locale(clientCodepage, serverCodepage);
        locale.send(sock, 0);
        return Step::next;
    }
    default:
        XRB_TRACE_AT("xrbbldc", "Ignoring control code %d", static_cast<int>(pkt.get_commtype()));
        return Step::next;
    }
}

}  // namespace

int runServerTest(int sock)
{
    try {
        CommPacket request(COMM_PING);
        request.set_strdata(nlsLanguage);
        request.send(sock, 0);

        CommPacket reply(sock, 0);
        if (reply.get_commtype() == COMM_NONE) {
            Error("%s", msgGet(53));
            return 1;
        }
        char const* text = reply.get_strdata();
        _talk("%s", text != nullptr ? text : "");
        char const* version = reply.get_version();
        peerVersion = version != nullptr ? version : "";
    } catch (TCException* e) {
        // The server did not answer within the wait limit.
        Error("%s", e->getMessage());
        delete e;
        return 1;
    }
    switch (checkVersion(peerVersion, myVersion)) {
    case -1:
        Error("%s", msgGet(108, "QVX"));
        return 1;
    case -2:
        Error("%s", msgGet(56, myVersion.getdata(), peerVersion.getdata()));
        return 1;
    default:
        return 0;
    }
}

int runRequestPhase(int& sock)
{
    Step step = Step::next;
    try {
        sendStart(sock, std::atoi(timeout));
        while (step == Step::next) {
            CommPacket pkt(sock, 0);
            step = actOn(sock, pkt);
        }
    } catch (TCException* e) {
        Error("%s", e->getMessage());
        delete e;
        step = Step::failed;
    }
    return step == Step::done ? 1 : 0;
}
