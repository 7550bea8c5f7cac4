#include "scripted.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "cipherhook.h"
#include "rawwire.h"
#include "script.h"

namespace {

enum : uint32_t { PKT_BUILD = 1, PKT_BUILDRES = 2, PKT_FILEBULK = 3, PKT_COMM = 4,
                  PKT_AUTH = 5, PKT_LOCALE = 7 };
enum : int { C_ERROR = 1, C_END = 2, C_REQ_AUTH = 3, C_REQ_BUILD = 4, C_REQ_FILE = 6,
             C_FILE_NEXT = 15, C_FILE_ABORT = 16, C_REQ_LOCALE = 18 };

// Bodies larger than this are refused rather than buffered.
constexpr uint32_t MAX_BODY = 256u << 20;

// Deterministic file contents for size=N, so that large transfers can be
// checked without keeping a copy.
char patternByte(uint64_t i) { return static_cast<char>((i * 7 + i / 251) & 0xff); }

struct Received {
    raw::Packet pkt;
    int code = -1;      // control code of a CommPacket
    std::string str;
    int32_t intData = 0;
};

class Player {
public:
    Player(int listenFd, FILE* record, int64_t deadline)
        : listenFd_(listenFd), record_(record), deadline_(deadline), start_(raw::nowMs()) {}
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
    bool fail(std::string const& why) { why_ = why; return false; }

    void note(std::string const& text)
    {
        if (record_ == nullptr)
            return;
        std::fprintf(record_, "conn=%d t=%.3f %s\n", conns_, (raw::nowMs() - start_) / 1000.0,
                     text.c_str());
        std::fflush(record_);
    }

    void closeConn()
    {
        if (conn_ >= 0)
            ::close(conn_);
        conn_ = -1;
    }

    bool need()
    {
        return conn_ >= 0 ? true : fail("no connection (missing accept?)");
    }

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

    bool sendComm(int code, std::string const& str, int32_t intData,
                  std::string const& version = raw::VERSION, uint32_t type = PKT_COMM)
    {
        std::vector<raw::Unit> units{raw::textUnit(402, str, raw::NLSTEXT), raw::intUnit(403, intData),
                                     raw::Unit{401, raw::BINARY, std::string(1, static_cast<char>(code))}};
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
            raw::Unit const* c = p.find(401);
            r.code = (c != nullptr && c->data.size() == 1) ? static_cast<unsigned char>(c->data[0]) : -1;
            r.str = textOf(p, 402);
            r.intData = intOf(p, 403);
            line << "COMM code=" << r.code << " int=" << r.intData << " str=" << quoted(r.str);
            break;
        }
        case PKT_AUTH:
            line << "AUTH key=" << p.keyIndex << " user=" << quoted(textOf(p, 201))
                 << " password=" << quoted(textOf(p, 202));
            break;
        case PKT_LOCALE:
            line << "LOCALE client=" << quoted(textOf(p, 601)) << " server=" << quoted(textOf(p, 602));
            break;
        case PKT_BUILD:
            line << "BUILD script=" << quoted(textOf(p, 101)) << " file=" << quoted(textOf(p, 102))
                 << " type=" << intOf(p, 105) << " rc=" << intOf(p, 106)
                 << " timeout=" << intOf(p, 107) << " opts=" << intOf(p, 116)
                 << " cond=" << quoted(textOf(p, 109)) << " parms=" << quoted(textOf(p, 108))
                 << " proclib=" << quoted(textOf(p, 117)) << " loc=" << quoted(textOf(p, 115))
                 << " inputs=" << quoted(listOf(p, 111)) << " deps=" << quoted(listOf(p, 110))
                 << " outputs=" << quoted(listOf(p, 112)) << " vars=" << quoted(listOf(p, 113));
            break;
        case PKT_FILEBULK: {
            raw::Unit const* d = p.find(502);
            line << "FILE name=" << quoted(textOf(p, 501)) << " last=" << intOf(p, 503)
                 << " length=" << (d != nullptr ? d->data.size() : 0);
            break;
        }
        default:
            line << "PACKET type=" << p.type;
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
            return fail("expected packet type " + std::to_string(type) + ", got " +
                        std::to_string(r.pkt.type) +
                        (r.pkt.type == PKT_COMM ? " (control code " + std::to_string(r.code) + ")" : ""));
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
        std::string want = c.word(2);
        if (!want.empty() && std::to_string(r.code) != want)
            return fail("control code " + std::to_string(r.code) + ", expected " + want);
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

    bool askAuth()
    {
        Received r;
        if (!sendComm(C_REQ_AUTH, "", 0) || !expectType(r, PKT_AUTH))
            return false;
        if (r.pkt.keyIndex == raw::KEY_CLEAR)
            return fail("the credentials came in clear");
        return check({{"user", textOf(r.pkt, 201)}, {"password", textOf(r.pkt, 202)}});
    }

