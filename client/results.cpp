// The result phase: the verdict, the output files, the builder message and
// the server's message files, then the closing exchange.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/tcexp.h"
#include "base/tcstring.h"
#include "client/conversation.h"
#include "client/givennames.h"
#include "client/settings.h"
#include "msg/msg.h"
#include "net/tcpfns.h"
#include "protocol/xrbbld.h"
#include "trace/fhgtrace.h"

namespace {

// stripSuffix answers in an area that its next call overwrites.
std::string stripped(char const* name)
{
    char const* s = stripSuffix(name);
    return s != nullptr ? std::string(s) : std::string();
}

void warnIfEmpty(FileBulkPacket& bulk, char const* name)
{
    if (bulk.get_length() == 0 && verbosity != 0)
        _talk("%s", msgGet(XRBW_002_FILE_EMPTY, stripped(name).c_str()));
}

// Takes the next word (a run of bytes above 32) at p into word and moves p
// past it; false at the end.  Lists are walked with it in one pass: asking
// for word k of a list scans it from the start each time.
bool nextWord(char const*& p, std::string& word)
{
    while (*p >= 1 && static_cast<unsigned char>(*p) <= 32)
        ++p;
    char const* start = p;
    while (static_cast<unsigned char>(*p) > 32)
        ++p;
    word.assign(start, p);
    return p > start;
}

// An output lands under the name the user gave ("my out.o"), while the
// server is asked for the entry as it travelled ("my%20out.o.BIN").
void fetchOutputFiles(int sock)
{
    std::vector<std::string> entries;
    std::string word;
    for (char const* p = outputFiles.getdata(); nextWord(p, word);)
        entries.push_back(word);
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        std::string const& wire = *it;
        std::string const& local = givenNameOf(wire);
        if (isSuffix(wire.c_str(), ".NON")) {
            FileBulkPacket empty(wire.c_str(), openFile4Write(local.c_str()));
            empty.writeFile();
            continue;
        }
        XRB_TRACE_AT("xrbbldc", "Retrieving output file '%s'", wire.c_str());
        FILE* file = openFile4Write(local.c_str());
        FileBulkPacket bulk(wire.c_str(), file);
        recvBulk(sock, bulk, 0);
        warnIfEmpty(bulk, local.c_str());
    }
}

void fetchMessageFiles(int sock, char const* list)
{
    std::string wire;
    char const* p = list;
    if (!nextWord(p, wire))
        return;
    _talk("%s", msgGet(MSG_MESSAGE_FILES_HEADING));
    int i = 0;
    do {
        ++i;
        // Where the file lands is decided once, and the same landing is
        // written and printed.
        Landing where;
        if (!landingOf(msgfilePrefix.getdata(), wire.c_str(), where))
            throw new TCException(msgGet(XRBE_055_WRITE_FAILED, wire.c_str()));
        std::string local = std::string(msgfilePrefix.getdata()) + wire;
        std::string shown = stripped(local.c_str());
        _talk("   %d:%s\n", i, shown.c_str());
        FILE* file = openLanding4Write(where);
        FileBulkPacket bulk(wire.c_str(), file);
        recvBulk(sock, bulk, 0);
        warnIfEmpty(bulk, local.c_str());
        if (isSuffix(local.c_str(), ".OUT"))
            printMessageFile(where, stdout);
        else if (isSuffix(local.c_str(), ".ERR"))
            printMessageFile(where, stderr);
    } while (nextWord(p, wire));
}

void closeSession(int sock)
{
    // The reply is read unread: a server that does not send it within the
    // wait limit ends the session as one that closes does, and the verdict
    // stands.
    try {
        CommPacket end(COMM_END);
        sendUnchecked(end, sock);
        CommPacket reply(sock, 0);
    } catch (TCException* e) {
        delete e;
    }
    Disconnect(sock);
}

} // namespace

bool isSafeMessageFileName(char const* name)
{
    Landing where;
    return landingOf(msgfilePrefix.getdata(), name, where);
}

void printMessageFile(Landing const& where, FILE* out)
{
    FILE* in = openLanding4Read(where);
    if (in == nullptr)
        return;
    // What went to standard output so far comes first, also when the two
    // streams meet in one pipe.
    std::fflush(stdout);
    char piece[256];
    while (std::fgets(piece, sizeof piece, in) != nullptr) {
        for (char* p = piece; *p != '\0'; ++p)
            if (*p == '\f')
                *p = '\n';
        std::fprintf(out, "%s\n", piece);
    }
    std::fclose(in);
    std::fflush(out);
}

int runResultPhase(int sock)
{
    int status = 0;
    try {
        CommPacket ask(COMM_REQ_RESULT);
        sendUnchecked(ask, sock);

        BuildResPacket result(sock);
        // Both texts stay in the packet, which lives to the end of the phase.
        char const* builderMsg = result.get_builderMsg();
        char const* msgfiles = result.get_msgfiles();

        if (result.get_result() == 1) {
            XRB_TRACE_AT("xrbbldc", "Build is successful, get any output files");
            _talk("%s", msgGet(MSG_SUCCESS));
            fetchOutputFiles(sock);
        } else {
            _talk("%s", msgGet(MSG_FAILED));
            status = 1;
        }
        logToScreenToo = 1;
        _talk("%s", builderMsg != nullptr ? builderMsg : "");
        fetchMessageFiles(sock, msgfiles != nullptr ? msgfiles : "");
        closeSession(sock);
    } catch (TCException* e) {
        Error("%s", e->getMessage());
        delete e;
        status = 1;
    }
    return status;
}
