#include "scripted.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "cipherhook.h"
#include "protocol/commpacket.h"
#include "protocol/packet.h"
#include "rawwire.h"
#include "script.h"

namespace {

// The tags of the units the scripted server reads and writes.
enum : uint32_t {
    TAG_SCRIPT_NAME = 101,
    TAG_SCRIPT_FILE = 102,
    TAG_SCRIPT_TYPE = 105,
    TAG_GOOD_RC = 106,
    TAG_TIMEOUT = 107,
    TAG_PARMS = 108,
    TAG_GOOD_COND = 109,
    TAG_INCLUDE = 110,
    TAG_INPUT = 111,
    TAG_OUTPUT = 112,
    TAG_VAR = 113,
    TAG_LOCATION = 115,
    TAG_OPTIONS = 116,
    TAG_PROCLIB = 117,
    TAG_USERID = 201,
    TAG_PASSWORD = 202,
    TAG_RESULT = 301,
    TAG_MESSAGES = 302,
    TAG_MSGFILES = 303,
    TAG_COMMTYPE = 401,
    TAG_STRDATA = 402,
    TAG_INTDATA = 403,
    TAG_FILE_NAME = 501,
    TAG_FILE_DATA = 502,
    TAG_FILE_LAST = 503,
    TAG_CLIENT_CODEPAGE = 601,
    TAG_SERVER_CODEPAGE = 602
};

// The names a script and the record use for control codes and packet
// types.  A script may give a number only for a code that has no name.
struct Name {
    char const* name;
    int value;
};
constexpr Name CONTROL_CODES[] = {{"ERROR", COMM_ERROR},           {"END", COMM_END},
                                  {"REQ_AUTH", COMM_REQ_AUTH},     {"REQ_BUILD", COMM_REQ_BUILD},
                                  {"REQ_RESULT", COMM_REQ_RESULT}, {"REQ_FILE", COMM_REQ_FILE},
                                  {"START", COMM_START},           {"PING", COMM_PING},
                                  {"MESSAGE", COMM_MESSAGE},       {"FILE_NEXT", COMM_FILE_NEXT},
                                  {"FILE_ABORT", COMM_FILE_ABORT}, {"BUSY", COMM_BUSY},
                                  {"REQ_LOCALE", COMM_REQ_LOCALE}};
constexpr Name PACKET_TYPES[] = {{"BUILD", PKT_BUILD},  {"BUILDRES", PKT_BUILDRES}, {"FILEBULK", PKT_FILEBULK},
                                 {"COMM", PKT_COMM},    {"AUTH", PKT_AUTH},         {"BINDATA", PKT_BINDATA},
                                 {"LOCALE", PKT_LOCALE}};

template <size_t N>
std::string nameOf(Name const (&names)[N], long long value)
{
    for (Name const& n : names)
        if (n.value == value)
            return n.name;
    return std::to_string(value);
}

// A name, or a number that has none; false (with why) otherwise.
template <size_t N>
bool valueOf(Name const (&names)[N], std::string const& word, long long& out, std::string& why)
{
    for (Name const& n : names)
        if (word == n.name) {
            out = n.value;
            return true;
        }
    char* end = nullptr;
    long long v = std::strtoll(word.c_str(), &end, 10);
    if (word.empty() || *end != '\0') {
        why = "unknown name " + quoted(word);
        return false;
    }
    if (nameOf(names, v) != std::to_string(v)) {
        why = "write " + nameOf(names, v) + " for " + word;
        return false;
    }
    out = v;
    return true;
}

// Bodies larger than this are refused rather than buffered.
constexpr uint32_t MAX_BODY = 256u << 20;

// Deterministic file contents for size=N, so that large transfers can be
// checked without keeping a copy.
char patternByte(uint64_t i)
{
    return static_cast<char>((i * 7 + i / 251) & 0xff);
}

struct Received {
    raw::Packet pkt;
    int code = -1; // control code of a CommPacket
    std::string str;
    int32_t intData = 0;
};

class Player {
public:
    Player(int listenFd, FILE* record, int64_t deadline)
        : listenFd_(listenFd), record_(record), deadline_(deadline), start_(raw::nowMs())
    {}
    ~Player() { closeConn(); }