    bool askLocale()
    {
        Received r;
        if (!sendComm(C_REQ_LOCALE, "", 0) || !expectType(r, PKT_LOCALE))
            return false;
        return check({{"client", textOf(r.pkt, 601)}, {"server", textOf(r.pkt, 602)}});
    }

    bool askBuild()
    {
        Received r;
        if (!sendComm(C_REQ_BUILD, "", 0) || !expectType(r, PKT_BUILD))
            return false;
        raw::Packet const& p = r.pkt;
        return check({{"script", textOf(p, 101)}, {"file", textOf(p, 102)},
                      {"type", std::to_string(intOf(p, 105))}, {"rc", std::to_string(intOf(p, 106))},
                      {"timeout", std::to_string(intOf(p, 107))}, {"opts", std::to_string(intOf(p, 116))},
                      {"cond", textOf(p, 109)}, {"parms", textOf(p, 108)}, {"proclib", textOf(p, 117)},
                      {"loc", textOf(p, 115)}, {"inputs", listOf(p, 111)}, {"deps", listOf(p, 110)},
                      {"outputs", listOf(p, 112)}, {"vars", listOf(p, 113)}});
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
        if (!sendComm(C_REQ_FILE, name, 0))
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
                if (wantError && r.code == C_ERROR)
                    return true;
                return fail("control code " + std::to_string(r.code) + " instead of the file");
            }
            if (r.pkt.type != PKT_FILEBULK)
                return fail("packet type " + std::to_string(r.pkt.type) + " instead of the file");
            if (wantError)
                return fail("the file came, an error was expected");
            if (textOf(r.pkt, 501) != name)
                return fail("chunk names " + quoted(textOf(r.pkt, 501)));
            raw::Unit const* d = r.pkt.find(502);
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
            if (intOf(r.pkt, 503) != 0)
                break;
            if (stopAfter > 0 && ++taken == stopAfter)
                return true;
            if (!sendComm(C_FILE_NEXT, "", 0))
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
        ~Source() { if (file != nullptr) std::fclose(file); }

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
        if (r.code != C_REQ_FILE)
            return fail("control code " + std::to_string(r.code) + ", expected a file request");
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
            std::vector<raw::Unit> units{raw::textUnit(501, name, raw::NLSTEXT),
                                         raw::intUnit(503, last ? 1 : 0),
                                         raw::Unit{502, raw::BINARY, data}};
            if (!sendBytes(raw::encode(PKT_FILEBULK, units)))
                return false;
            pos += n;
            if (last || (stopAfter > 0 && ++sentChunks == stopAfter))
                return true;
            Received ack;
            if (!expectType(ack, PKT_COMM))
                return false;
            if (ack.code == C_FILE_ABORT)
                return true;
            if (ack.code != C_FILE_NEXT)
                return fail("control code " + std::to_string(ack.code) + " between chunks");
        }
    }

    bool sendResult(Command const& c)
    {
        std::vector<raw::Unit> units{raw::intUnit(301, static_cast<int32_t>(std::stol(c.word(2)))),
                                     raw::textUnit(302, c.get("msg"), raw::NLSTEXT)};
        if (c.has("files"))
            units.push_back(raw::textUnit(303, c.get("files"), raw::TEXT));
        return sendBytes(raw::encode(PKT_BUILDRES, units, c.get("version", raw::VERSION)));
    }

    bool step(Command const& c)
    {
        std::string verb = c.word(0), what = c.word(1);
        if (verb == "accept")
            return doAccept(c);
        if (verb == "close") {
            closeConn();
            note("CLOSE");
            return true;
        }
        if (verb == "sleep") {
            usleep(static_cast<useconds_t>(std::stol(what)) * 1000);
            return true;
        }
        if (verb == "expect" && what == "comm")
            return expectComm(c);
        if (verb == "expect" && what == "closed")
            return expectClosed(c);
        if (verb == "ask" && what == "auth")
            return askAuth();
        if (verb == "ask" && what == "locale")
            return askLocale();
        if (verb == "ask" && what == "build")
            return askBuild();
        if (verb == "ask" && what == "file")
            return askFile(c);
        if (verb == "serve")
            return serve(c);
        if (verb == "send" && what == "comm")
            return sendComm(static_cast<int>(std::stol(c.word(2))), c.get("str"),
                            static_cast<int32_t>(c.num("int", 0)), c.get("version", raw::VERSION),
                            static_cast<uint32_t>(c.num("type", PKT_COMM)));
        if (verb == "send" && what == "result")
            return sendResult(c);
        if (verb == "send" && what == "raw")
            return sendBytes(c.word(2));
        if (verb == "send" && what == "header")
            return sendBytes(raw::encodeHeader(static_cast<uint32_t>(c.num("len", 0)),
                                               static_cast<uint32_t>(c.num("key", raw::KEY_CLEAR)),
                                               static_cast<uint32_t>(c.num("magic", raw::MAGIC))));
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

}  // namespace

int runScripted(int listenFd, std::string const& scriptPath, std::string const& recordPath,
                int deadlineSeconds)
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
