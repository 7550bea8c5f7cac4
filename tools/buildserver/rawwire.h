// A byte-level codec for the build protocol, written independently of the
// client's packet classes: the scripted server uses it to send exactly what
// a test asks for (other versions, unknown codes, broken frames) and to
// check, strictly, every byte the client sends.
#ifndef XRB_BUILDSERVER_RAWWIRE_H
#define XRB_BUILDSERVER_RAWWIRE_H

#include <cstdint>
#include <string>
#include <vector>

namespace raw {

constexpr uint32_t MAGIC = 29292929u;
constexpr uint32_t KEY_CLEAR = 257u;
constexpr uint32_t TAG_END = 9999u;
constexpr uint32_t TEXT = 1, BINARY = 2, NLSTEXT = 3;
constexpr char const* VERSION = "1.0.4.0.QVX";

struct Unit {
    uint32_t tag;
    uint32_t kind;
    std::string data;
    std::string text() const;       // data up to its first zero byte
    bool asInt(int32_t& out) const; // four big-endian bytes
};

struct Packet {
    uint32_t keyIndex = KEY_CLEAR;
    uint32_t type = 0;
    std::string version;
    std::vector<Unit> units; // without the first and the end unit
    Unit const* find(uint32_t tag) const;
};

void putU32(std::string& out, uint32_t v);
uint32_t getU32(unsigned char const* p);

Unit textUnit(uint32_t tag, std::string const& text, uint32_t kind);
Unit intUnit(uint32_t tag, int32_t v);

// Header and body of a packet in clear, the first unit carrying version.
std::string encode(uint32_t type, std::vector<Unit> const& units, std::string const& version = VERSION);
std::string encodeHeader(uint32_t bodyLength, uint32_t keyIndex = KEY_CLEAR, uint32_t magic = MAGIC);

// Parses a body in clear.  Returns an empty text on success, else what is
// wrong with it.
std::string parseBody(std::string const& body, Packet& out);

// Socket helpers.  Each fails (returns false, with why) on a closed peer,
// an error or when deadlineMs (a CLOCK_MONOTONIC time in ms) passes.
bool sendAll(int fd, char const* data, size_t len, std::string& why);
bool recvExact(int fd, char* data, size_t len, int64_t deadlineMs, std::string& why);
int64_t nowMs();

} // namespace raw

#endif