    int run(std::vector<Command> const& script)
    {
        for (Command const& c : script) {
            cmd_ = &c;
            if (!step(c)) {
                note("FAIL line " + std::to_string(c.line) + ": " + why_);
                std::fprintf(stderr, "xrbblds: script line %d: %s\n", c.line, why_.c_str());
                return 2;
            }
        }
        note("DONE");
        return 0;
    }

private:
    bool fail(std::string const& why)
    {
        why_ = why;
        return false;
    }

    void note(std::string const& text)
    {
        if (record_ == nullptr)
            return;
        std::fprintf(record_, "conn=%d t=%.3f %s\n", conns_, (raw::nowMs() - start_) / 1000.0, text.c_str());
        std::fflush(record_);
    }

    void closeConn()
    {
        if (conn_ >= 0)
            ::close(conn_);
        conn_ = -1;
    }

    bool need() { return conn_ >= 0 ? true : fail("no connection (missing accept?)"); }

    bool sendBytes(std::string const& bytes)
    {
        if (!need())
            return false;
        std::string why;
        if (!raw::sendAll(conn_, bytes.data(), bytes.size(), why))
            return fail(why);
        lastSend_ = raw::nowMs();
        return true;
    }

    bool sendComm(int code, std::string const& str, int32_t intData, std::string const& version = raw::VERSION,
                  uint32_t type = PKT_COMM)
    {
        std::vector<raw::Unit> units{raw::textUnit(TAG_STRDATA, str, raw::NLSTEXT), raw::intUnit(TAG_INTDATA, intData),
                                     raw::Unit{TAG_COMMTYPE, raw::BINARY, std::string(1, static_cast<char>(code))}};
        return sendBytes(raw::encode(type, units, version));
    }

    bool receive(Received& r)
    {
        if (!need())
            return false;
        char header[20];
        std::string why;
        if (!raw::recvExact(conn_, header, 20, deadline_, why))
            return fail(why);
        auto const* h = reinterpret_cast<unsigned char const*>(header);
        uint32_t magic = raw::getU32(h), length = raw::getU32(h + 4), key = raw::getU32(h + 8);
        if (magic != raw::MAGIC)
            return fail("bad magic " + std::to_string(magic));
        if (length > MAX_BODY)
            return fail("body length " + std::to_string(length) + " too large");
        std::string body(length, '\0');
        if (!raw::recvExact(conn_, &body[0], length, deadline_, why))
            return fail(why);
        if (key != raw::KEY_CLEAR) {
            if (key > 252)
                return fail("key index " + std::to_string(key) + " names no key");
            decipherBody(body, key);
        }
        r.pkt = raw::Packet();
        r.pkt.keyIndex = key;
        std::string bad = raw::parseBody(body, r.pkt);
        if (!bad.empty())
            return fail("malformed packet: " + bad);
        describe(r);
        return true;
    }

    static std::string textOf(raw::Packet const& p, uint32_t tag)
    {
        raw::Unit const* u = p.find(tag);
        return u != nullptr ? u->text() : std::string();
    }
    static int32_t intOf(raw::Packet const& p, uint32_t tag)
    {
        int32_t v = 0;
        raw::Unit const* u = p.find(tag);
        if (u != nullptr)
            u->asInt(v);
        return v;
    }
    static std::string listOf(raw::Packet const& p, uint32_t tag)
    {
        std::string all;
        for (raw::Unit const& u : p.units)
            if (u.tag == tag)
                all += (all.empty() ? "" : " ") + u.text();
        return all;
    }

