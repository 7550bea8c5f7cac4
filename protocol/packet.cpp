// Framing of every packet: header, units, the shared buffer and the checks
// made on receipt.
#include "protocol/packet.h"

#include <cstdlib>
#include <cstring>

#include "base/tcexp.h"
#include "msg/msg.h"
#include "net/tcpfns.h"
#include "protocol/commpacket.h"
#include "protocol/reader.h"
#include "protocol/wiremsg.h"
#include "security/xrbciph.h"
#include "trace/fhgtrace.h"

char* global_xmit_buffer = nullptr;
uint32_t global_xmit_buf_len = 0;
unsigned char xmit_header[XMIT_HEADER_SIZE];

int Packet::nlsLang = 1;
void* Packet::_handleAscii2Ebcdic = nullptr;
void* Packet::_handleEbcdic2Ascii = nullptr;

namespace {

const char VERSION_TEXT[12] = "1.0.4.0.QVX";
const char END_TEXT[4] = "END";
// Length of the body now in the shared buffer, for a packet that adopts it.
uint32_t currentBodyLength = 0;
const uint32_t EAGER_BODY = 16u << 20;

uint64_t round8(uint64_t n) { return (n + 7) / 8 * 8; }

void allocateInitial() {
    global_xmit_buffer = static_cast<char*>(std::calloc(XMIT_INITIAL_SIZE, 1));
    if (!global_xmit_buffer) {
        global_xmit_buf_len = 0;
        throwNoMemory(XMIT_INITIAL_SIZE);
    }
    global_xmit_buf_len = XMIT_INITIAL_SIZE;
}

}  // namespace

void swap(char* bytes, int count) {
    for (int k = 0; k < count / 2; ++k) {
        char t = bytes[k];
        bytes[k] = bytes[count - 1 - k];
        bytes[count - 1 - k] = t;
    }
}

uint64_t unitSize(uint32_t kind, uint32_t length) {
    uint64_t n = length;
    return UNIT_HEADER_SIZE + (kind == UNIT_NLSTEXT ? round8(2 * n) : round8(n));
}

[[noreturn]] void throwInvalidPacket(long long expected, long long received) {
    throw new TCException(msgGet(XRBE_015_INVALID_PACKET, static_cast<int>(expected),
                                 static_cast<int>(received)));
}

[[noreturn]] void throwNoMemory(unsigned long long size) {
    throw new TCException(msgGet(XRBE_057_NO_MEMORY, static_cast<unsigned>(size > 0xFFFFFFFFu ? 0xFFFFFFFFu : size)));
}

UnitWalker::UnitWalker(const unsigned char* body, uint32_t length, uint32_t start)
    : body_(body), length_(length), pos_(start), ended_(false) {}

bool UnitWalker::next(Unit& unit) {
    unit = Unit{0, 0, 0, nullptr};
    if (ended_)
        return false;
    if (pos_ > length_)
        throwInvalidPacket(length_, pos_);
    WireReader r(body_ + pos_, length_ - pos_);
    if (!r.takeU32(unit.tag) || !r.takeU32(unit.kind) || !r.takeU32(unit.length))
        throwInvalidPacket(UNIT_END, length_);
    uint64_t step = unitSize(unit.kind, unit.length);
    if (step > length_ - pos_ || !r.takeBytes(unit.length, unit.data))
        throwInvalidPacket(length_, pos_ + step);
    pos_ += static_cast<uint32_t>(step);
    if (unit.tag == UNIT_END) {
        ended_ = true;
        return false;
    }
    return true;
}

int32_t unitInt(const Unit& unit) {
    WireReader r(unit.data, unit.length);
    int32_t v = 0;
    if (unit.length != 4 || !r.takeI32(v))
        throwInvalidPacket(4, unit.length);
    return v;
}

Packet::Packet() : buffer(nullptr), bodyLength(0), unitCursor(0) {
    if (!global_xmit_buffer)
        allocateInitial();
    buffer = global_xmit_buffer;
}

void Packet::xmitInit(unsigned type) {
    if (!global_xmit_buffer)
        allocateInitial();
    buffer = global_xmit_buffer;
    bodyLength = 0;
    unitCursor = 0;
    xmitAddUnit(static_cast<int>(type), sizeof VERSION_TEXT, VERSION_TEXT, UNIT_TEXT);
}

void Packet::bumpXmitBuf(uint64_t size) {
    uint64_t need = round8(size) + bodyLength + UNIT_HEADER_SIZE;
    if (need > uint64_t(XMIT_MAX_BODY) + 64)
        throwNoMemory(need);
    if (need >= global_xmit_buf_len || !global_xmit_buffer) {
        uint64_t grown = need + global_xmit_buf_len + XMIT_INITIAL_SIZE;
        if (grown > 0xFFFFFF00u)
            grown = 0xFFFFFF00u;
        // On failure the old buffer stays valid and in use.
        char* p = static_cast<char*>(std::realloc(global_xmit_buffer, static_cast<size_t>(grown)));
        if (!p)
            throwNoMemory(grown);
        global_xmit_buffer = p;
        global_xmit_buf_len = static_cast<uint32_t>(grown);
    }
    buffer = global_xmit_buffer;
}

void Packet::resetXmitBuf() {
    if (global_xmit_buf_len > XMIT_RESET_ABOVE) {
        std::free(global_xmit_buffer);
        global_xmit_buffer = nullptr;
        global_xmit_buf_len = 0;
        allocateInitial();
    }
    buffer = global_xmit_buffer;
}

