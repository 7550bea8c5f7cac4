// The result phase: the verdict, the output files, the builder message and
// the server's message files, then the closing exchange.
#include <cstdio>
#include <cstring>
#include <string>

#include "base/tcexp.h"
#include "base/tcstring.h"
#include "client/conversation.h"
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
        _talk("%s", msgGet(27, stripped(name).c_str()));
}

void fetchOutputFiles(int sock)
{
    for (unsigned k = outputFiles.numWords(); k >= 1; --k) {
        TCString name = outputFiles.word(k);
        if (isSuffix(name, ".NON")) {
            FileBulkPacket empty(name, openFile4Write(name));
            empty.writeFile();
            continue;
        }
        XRB_TRACE_AT("xrbbldc", "Retrieving output file '%s'", name.getdata());
        FILE* file = openFile4Write(name);
        FileBulkPacket bulk(name, file);
        bulk.recvBulk(sock, 0);
        warnIfEmpty(bulk, name);
    }
}

void fetchMessageFiles(int sock, TCString const& list)
{
    unsigned count = list.numWords();
    if (count == 0)
        return;
    _talk("%s", msgGet(25));
    for (unsigned i = 1; i <= count; ++i) {
        TCString wire = list.word(i);
        if (!isSafeMessageFileName(wire))
            throw new TCException(msgGet(85, wire.getdata()));
        TCString local = msgfilePrefix + wire;
        std::string shown = stripped(local);
        _talk("   %d:%s\n", i, shown.c_str());
        FILE* file = openFile4Write(local);
        FileBulkPacket bulk(wire, file);
        bulk.recvBulk(sock, 0);
        warnIfEmpty(bulk, local);
        if (isSuffix(local, ".OUT"))
            printMessageFile(shown.c_str(), stdout);
        else if (isSuffix(local, ".ERR"))
            printMessageFile(shown.c_str(), stderr);
    }
}

void closeSession(int sock)
{
    // The reply is read unread: a server that does not send it within the
    // wait limit ends the session as one that closes does, and the verdict
    // stands.
    try {
        CommPacket end(COMM_END);
        end.send(sock, 0);
        CommPacket reply(sock, 0);
    } catch (TCException* e) {
        delete e;
    }
    Disconnect(sock);
}

}  // namespace

bool isSafeMessageFileName(char const* name)
{
    // The same conversions as the local file helpers apply, so that what is
    // checked is the path that would be opened.
    std::string path = stripped(name);
    for (char& c : path)
        if (c == '\\')
            c = '/';
    std::string::size_type paren = path.find('(');
    if (paren != std::string::npos)
        path[paren] = '/';
    if (!path.empty() && path[0] == '/')
        return false;
    std::string::size_type start = 0;
    while (start <= path.size()) {
        std::string::size_type end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (path.compare(start, end - start, "..") == 0)
            return false;
        start = end + 1;
    }
    return true;
}

void printMessageFile(char const* path, FILE* out)
{
    FILE* in = std::fopen(path, "r");
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
        ask.send(sock, 0);

        BuildResPacket result(sock);
        char const* builderMsg = result.get_builderMsg();
        TCString message(builderMsg != nullptr ? builderMsg : "");
        char const* msgfiles = result.get_msgfiles();
        TCString files(msgfiles != nullptr ? msgfiles : "");

        if (result.get_result() == 1) {
            XRB_TRACE_AT("xrbbldc", "Build is successful, get any output files");
            _talk("%s", msgGet(114));
            fetchOutputFiles(sock);
        } else {
            _talk("%s", msgGet(113));
            status = 1;
        }
        logToScreenToo = 1;
        _talk("%s", message.getdata());
        fetchMessageFiles(sock, files);
        closeSession(sock);
    } catch (TCException* e) {
        Error("%s", e->getMessage());
        delete e;
        status = 1;
    }
    return status;
}