    // One record line per packet, with the fields a test may check.
    void describe(Received& r)
    {
        raw::Packet const& p = r.pkt;
        std::ostringstream line;
        switch (p.type) {
        case PKT_COMM: {
            raw::Unit const* c = p.find(TAG_COMMTYPE);
            r.code = (c != nullptr && c->data.size() == 1) ? static_cast<unsigned char>(c->data[0]) : -1;
            r.str = textOf(p, TAG_STRDATA);
            r.intData = intOf(p, TAG_INTDATA);
            line << "COMM code=" << nameOf(CONTROL_CODES, r.code) << " int=" << r.intData << " str=" << quoted(r.str);
            break;
        }
        case PKT_AUTH:
            line << "AUTH key=" << p.keyIndex << " user=" << quoted(textOf(p, TAG_USERID))
                 << " password=" << quoted(textOf(p, TAG_PASSWORD));
            break;
        case PKT_LOCALE:
            line << "LOCALE client=" << quoted(textOf(p, TAG_CLIENT_CODEPAGE))
                 << " server=" << quoted(textOf(p, TAG_SERVER_CODEPAGE));
            break;
        case PKT_BUILD:
            line << "BUILD script=" << quoted(textOf(p, TAG_SCRIPT_NAME))
                 << " file=" << quoted(textOf(p, TAG_SCRIPT_FILE)) << " type=" << intOf(p, TAG_SCRIPT_TYPE)
                 << " rc=" << intOf(p, TAG_GOOD_RC) << " timeout=" << intOf(p, TAG_TIMEOUT)
                 << " opts=" << intOf(p, TAG_OPTIONS) << " cond=" << quoted(textOf(p, TAG_GOOD_COND))
                 << " parms=" << quoted(textOf(p, TAG_PARMS)) << " proclib=" << quoted(textOf(p, TAG_PROCLIB))
                 << " loc=" << quoted(textOf(p, TAG_LOCATION)) << " inputs=" << quoted(listOf(p, TAG_INPUT))
                 << " deps=" << quoted(listOf(p, TAG_INCLUDE)) << " outputs=" << quoted(listOf(p, TAG_OUTPUT))
                 << " vars=" << quoted(listOf(p, TAG_VAR));
            break;
        case PKT_FILEBULK: {
            raw::Unit const* d = p.find(TAG_FILE_DATA);
            line << "FILE name=" << quoted(textOf(p, TAG_FILE_NAME)) << " last=" << intOf(p, TAG_FILE_LAST)
                 << " length=" << (d != nullptr ? d->data.size() : 0);
            break;
        }
        default: line << "PACKET type=" << nameOf(PACKET_TYPES, p.type);
        }
        if (p.version != raw::VERSION)
            line << " version=" << quoted(p.version);
        note(line.str());
    }

    // Checks key=value options against the fields that a packet showed.
    bool check(std::map<std::string, std::string> const& got)
    {
        for (auto const& [key, want] : cmd_->opts) {
            auto it = got.find(key);
            if (it == got.end())
                continue;
            if (it->second != want)
                return fail(key + " is " + quoted(it->second) + ", expected " + quoted(want));
        }
        return true;
    }

    bool expectType(Received& r, uint32_t type)
    {
        if (!receive(r))
            return false;
        if (r.pkt.type != type)
            return fail("expected packet type " + nameOf(PACKET_TYPES, type) + ", got " +
                        nameOf(PACKET_TYPES, r.pkt.type) +
                        (r.pkt.type == PKT_COMM ? " (control code " + nameOf(CONTROL_CODES, r.code) + ")" : ""));
        return true;
    }

    bool doAccept(Command const& c)
    {
        closeConn();
        while (true) {
            int64_t left = deadline_ - raw::nowMs();
            if (left <= 0)
                return fail("no connection arrived in time");
            pollfd p{listenFd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) > 0)
                break;
        }
        conn_ = ::accept(listenFd_, nullptr, nullptr);
        if (conn_ < 0)
            return fail("accept failed");
        ++conns_;
        double gap = lastSend_ != 0 ? (raw::nowMs() - lastSend_) / 1000.0 : 0;
        note("ACCEPT gap=" + std::to_string(gap));
        if (c.has("min_gap") && gap < std::stod(c.get("min_gap")))
            return fail("connection came after " + std::to_string(gap) + " s");
        if (c.has("max_gap") && gap > std::stod(c.get("max_gap")))
            return fail("connection came after " + std::to_string(gap) + " s");
        return true;
    }

    bool expectComm(Command const& c)
    {
        Received r;
        if (!expectType(r, PKT_COMM))
            return false;
        long long want = 0;
        std::string why;
        if (!c.word(2).empty() && !valueOf(CONTROL_CODES, c.word(2), want, why))
            return fail(why);
        if (!c.word(2).empty() && r.code != want)
            return fail("control code " + nameOf(CONTROL_CODES, r.code) + ", expected " + c.word(2));
        return check({{"str", r.str}, {"int", std::to_string(r.intData)}, {"version", r.pkt.version}});
    }