void Packet::xmitAddUnit(int tag, unsigned length, const void* data, int kind) {
    bumpXmitBuf(kind == UNIT_NLSTEXT ? 2 * uint64_t(length) : length);
    uint64_t step = unitSize(static_cast<uint32_t>(kind), length);
    unsigned char* p = reinterpret_cast<unsigned char*>(buffer) + bodyLength;
    putU32(p, static_cast<uint32_t>(tag));
    putU32(p + 4, static_cast<uint32_t>(kind));
    putU32(p + 8, length);
    if (length)
        std::memcpy(p + UNIT_HEADER_SIZE, data, length);
    // Padding is never interpreted; zero keeps the wire bytes reproducible.
    std::memset(p + UNIT_HEADER_SIZE + length, 0, static_cast<size_t>(step - UNIT_HEADER_SIZE - length));
    bodyLength += static_cast<uint32_t>(step);
    currentBodyLength = bodyLength;
}

void Packet::xmitAddInt(int tag, int32_t value) {
    unsigned char be[4];
    putU32(be, static_cast<uint32_t>(value));
    xmitAddUnit(tag, 4, be, UNIT_BINARY);
}

void Packet::xmitAddText(int tag, const char* text, int kind) {
    if (!text)
        text = "";
    size_t n = std::strlen(text) + 1;
    if (n > XMIT_MAX_BODY)
        throwNoMemory(n);
    xmitAddUnit(tag, static_cast<unsigned>(n), text, kind);
}

void Packet::xmitAddEnd() { xmitAddUnit(UNIT_END, sizeof END_TEXT, END_TEXT, UNIT_TEXT); }

int Packet::send(int sock, int encipherBody) {
    uint32_t keyIndex = encipherBody ? getIndex() : KEY_CLEAR;
    putU32(xmit_header, PKT_MAGIC);
    putU32(xmit_header + 4, bodyLength);
    putU32(xmit_header + 8, keyIndex);
    std::memset(xmit_header + 12, 0, XMIT_HEADER_SIZE - 12);
    unitCursor = 0;
    fixEndian(1);
    if (encipherBody) {
        XRB_TRACE_AT("xrbbld", "Enciphering, key=%d", static_cast<int>(keyIndex));
        encipher(buffer, bodyLength, keyIndex);
    }
    return SendPair(sock, reinterpret_cast<char*>(xmit_header), XMIT_HEADER_SIZE, buffer,
                    static_cast<int>(bodyLength));
}

int Packet::recv(int sock, int expectedType, int timeout) {
    Recv(sock, reinterpret_cast<char*>(xmit_header), XMIT_HEADER_SIZE, timeout);
    WireReader header(xmit_header, XMIT_HEADER_SIZE);
    uint32_t magic = 0, length = 0, keyIndex = 0;
    header.takeU32(magic);
    header.takeU32(length);
    header.takeU32(keyIndex);
    if (magic != PKT_MAGIC)
        throwInvalidPacket(PKT_MAGIC, magic);

    bodyLength = 0;
    currentBodyLength = 0;
    if (length > XMIT_MAX_BODY)
        throwNoMemory(length);
    // A large announced body is taken in steps that at least double, so that
    // memory follows the bytes that really arrive, not what a header claims.
    uint32_t got = 0;
    do {
        uint32_t left = length - got;
        uint32_t step = got > EAGER_BODY ? got : EAGER_BODY;
        if (step > left)
            step = left;
        bodyLength = got;
        bumpXmitBuf(step);
        Recv(sock, buffer + got, static_cast<int>(step), 0);
        got += step;
    } while (got < length);
    bodyLength = length;
    currentBodyLength = length;

    if (keyIndex != KEY_CLEAR) {
        if (keyIndex > KEY_INDEX_MAX)
            throwInvalidPacket(KEY_INDEX_MAX, keyIndex);
        XRB_TRACE_AT("xrbbld", "Deciphering, key=%d", static_cast<int>(keyIndex));
        decipher(buffer, bodyLength, keyIndex);
    }
    unitCursor = 0;
    fixEndian(2);

    uint32_t type = firstUnit().tag;
    if (type == PKT_COMM && expectedType != PKT_COMM) {
        CommPacket replacing;
        if (replacing.get_commtype() == COMM_ERROR)
            throw new TCException(msgGet(XRBE_016_BUILD_ABORTED));
        throw new TCException(msgGet(XRBE_022_CONNECTION_BROKEN));
    }
    if (type != static_cast<uint32_t>(expectedType))
        throwInvalidPacket(expectedType, type);
    return 0;
}

void Packet::fixEndian(int direction) {
    if (direction != 2)
        return;
    UnitWalker walker(reinterpret_cast<const unsigned char*>(buffer), bodyLength, unitCursor);
    Unit unit;
    while (walker.next(unit)) {
    }
}

void Packet::set_nlsLang(int lang) { nlsLang = lang; }
void Packet::set_nlsLang(const char* code) { nlsLang = lang2int(code); }

UnitWalker Packet::units() const {
    UnitWalker walker(reinterpret_cast<const unsigned char*>(buffer), bodyLength, unitCursor);
    Unit first;
    walker.next(first);
    return walker;
}

Unit Packet::firstUnit() const {
    UnitWalker walker(reinterpret_cast<const unsigned char*>(buffer), bodyLength, unitCursor);
    Unit first;
    walker.next(first);
    return first;
}

void Packet::adoptCurrentBody() {
    buffer = global_xmit_buffer;
    bodyLength = currentBodyLength;
    unitCursor = 0;
}
