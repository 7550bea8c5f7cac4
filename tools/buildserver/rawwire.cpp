#include "rawwire.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <sys/socket.h>

namespace raw {

std::string Unit::text() const
{
    return data.substr(0, data.find('\0'));
}

bool Unit::asInt(int32_t& out) const
{
    if (data.size() != 4)
        return false;
    out = static_cast<int32_t>(getU32(reinterpret_cast<unsigned char const*>(data.data())));
    return true;
}

Unit const* Packet::find(uint32_t tag) const
{
    for (Unit const& u : units)
        if (u.tag == tag)
            return &u;
    return nullptr;
}

void putU32(std::string& out, uint32_t v)
{
    out.push_back(static_cast<char>(v >> 24));
    out.push_back(static_cast<char>(v >> 16));
    out.push_back(static_cast<char>(v >> 8));
    out.push_back(static_cast<char>(v));
}

uint32_t getU32(unsigned char const* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

static uint64_t reserved(uint32_t kind, uint32_t length)
{
    uint64_t n = kind == NLSTEXT ? 2ull * length : length;
    return (n + 7) / 8 * 8;
}

Unit textUnit(uint32_t tag, std::string const& text, uint32_t kind)
{
    std::string data = text;
    data.push_back('\0');
    return Unit{tag, kind, data};
}

Unit intUnit(uint32_t tag, int32_t v)
{
    std::string data;
    putU32(data, static_cast<uint32_t>(v));
    return Unit{tag, BINARY, data};
}

static void appendUnit(std::string& body, Unit const& u)
{
    putU32(body, u.tag);
    putU32(body, u.kind);
    putU32(body, static_cast<uint32_t>(u.data.size()));
    body += u.data;
    body.append(reserved(u.kind, static_cast<uint32_t>(u.data.size())) - u.data.size(), '\0');
}

std::string encodeHeader(uint32_t bodyLength, uint32_t keyIndex, uint32_t magic)
{
    std::string h;
    putU32(h, magic);
    putU32(h, bodyLength);
    putU32(h, keyIndex);
    h.append(8, '\0');
    return h;
}

std::string encode(uint32_t type, std::vector<Unit> const& units, std::string const& version)
{
    std::string body;
    appendUnit(body, textUnit(type, version, TEXT));
    for (Unit const& u : units)
        appendUnit(body, u);
    appendUnit(body, textUnit(TAG_END, "END", TEXT));
    return encodeHeader(static_cast<uint32_t>(body.size())) + body;
}

std::string parseBody(std::string const& body, Packet& out)
{
    out.units.clear();
    auto const* base = reinterpret_cast<unsigned char const*>(body.data());
    uint64_t pos = 0;
    bool first = true;
    while (true) {
        if (body.size() - pos < 12)
            return "unit header past the end of the body at offset " + std::to_string(pos);
        Unit u;
        u.tag = getU32(base + pos);
        u.kind = getU32(base + pos + 4);
        uint32_t length = getU32(base + pos + 8);
        if (u.kind < TEXT || u.kind > NLSTEXT)
            return "unit " + std::to_string(u.tag) + " has kind " + std::to_string(u.kind);
        uint64_t step = 12 + reserved(u.kind, length);
        if (step > body.size() - pos)
            return "unit " + std::to_string(u.tag) + " reaches past the end of the body";
        u.data.assign(body, pos + 12, length);
        pos += step;
        if (first) {
            if (u.kind != TEXT)
                return "first unit is not a text";
            out.type = u.tag;
            out.version = u.text();
            first = false;
            continue;
        }
        if (u.tag == TAG_END) {
            if (u.data != std::string("END", 4))
                return "end unit does not carry END";
            if (pos != body.size())
                return "bytes after the end unit";
            return std::string();
        }
        out.units.push_back(u);
    }
}

int64_t nowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool sendAll(int fd, char const* data, size_t len, std::string& why)
{
    while (len > 0) {
        ssize_t n = ::send(fd, data, len, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            why = std::string("send failed: ") + std::strerror(errno);
            return false;
        }
        data += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

bool recvExact(int fd, char* data, size_t len, int64_t deadlineMs, std::string& why)
{
    while (len > 0) {
        int64_t left = deadlineMs - nowMs();
        if (left <= 0) {
            why = "timed out waiting for the client";
            return false;
        }
        pollfd p{fd, POLLIN, 0};
        int r = ::poll(&p, 1, static_cast<int>(left > 1000000 ? 1000000 : left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r == 0)
            continue;
        ssize_t n = ::recv(fd, data, len, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (n < 0 && errno == ECONNRESET)) {
            why = "connection closed by the client";
            return false;
        }
        if (n < 0) {
            why = std::string("recv failed: ") + std::strerror(errno);
            return false;
        }
        data += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace raw