    bool expectClosed(Command const& c)
    {
        if (!need())
            return false;
        int64_t until = raw::nowMs() + c.num("within", 10) * 1000;
        char byte;
        std::string why;
        if (raw::recvExact(conn_, &byte, 1, until < deadline_ ? until : deadline_, why))
            return fail("the client sent more data");
        if (why != "connection closed by the client")
            return fail(why);
        note("CLOSED");
        closeConn();
        return true;
    }

    bool askAuth(Command const&)
    {
        Received r;
        if (!sendComm(COMM_REQ_AUTH, "", 0) || !expectType(r, PKT_AUTH))
            return false;
        if (r.pkt.keyIndex == raw::KEY_CLEAR)
            return fail("the credentials came in clear");
        return check({{"user", textOf(r.pkt, TAG_USERID)}, {"password", textOf(r.pkt, TAG_PASSWORD)}});
    }

    bool askLocale(Command const&)
    {
        Received r;
        if (!sendComm(COMM_REQ_LOCALE, "", 0) || !expectType(r, PKT_LOCALE))
            return false;
        return check({{"client", textOf(r.pkt, TAG_CLIENT_CODEPAGE)}, {"server", textOf(r.pkt, TAG_SERVER_CODEPAGE)}});
    }

    bool askBuild(Command const&)
    {
        Received r;
        if (!sendComm(COMM_REQ_BUILD, "", 0) || !expectType(r, PKT_BUILD))
            return false;
        raw::Packet const& p = r.pkt;
        return check({{"script", textOf(p, TAG_SCRIPT_NAME)},
                      {"file", textOf(p, TAG_SCRIPT_FILE)},
                      {"type", std::to_string(intOf(p, TAG_SCRIPT_TYPE))},
                      {"rc", std::to_string(intOf(p, TAG_GOOD_RC))},
                      {"timeout", std::to_string(intOf(p, TAG_TIMEOUT))},
                      {"opts", std::to_string(intOf(p, TAG_OPTIONS))},
                      {"cond", textOf(p, TAG_GOOD_COND)},
                      {"parms", textOf(p, TAG_PARMS)},
                      {"proclib", textOf(p, TAG_PROCLIB)},
                      {"loc", textOf(p, TAG_LOCATION)},
                      {"inputs", listOf(p, TAG_INPUT)},
                      {"deps", listOf(p, TAG_INCLUDE)},
                      {"outputs", listOf(p, TAG_OUTPUT)},
                      {"vars", listOf(p, TAG_VAR)}});
    }

    // Asks the client for a file and takes its chunks, acknowledging every
    // chunk but the last.  stop_after=N takes N chunks and then goes silent
    // (no acknowledgement): the next command runs.
    // repeat=N asks for the name written N times.
    bool askFile(Command const& c)
    {
        long long stopAfter = c.num("stop_after", 0);
        long long taken = 0;
        std::string name = c.word(2);
        for (long long n = c.num("repeat", 1); n > 1; --n)
            name += c.word(2);
        if (!sendComm(COMM_REQ_FILE, name, 0))
            return false;
        bool wantError = c.get("expect") == "error";
        std::string content;
        uint64_t total = 0;
        bool sizeOnly = c.has("size");
        bool matches = true;
        while (true) {
            Received r;
            if (!receive(r))
                return false;
            if (r.pkt.type == PKT_COMM) {
                if (wantError && r.code == COMM_ERROR)
                    return true;
                return fail("control code " + nameOf(CONTROL_CODES, r.code) + " instead of the file");
            }
            if (r.pkt.type != PKT_FILEBULK)
                return fail("packet type " + nameOf(PACKET_TYPES, r.pkt.type) + " instead of the file");
            if (wantError)
                return fail("the file came, an error was expected");
            if (textOf(r.pkt, TAG_FILE_NAME) != name)
                return fail("chunk names " + quoted(textOf(r.pkt, TAG_FILE_NAME)));
            raw::Unit const* d = r.pkt.find(TAG_FILE_DATA);
            std::string const empty;
            std::string const& data = d != nullptr ? d->data : empty;
            if (sizeOnly) {
                for (size_t i = 0; i < data.size() && matches; ++i)
                    matches = data[i] == patternByte(total + i);
            } else {
                content += data;
            }
            total += data.size();
            if (c.has("chunks"))
                chunkSizes_ += (chunkSizes_.empty() ? "" : ",") + std::to_string(data.size());
            if (intOf(r.pkt, TAG_FILE_LAST) != 0)
                break;
            if (stopAfter > 0 && ++taken == stopAfter)
                return true;
            if (!sendComm(COMM_FILE_NEXT, "", 0))
                return false;
        }
        if (c.has("chunks") && chunkSizes_ != c.get("chunks"))
            return fail("chunks " + chunkSizes_ + ", expected " + c.get("chunks"));
        chunkSizes_.clear();
        if (sizeOnly && (!matches || total != static_cast<uint64_t>(c.num("size", 0))))
            return fail("file of " + std::to_string(total) + " bytes differs from the pattern");
        if (c.has("content") && content != c.get("content"))
            return fail("content " + quoted(content) + ", expected " + quoted(c.get("content")));
        return true;
    }

