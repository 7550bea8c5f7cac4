#include "msg/msg.h"

#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <nl_types.h>
#include <string>
#include <sys/stat.h>

#include "base/NLSGlobal.h"
#include "msg/nrvsprintf.h"
#include "trace/fhgtrace.h"

namespace {

constexpr std::size_t AREA_SIZE = 31000;
constexpr int INDENT = 9;
constexpr int WIDTH = 79;

char msgResult[AREA_SIZE];
char flowArea[AREA_SIZE];
char rssArea[AREA_SIZE];
char* flowHeap = nullptr;

int16_t MsgSystemInitialized = 0;
nl_catd catId = reinterpret_cast<nl_catd>(-1);

char emptyText[] = "";

std::size_t charStep(char const* p)
{
    int n = std::mblen(p, 2);
    std::mblen(nullptr, 0);
    return n > 0 ? static_cast<std::size_t>(n) : 1;
}

// Writes into the flow area and cuts whatever does not fit.
struct FlowOut {
    char* buf;
    std::size_t cap;
    std::size_t pos = 0;

    void put(char c)
    {
        if (pos + 1 < cap)
            buf[pos++] = c;
    }
    void put(char const* s, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i)
            put(s[i]);
    }
};

void flowInto(FlowOut& out, char const* text)
{
    std::size_t len = std::strlen(text);
    std::size_t i = 1;
    for (; i <= 8 && i < len; ++i)
        out.put(text[i]);
    i = len < 10 ? len : 10;
    int col = 10;
    while (i < len) {
        char const* p = text + i;
        if (!mcisspace(p)) {
            std::size_t j = i;
            while (j < len && !mcisspace(text + j))
                j += charStep(text + j);
            if (j > len)
                j = len;
            std::size_t w = j - i;
            if (w + static_cast<std::size_t>(col) >= static_cast<std::size_t>(WIDTH)) {
                out.put('\n');
                out.put("        ", INDENT - 1);
                col = INDENT;
            }
            out.put(' ');
            out.put(p, w);
            col += static_cast<int>(1 + w);
            i = j;
        } else if (*p == '\n' && (p[1] == '\n' || p[1] == '\0')) {
            out.put('\n');
            ++i;
            col = WIDTH;
        } else if (*p == '\n' && p[1] == ' ') {
            out.put('\n');
            ++i;
            while (i < len && text[i] != '\n')
                out.put(text[i++]);
            col = WIDTH;
        } else {
            i += charStep(p);
        }
    }
}

} // namespace

bool msgIsFlowCandidate(char const* t)
{
    return t && std::strlen(t) >= 12 && t[0] == '\n' && t[5] == '-' && t[9] == '\n';
}

char* msgFormat(MsgId n)
{
    if (n < 1 || n > MSG_COUNT)
        return emptyText;
    return const_cast<char*>(msgdefault[n - 1]);
}

char* msgFlow(char* text)
{
    if (!text)
        text = emptyText;
    // The text may itself be the result of an earlier flow.
    std::string copy;
    char* oldHeap = flowHeap;
    flowHeap = nullptr;
    bool inOld = oldHeap && text >= oldHeap && text < oldHeap + std::strlen(oldHeap) + 1;
    bool inStatic = text >= flowArea && text < flowArea + AREA_SIZE;
    if (inOld || inStatic) {
        copy = text;
        text = &copy[0];
    }
    delete[] oldHeap;

    std::size_t len = std::strlen(text);
    std::size_t need = static_cast<std::size_t>(static_cast<double>(len) * 1.75);
    FlowOut out{flowArea, AREA_SIZE};
    if (need > AREA_SIZE) {
        flowHeap = new char[need];
        out.buf = flowHeap;
        out.cap = need;
    }
    flowInto(out, text);
    out.buf[out.pos] = '\0';
    return out.buf;
}

