// The server test and the request phase: the client answers each control
// packet of the server until the server ends the phase.
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#include "base/tcexp.h"
#include "base/tcstring.h"
#include "base/util.h"
#include "client/conversation.h"
#include "client/givennames.h"
#include "client/settings.h"
#include "client/xrbbldc.h"
#include "msg/msg.h"
#include "net/tcpfns.h"
#include "protocol/xrbbld.h"
#include "trace/fhgtrace.h"

namespace {

enum class Step { next, done, failed };

// More of a refused name than any message can show.
constexpr size_t MAX_SHOWN = 65536;

void sendStart(int sock, int timeoutValue)
{
    CommPacket start(COMM_START);
    start.set_strdata(nlsLanguage);
    start.set_intdata(timeoutValue);
    sendUnchecked(start, sock);
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
    BuildPacket request(buildScript, buildScriptFileName, buildScriptFileType, buildLocation, goodcond,
                        std::atoi(goodrc), std::atoi(timeout), buildOpts);
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

// The files the user offered, by the name a request carries (backslashes
// read as slashes): the entries of the input and dependent lists, and the
// build script file.  Each maps to the name the user gave, so that "my
// file.c", which travels as "my%20file.c.TXT", is the file sent.  Built once
// for the whole request phase: a lookup costs the same for any list length.
class OfferedFiles {
public:
    OfferedFiles()
    {
        addList(inputFiles);
        addList(depFiles);
        if (buildScriptFileName.length() == 0)
            return;
        TCString script(buildScriptFileName);
        script.change(" ", "%20", 1, 0xFFFFFFFFu);
        std::string given(buildScriptFileName.getdata());
        for (char const* tag : {"", ".TXT", ".BIN"}) {
            add(std::string(script.getdata()) + tag, given + tag);
            add(given + tag, given + tag);
        }
    }

    // The name to open for a requested one, or nullptr when it was not offered.
    std::string const* find(std::string const& requested) const
    {
        auto it = byRequest_.find(requested);
        return it != byRequest_.end() ? &it->second : nullptr;
    }

    // No request longer than this can be an offered file.
    size_t longest() const { return longest_; }

private:
    void addList(char const* list)
    {
        for (std::string const& entry : wordsLastFirst(list))
            add(entry, givenNameOf(entry));
    }

    void add(std::string const& entry, std::string const& local)
    {
        std::string key = withSlashes(entry);
        longest_ = key.size() > longest_ ? key.size() : longest_;
        byRequest_.emplace(std::move(key), local);
    }

    std::unordered_map<std::string, std::string> byRequest_;
    size_t longest_ = 0;
};

Step refuseRequest(int sock, MsgId message, char const* name)
{
    CommPacket refusal(COMM_ERROR);
    sendUnchecked(refusal, sock);
    char const* shown = stripSuffix(name);
    Error("%s", msgGet(message, shown != nullptr ? shown : ""));
    return Step::failed;
}

// requested stays in the received packet: a name longer than any offered
// one is refused before it is copied, whatever its size.
Step sendRequestedFile(int sock, char const* requested, OfferedFiles const& offered)
{
    size_t length = std::strlen(requested);
    if (length > offered.longest()) {
        XRB_TRACE_AT("xrbbldc", "Refusing request for a name of %lu bytes", static_cast<unsigned long>(length));
        // The message area holds far less; what it shows stays the same.
        std::string start(requested, length < MAX_SHOWN ? length : MAX_SHOWN);
        return refuseRequest(sock, XRBE_049_CANNOT_OPEN, start.c_str());
    }
    std::string name = withSlashes(requested);
    std::string const* local = offered.find(name);
    if (local == nullptr) {
        XRB_TRACE_AT("xrbbldc", "Refusing request for unlisted file %s", name.c_str());
        return refuseRequest(sock, XRBE_049_CANNOT_OPEN, name.c_str());
    }
    FILE* file = openFile4Read(local->c_str());
    if (file != nullptr) {
        FileBulkPacket bulk(name.c_str(), file);
        sendBulk(sock, bulk, 0);
        return Step::next;
    }
    return refuseRequest(sock, XRBE_017_FILE_NOT_FOUND, withSlashes(*local).c_str());
}

void waitAndReconnect(int& sock)
{
    Disconnect(sock);
    _talk("%s", msgGet(MSG_SERVER_BUSY));
    sleep(10);
    sock = connect2server();
    // The re-sent opening packet carries no time-out.
    sendStart(sock, 0);
}

Step actOn(int& sock, CommPacket& pkt, OfferedFiles const& offered)
{
    char const* text = pkt.get_strdata();
    if (text == nullptr)
        text = "";
    switch (pkt.get_commtype()) {
    case COMM_NONE: Error("%s", msgGet(XRBE_022_CONNECTION_BROKEN)); return Step::failed;
    case COMM_ERROR:
        Error("%s", msgGet(XRBE_016_BUILD_ABORTED));
        Error("%s", text);
        return Step::failed;
    case COMM_END: return Step::done;
    case COMM_REQ_AUTH: {
        AuthPacket auth(buildUserid, buildPassword);
        auth.send(sock, 1);
        return Step::next;
    }
    case COMM_REQ_BUILD: sendBuildRequest(sock); return Step::next;
    case COMM_REQ_FILE: return sendRequestedFile(sock, text, offered);
    case COMM_MESSAGE:
        if (verbosity != 0)
            _talk("%s", text);
        return Step::next;
    case COMM_BUSY: waitAndReconnect(sock); return Step::next;
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

} // namespace

int runServerTest(int sock)
{
    try {
        CommPacket request(COMM_PING);
        request.set_strdata(nlsLanguage);
        sendUnchecked(request, sock);

        CommPacket reply(sock, 0);
        if (reply.get_commtype() == COMM_NONE) {
            Error("%s", msgGet(XRBE_022_CONNECTION_BROKEN));
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
    case -1: Error("%s", msgGet(XRBE_078_WRONG_SERVER, "QVX")); return 1;
    case -2: Error("%s", msgGet(XRBE_025_INCOMPATIBLE_VERSIONS, myVersion.getdata(), peerVersion.getdata())); return 1;
    default: return 0;
    }
}

int runRequestPhase(int& sock)
{
    Step step = Step::next;
    try {
        OfferedFiles offered;
        sendStart(sock, std::atoi(timeout));
        while (step == Step::next) {
            CommPacket pkt(sock, 0);
            step = actOn(sock, pkt, offered);
        }
    } catch (TCException* e) {
        Error("%s", e->getMessage());
        delete e;
        step = Step::failed;
    }
    return step == Step::done ? 1 : 0;
}