    // What a served file holds, produced chunk by chunk so that a large
    // file never sits in memory whole.
    struct Source {
        std::string text;
        FILE* file = nullptr;
        bool pattern = false;
        uint64_t size = 0;
        ~Source()
        {
            if (file != nullptr)
                std::fclose(file);
        }

        bool read(uint64_t pos, uint64_t n, std::string& out)
        {
            out.resize(n);
            if (pattern) {
                for (uint64_t i = 0; i < n; ++i)
                    out[i] = patternByte(pos + i);
                return true;
            }
            if (file != nullptr)
                return n == 0 || std::fread(&out[0], 1, n, file) == n;
            out = text.substr(pos, n);
            return true;
        }
    };

    bool openSource(Command const& c, Source& src)
    {
        if (c.has("from")) {
            src.file = std::fopen(c.get("from").c_str(), "rb");
            if (src.file == nullptr)
                return fail("cannot read " + c.get("from"));
            std::fseek(src.file, 0, SEEK_END);
            src.size = static_cast<uint64_t>(std::ftell(src.file));
            std::fseek(src.file, 0, SEEK_SET);
        } else if (c.has("size")) {
            src.pattern = true;
            src.size = static_cast<uint64_t>(c.num("size", 0));
        } else {
            src.text = c.get("content");
            src.size = src.text.size();
        }
        return true;
    }

    // Waits for the client's request of a file and sends it in chunks.
    // stop_after=N sends N chunks and then goes silent: the next command runs.
    bool serve(Command const& c)
    {
        long long stopAfter = c.num("stop_after", 0);
        long long sentChunks = 0;
        std::string name = c.word(1);
        Received r;
        if (!expectType(r, PKT_COMM))
            return false;
        if (r.code != COMM_REQ_FILE)
            return fail("control code " + nameOf(CONTROL_CODES, r.code) + ", expected a file request");
        if (r.str != name)
            return fail("the client asked for " + quoted(r.str) + ", expected " + quoted(name));
        Source src;
        if (!openSource(c, src))
            return false;
        uint64_t chunk = static_cast<uint64_t>(c.num("chunk", 1000000));
        if (chunk == 0)
            chunk = 1;
        uint64_t pos = 0;
        std::string data;
        while (true) {
            uint64_t n = src.size - pos > chunk ? chunk : src.size - pos;
            bool last = pos + n == src.size;
            if (!src.read(pos, n, data))
                return fail("short read of the served file");
            std::vector<raw::Unit> units{raw::textUnit(TAG_FILE_NAME, name, raw::NLSTEXT),
                                         raw::intUnit(TAG_FILE_LAST, last ? 1 : 0),
                                         raw::Unit{TAG_FILE_DATA, raw::BINARY, data}};
            if (!sendBytes(raw::encode(PKT_FILEBULK, units)))
                return false;
            pos += n;
            if (last || (stopAfter > 0 && ++sentChunks == stopAfter))
                return true;
            Received ack;
            if (!expectType(ack, PKT_COMM))
                return false;
            if (ack.code == COMM_FILE_ABORT)
                return true;
            if (ack.code != COMM_FILE_NEXT)
                return fail("control code " + nameOf(CONTROL_CODES, ack.code) + " between chunks");
        }
    }

