// Travelling file names and the local files behind them.
#include "protocol/filexfer.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/types.h>

#include "base/tcexp.h"
#include "base/util.h"
#include "msg/msg.h"
#include "protocol/packet.h"
#include "protocol/wiremsg.h"
#include "trace/fhgtrace.h"

#define TRACE(...) XRB_TRACE_AT("xrbbld", __VA_ARGS__)

namespace {

const char* const SUFFIXES[] = {".TXT", ".BIN", ".MSG", ".ERR", ".OUT", ".NON"};
const int DIR_MODE = 0755;
// Room for the name and unit headers of a chunk within the largest body.
const int MAX_CHUNK = static_cast<int>(XMIT_MAX_BODY - 0x100000);

std::string strippedArea;
std::string pathArea;

char* readBuffer = nullptr;
unsigned long readBufferSize = 0;

}  // namespace

int isSuffix(const char* text, const char* suffix) {
    if (!text || !suffix)
        return 0;
    size_t t = std::strlen(text), s = std::strlen(suffix);
    return s <= t && std::memcmp(text + t - s, suffix, s) == 0 ? 1 : 0;
}

char* stripSuffix(const char* name) {
    if (!name || !*name)
        return nullptr;
    strippedArea.assign(name);
    if (strippedArea.size() >= 4) {
        for (const char* s : SUFFIXES) {
            if (strippedArea.compare(strippedArea.size() - 4, 4, s) == 0) {
                strippedArea.resize(strippedArea.size() - 4);
                break;
            }
        }
    }
    return &strippedArea[0];
}

char* localPath(const char* name) {
    char* stripped = stripSuffix(name);
    if (!stripped)
        return nullptr;
    pathArea.assign(stripped);
    for (char& c : pathArea)
        if (c == '\\')
            c = '/';
    size_t paren = pathArea.find('(');
    if (paren != std::string::npos)
        pathArea[paren] = '/';
    return &pathArea[0];
}

FILE* openFile4Read(const char* name) {
    TRACE("Enter: openFile4read(%s)", name ? name : "(null)");
    char* path = localPath(name);
    FILE* f = nullptr;
    if (path) {
        TRACE("Opening %s", path);
        f = std::fopen(path, "rb");
    }
    TRACE("Exit: openFile4read");
    return f;
}

FILE* openFile4Write(const char* name) {
    TRACE("::openfile4write(%s)", name ? name : "(null)");
    char* p = localPath(name);
    if (!p)
        throw new TCException(msgGet(MSG_WRITE_FAILED, ""));
    std::string path(p);
    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        std::string dir = path.substr(0, slash);
        if (makePath(&dir[0], DIR_MODE) != 0)
            throw new TCException(msgGet(MSG_NO_DIRECTORY, path.c_str()));
    }
    TRACE("file2write=%s", path.c_str());
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        throw new TCException(msgGet(MSG_WRITE_FAILED, path.c_str()));
    return f;
}

char* readFile(const char* name, unsigned long* length) {
    TRACE("Enter: readFile(%s)", name ? name : "(null)");
    if (length)
        *length = 0;
    FILE* f = name ? std::fopen(name, "rb") : nullptr;
    if (!f) {
        TRACE("Exit: readFile");
        return nullptr;
    }
    if (!readBuffer) {
        readBuffer = static_cast<char*>(std::malloc(1024));
        readBufferSize = readBuffer ? 1024 : 0;
    }
    long long size = -1;
    if (fseeko(f, 0, SEEK_END) == 0)
        size = ftello(f);
    if (size < 0 || fseeko(f, 0, SEEK_SET) != 0 ||
        static_cast<unsigned long long>(size) > ULONG_MAX || !readBuffer) {
        std::fclose(f);
        return nullptr;
    }
    unsigned long want = static_cast<unsigned long>(size);
    if (want > readBufferSize) {
        char* grown = static_cast<char*>(std::realloc(readBuffer, want));
        if (!grown) {
            std::free(readBuffer);
            readBuffer = nullptr;
            readBufferSize = 0;
            std::fclose(f);
            return nullptr;
        }
        readBuffer = grown;
        readBufferSize = want;
    }
    // A file that shrank meanwhile yields what could be read.
    unsigned long got = want ? std::fread(readBuffer, 1, want, f) : 0;
    std::fclose(f);
    if (length)
        *length = got;
    TRACE("Exit: readFile, len=%d", static_cast<int>(got));
    return readBuffer;
}

int xrbChunkSize() {
    const char* env = std::getenv("XRB_CHUNK");
    if (!env)
        return XRB_DEFAULT_CHUNK;
    errno = 0;
    long long v = std::strtoll(env, nullptr, 10);
    if (v <= 0)
        return XRB_DEFAULT_CHUNK;
    return v > MAX_CHUNK ? MAX_CHUNK : static_cast<int>(v);
}