char* msgcore::get(int n, ...)
{
    msgResult[0] = '\0';
    va_list ap;
    va_start(ap, n);
    nrvvsnprintf(msgResult, sizeof msgResult, msgFormat(static_cast<MsgId>(n)), ap);
    va_end(ap);
    if (msgIsFlowCandidate(msgResult) && !std::getenv("TC_MSG_NOFLOW"))
        return msgFlow(msgResult);
    return msgResult;
}

namespace {

int loadInto(char* part, char const* format, int n, va_list ap)
{
    nrvvsprintf(part, format, ap);
    if (msgIsFlowCandidate(part))
        std::strcpy(part, msgFlow(part));
    return n;
}

} // namespace

int vmsgLoad(char* dest, MsgId n, va_list args)
{
    if (!dest)
        return n;
    return loadInto(dest + std::strlen(dest), msgFormat(n), n, args);
}

int msgcore::load(char* dest, int n, ...)
{
    va_list ap;
    va_start(ap, n);
    int r = vmsgLoad(dest, static_cast<MsgId>(n), ap);
    va_end(ap);
    return r;
}

int msgcore::rssLoad(char* catalog, char* dest, int n, ...)
{
    if (!dest)
        return n;
    va_list ap;
    va_start(ap, n);
    int r = loadInto(dest + std::strlen(dest), msgRSSFormat(catalog, static_cast<MsgId>(n)), n, ap);
    va_end(ap);
    return r;
}

// Takes the message number as its second argument, as msgLoad does.
int msgcore::reLoad(char* dest, int n, ...)
{
    if (!dest)
        return n;
    dest[0] = '\0';
    va_list ap;
    va_start(ap, n);
    int r = loadInto(dest, msgFormat(static_cast<MsgId>(n)), n, ap);
    va_end(ap);
    return r;
}

char* msgRSSFormat(char* catalog, MsgId n)
{
    XRB_TRACE_AT("msg", "Entering msgRSSFormat");
    if (!catalog || !*catalog) {
        XRB_TRACE_AT("msg", "No msgCat specified");
        XRB_TRACE_AT("msg", "Exiting msgRSSFormat");
        return msgFormat(n);
    }
    XRB_TRACE_AT("msg", "Attempting to open catalog file %s", catalog);
    nl_catd cd = catopen(catalog, 0);
    if (cd == reinterpret_cast<nl_catd>(-1)) {
        XRB_TRACE_AT("msg", "Error opening catalog file %s", catalog);
        XRB_TRACE_AT("msg", "Using default catalog");
        return msgFormat(n);
    }
    XRB_TRACE_AT("msg", "Exiting msgRSSFormat");
    char const* t = catgets(cd, 1, n, "Error reading catalog file");
    std::strncpy(rssArea, t ? t : "", AREA_SIZE - 1);
    rssArea[AREA_SIZE - 1] = '\0';
    catclose(cd);
    return rssArea;
}

void msgInit()
{
    if (MsgSystemInitialized)
        return;
    std::setlocale(LC_ALL, "");
    char const* path = std::getenv("XRB_CATALOG");
    struct stat st;
    if (!path || stat(path, &st) != 0)
        return;
    XRB_TRACE_AT("msg", "msgInit attempting to open XRB_CATALOG file %s", path);
    nl_catd cd = catopen(path, 0);
    if (cd != reinterpret_cast<nl_catd>(-1)) {
        catId = cd;
        MsgSystemInitialized = 1;
    }
}

int msgClose()
{
    if (!MsgSystemInitialized)
        return 0;
    int rc = catclose(catId);
    catId = reinterpret_cast<nl_catd>(-1);
    MsgSystemInitialized = 0;
    return rc;
}

int lang2int(char const* code)
{
    static char const* const codes[] = {"enu", "esp", "ptb", "deu", "des", "fra", "ita", "jpn", "kor", "chs", "cht"};
    if (!code)
        return 1;
    for (int i = 0; i < 11; ++i)
        if (std::strcmp(code, codes[i]) == 0)
            return i + 1;
    return 1;
}