    bool sendResult(Command const& c)
    {
        std::vector<raw::Unit> units{raw::intUnit(TAG_RESULT, static_cast<int32_t>(std::stol(c.word(2)))),
                                     raw::textUnit(TAG_MESSAGES, c.get("msg"), raw::NLSTEXT)};
        if (c.has("files"))
            units.push_back(raw::textUnit(TAG_MSGFILES, c.get("files"), raw::TEXT));
        return sendBytes(raw::encode(PKT_BUILDRES, units, c.get("version", raw::VERSION)));
    }

    bool doClose(Command const&)
    {
        closeConn();
        note("CLOSE");
        return true;
    }

    bool doSleep(Command const& c)
    {
        usleep(static_cast<useconds_t>(std::stol(c.word(1))) * 1000);
        return true;
    }

    bool sendCommand(Command const& c)
    {
        long long code = 0, type = PKT_COMM;
        std::string why;
        if (!valueOf(CONTROL_CODES, c.word(2), code, why) ||
            (c.has("type") && !valueOf(PACKET_TYPES, c.get("type"), type, why)))
            return fail(why);
        return sendComm(static_cast<int>(code), c.get("str"), static_cast<int32_t>(c.num("int", 0)),
                        c.get("version", raw::VERSION), static_cast<uint32_t>(type));
    }

    bool sendRaw(Command const& c) { return sendBytes(c.word(2)); }

    bool sendHeader(Command const& c)
    {
        return sendBytes(raw::encodeHeader(static_cast<uint32_t>(c.num("len", 0)),
                                           static_cast<uint32_t>(c.num("key", raw::KEY_CLEAR)),
                                           static_cast<uint32_t>(c.num("magic", raw::MAGIC))));
    }

    // Every command a script may use: its first word, and its second where
    // that names what it does.  doc/TESTCASES.md describes each; a test
    // holds the two together.
    bool step(Command const& c)
    {
        struct Verb {
            char const* verb;
            char const* what;
            bool (Player::*run)(Command const&);
        };
        static Verb const verbs[] = {
            {"accept", "", &Player::doAccept},
            {"close", "", &Player::doClose},
            {"sleep", "", &Player::doSleep},
            {"expect", "comm", &Player::expectComm},
            {"expect", "closed", &Player::expectClosed},
            {"ask", "auth", &Player::askAuth},
            {"ask", "locale", &Player::askLocale},
            {"ask", "build", &Player::askBuild},
            {"ask", "file", &Player::askFile},
            {"serve", "", &Player::serve},
            {"send", "comm", &Player::sendCommand},
            {"send", "result", &Player::sendResult},
            {"send", "raw", &Player::sendRaw},
            {"send", "header", &Player::sendHeader},
        };
        for (Verb const& v : verbs)
            if (c.word(0) == v.verb && (*v.what == '\0' || c.word(1) == v.what))
                return (this->*v.run)(c);
        return fail("unknown command");
    }

    int listenFd_;
    FILE* record_;
    int64_t deadline_;
    int64_t start_;
    int64_t lastSend_ = 0;
    int conn_ = -1;
    int conns_ = 0;
    Command const* cmd_ = nullptr;
    std::string why_;
    std::string chunkSizes_;
};

} // namespace

int runScripted(int listenFd, std::string const& scriptPath, std::string const& recordPath, int deadlineSeconds)
{
    std::vector<Command> script;
    std::string bad = loadScript(scriptPath, script);
    if (!bad.empty()) {
        std::fprintf(stderr, "xrbblds: %s: %s\n", scriptPath.c_str(), bad.c_str());
        return 3;
    }
    FILE* record = recordPath.empty() ? nullptr : std::fopen(recordPath.c_str(), "w");
    int status;
    {
        Player player(listenFd, record, raw::nowMs() + int64_t(deadlineSeconds) * 1000);
        status = player.run(script);
    }
    if (record != nullptr)
        std::fclose(record);
    return status;
}
