// Framing of every packet: header, units, sending and receiving through the
// transmit buffer, and the checks made on receipt.
#include "protocol/packet.h"

#include <cstring>
#include <new>

#include "base/list.h"
#include "base/tcexp.h"
#include "msg/msg.h"
#include "net/tcpfns.h"
#include "protocol/commpacket.h"
#include "protocol/reader.h"
#include "protocol/wiremsg.h"
#include "security/xrbciph.h"
#include "trace/fhgtrace.h"

unsigned char xmit_header[XMIT_HEADER_SIZE];

int Packet::nlsLang = 1;
void* Packet::_handleAscii2Ebcdic = nullptr;
void* Packet::_handleEbcdic2Ascii = nullptr;

namespace {

char const VERSION_TEXT[12] = "1.0.4.0.QVX";
char const END_TEXT[4] = "END";
uint32_t const EAGER_BODY = 16u << 20;

uint64_t round8(uint64_t n)
{
    return (n + 7) / 8 * 8;
}

unsigned char const* bodyBytes()
{
    return reinterpret_cast<unsigned char const*>(xmitBuffer.body());
}

void fillHeader(uint32_t bodyLength, uint32_t keyIndex)
{
    putU32(xmit_header, PKT_MAGIC);
    putU32(xmit_header + 4, bodyLength);
    putU32(xmit_header + 8, keyIndex);
    std::memset(xmit_header + 12, 0, XMIT_HEADER_SIZE - 12);
}

// A control packet came where another packet was expected: the peer ended
// the build, or the conversation is broken.
[[noreturn]] void refuseReplacingControl(ReceivedBody const& body)
{
    if (controlCodeOf(body) == COMM_ERROR)
        throw new TCException(msgGet(XRBE_016_BUILD_ABORTED));
    throw new TCException(msgGet(XRBE_022_CONNECTION_BROKEN));
}

} // namespace

void swap(char* bytes, int count)
{
    for (int k = 0; k < count / 2; ++k) {
        char t = bytes[k];
        bytes[k] = bytes[count - 1 - k];
        bytes[count - 1 - k] = t;
    }
}

uint64_t unitSize(uint32_t kind, uint32_t length)
{
    uint64_t n = length;
    return UNIT_HEADER_SIZE + (kind == UNIT_NLSTEXT ? round8(2 * n) : round8(n));
}

[[noreturn]] void throwInvalidPacket(long long expected, long long received)
{
    throw new TCException(msgGet(XRBE_015_INVALID_PACKET, static_cast<int>(expected), static_cast<int>(received)));
}

[[noreturn]] void throwNoMemory(unsigned long long size)
{
    throw new TCException(msgGet(XRBE_057_NO_MEMORY, static_cast<unsigned>(size > 0xFFFFFFFFu ? 0xFFFFFFFFu : size)));
}

UnitWalker::UnitWalker(unsigned char const* body, uint32_t length, uint32_t start)
    : body_(body), length_(length), pos_(start), ended_(false)
{}

bool UnitWalker::next(Unit& unit)
{
    unit = Unit{0, 0, 0, nullptr};
    if (ended_)
        return false;
    if (pos_ > length_)
        throwInvalidPacket(length_, pos_);
    // The reader's bounds decide: the header words, the data and the
    // padding must all lie within the body.
    WireReader r(body_ + pos_, length_ - pos_);
    if (!r.takeU32(unit.tag) || !r.takeU32(unit.kind) || !r.takeU32(unit.length))
        throwInvalidPacket(UNIT_END, length_);
    uint64_t step = unitSize(unit.kind, unit.length);
    if (!r.takeBytes(unit.length, unit.data) || !r.skip(step - UNIT_HEADER_SIZE - unit.length))
        throwInvalidPacket(length_, pos_ + step);
    pos_ += static_cast<uint32_t>(step);
    if (unit.tag == UNIT_END) {
        ended_ = true;
        return false;
    }
    return true;
}

int32_t unitInt(Unit const& unit)
{
    WireReader r(unit.data, unit.length);
    int32_t v = 0;
    if (unit.length != 4 || !r.takeI32(v))
        throwInvalidPacket(4, unit.length);
    return v;
}

ReceivedBody receiveBody(int sock, int timeout)
{
    Recv(sock, reinterpret_cast<char*>(xmit_header), XMIT_HEADER_SIZE, timeout);
    WireReader header(xmit_header, XMIT_HEADER_SIZE);
    uint32_t magic = 0, length = 0, keyIndex = 0;
    header.takeU32(magic);
    header.takeU32(length);
    header.takeU32(keyIndex);
    if (magic != PKT_MAGIC)
        throwInvalidPacket(PKT_MAGIC, magic);

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
        xmitBuffer.reserve(round8(step) + got + UNIT_HEADER_SIZE);
        Recv(sock, xmitBuffer.body() + got, static_cast<int>(step), 0);
        got += step;
    } while (got < length);

    if (keyIndex != KEY_CLEAR) {
        if (keyIndex > KEY_INDEX_MAX)
            throwInvalidPacket(KEY_INDEX_MAX, keyIndex);
        XRB_TRACE_AT("xrbbld", "Deciphering, key=%d", static_cast<int>(keyIndex));
        decipher(xmitBuffer.body(), length, keyIndex);
    }
    UnitWalker walker(bodyBytes(), length, 0);
    Unit first;
    walker.next(first);
    Unit unit;
    while (walker.next(unit)) {
    }
    return ReceivedBody{first.tag, keyIndex, bodyBytes(), length};
}

void UnitFields::text(int tag, int kind, OwnedText& field)
{
    if (!unit_)
        packet_.xmitAddText(tag, field.text(), kind);
    else if (received(tag))
        field.setBytes(unit_->data, unit_->length);
}

void UnitFields::optionalText(int tag, int kind, OwnedText& field)
{
    if (unit_ || field.present())
        text(tag, kind, field);
}

void UnitFields::number(int tag, int& field)
{
    if (!unit_)
        packet_.xmitAddInt(tag, field);
    else if (received(tag))
        field = unitInt(*unit_);
}

void UnitFields::octet(int tag, int& field)
{
    if (!unit_) {
        unsigned char low = static_cast<unsigned char>(field & 0xFF);
        packet_.xmitAddUnit(tag, 1, &low, UNIT_BINARY);
    } else if (received(tag)) {
        if (unit_->length < 1)
            throwInvalidPacket(1, unit_->length);
        field = unit_->data[0];
    }
}

void UnitFields::optionalBytes(int tag, std::vector<char>& field)
{
    if (!unit_) {
        if (!field.empty())
            packet_.xmitAddUnit(tag, static_cast<unsigned>(field.size()), field.data(), UNIT_BINARY);
    } else if (received(tag)) {
        try {
            field.assign(unit_->data, unit_->data + unit_->length);
        } catch (std::bad_alloc&) {
            throwNoMemory(unit_->length);
        }
    }
}

void UnitFields::list(int tag, int kind, List* field)
{
    if (!unit_) {
        field->reset();
        for (char* item = field->getItem(); item; field->next(), item = field->getItem())
            packet_.xmitAddText(tag, item, kind);
    } else if (received(tag)) {
        OwnedText item;
        item.setBytes(unit_->data, unit_->length);
        field->addElem(item.text());
    }
}

Packet::Packet() : Packet(0) {}

Packet::Packet(unsigned type)
    : packetType(type), bodyLength(0), unitCursor(0), outside{0, nullptr, 0}, mayLeaveOutside(false)
{
    xmitBuffer.allocate();
}

void Packet::buildXmit()
{
    if (!packetType)
        return;
    xmitInit(packetType);
    UnitFields building(*this, nullptr);
    fields(building);
    xmitAddEnd();
}

void Packet::parse()
{
    UnitWalker walker = units();
    Unit unit;
    while (walker.next(unit)) {
        UnitFields parsing(*this, &unit);
        fields(parsing);
    }
}

void Packet::xmitInit(unsigned type)
{
    xmitBuffer.allocate();
    bodyLength = 0;
    unitCursor = 0;
    outside = Outside{0, nullptr, 0};
    xmitAddUnit(static_cast<int>(type), sizeof VERSION_TEXT, VERSION_TEXT, UNIT_TEXT);
}

void Packet::bumpXmitBuf(uint64_t size)
{
    xmitBuffer.reserve(round8(size) + bodyLength + UNIT_HEADER_SIZE);
}

void Packet::xmitAddUnit(int tag, unsigned length, void const* data, int kind)
{
    bumpXmitBuf(kind == UNIT_NLSTEXT ? 2 * uint64_t(length) : length);
    uint64_t step = unitSize(static_cast<uint32_t>(kind), length);
    unsigned char* p = reinterpret_cast<unsigned char*>(xmitBuffer.body()) + bodyLength;
    putU32(p, static_cast<uint32_t>(tag));
    putU32(p + 4, static_cast<uint32_t>(kind));
    putU32(p + 8, length);
    if (length)
        std::memcpy(p + UNIT_HEADER_SIZE, data, length);
    // Padding is never interpreted; zero keeps the wire bytes reproducible.
    std::memset(p + UNIT_HEADER_SIZE + length, 0, static_cast<size_t>(step - UNIT_HEADER_SIZE - length));
    bodyLength += static_cast<uint32_t>(step);
}

void Packet::xmitAddInt(int tag, int32_t value)
{
    unsigned char be[4];
    putU32(be, static_cast<uint32_t>(value));
    xmitAddUnit(tag, 4, be, UNIT_BINARY);
}

void Packet::xmitAddText(int tag, char const* text, int kind)
{
    if (!text)
        text = "";
    size_t n = std::strlen(text) + 1;
    if (n > XMIT_MAX_BODY)
        throwNoMemory(n);
    xmitAddUnit(tag, static_cast<unsigned>(n), text, kind);
}

void Packet::xmitAddEnd()
{
    xmitAddUnit(UNIT_END, sizeof END_TEXT, END_TEXT, UNIT_TEXT);
}

void Packet::xmitAddBytes(int tag, uint32_t length, void const* data)
{
    uint64_t padded = round8(length);
    if (!mayLeaveOutside || outside.data || length == 0 || !data || padded + 4096 > XMIT_MAX_BODY) {
        xmitAddUnit(tag, length, data, UNIT_BINARY);
        return;
    }
    // The unit's header goes into the buffer; its data and padding are
    // accounted for when the body is sent.
    xmitAddUnit(tag, 0, nullptr, UNIT_BINARY);
    putU32(reinterpret_cast<unsigned char*>(xmitBuffer.body()) + bodyLength - 4, length);
    outside = Outside{bodyLength, static_cast<char const*>(data), length};
}

int Packet::send(int sock, int encipherBody)
{
    struct Sending {
        Packet& p;
        ~Sending()
        {
            p.mayLeaveOutside = false;
            p.outside = Outside{0, nullptr, 0};
        }
    } sending{*this};
    mayLeaveOutside = !encipherBody;
    buildXmit();
    mayLeaveOutside = false;
    int rc = transmit(sock, encipherBody);
    xmitBuffer.shrink();
    return rc;
}

int Packet::transmit(int sock, int encipherBody)
{
    uint32_t keyIndex = encipherBody ? getIndex() : KEY_CLEAR;
    char* body = xmitBuffer.body();
    if (!outside.data) {
        fillHeader(bodyLength, keyIndex);
        unitCursor = 0;
        fixEndian(1);
        if (encipherBody) {
            XRB_TRACE_AT("xrbbld", "Enciphering, key=%d", static_cast<int>(keyIndex));
            encipher(body, bodyLength, keyIndex);
        }
        return SendPair(sock, reinterpret_cast<char*>(xmit_header), XMIT_HEADER_SIZE, body,
                        static_cast<int>(bodyLength));
    }
    uint64_t padded = round8(outside.length);
    fillHeader(static_cast<uint32_t>(bodyLength + padded), keyIndex);
    static char const zeros[8] = {};
    SendPiece pieces[5] = {{reinterpret_cast<char*>(xmit_header), XMIT_HEADER_SIZE},
                           {body, outside.at},
                           {outside.data, outside.length},
                           {zeros, static_cast<long long>(padded - outside.length)},
                           {body + outside.at, bodyLength - outside.at}};
    return SendPieces(sock, pieces, 5);
}

ReceivedBody Packet::recv(int sock, int expectedType, int timeout)
{
    bodyLength = 0;
    unitCursor = 0;
    ReceivedBody body = receiveBody(sock, timeout);
    adopt(body);
    if (body.type == PKT_COMM && expectedType != PKT_COMM)
        refuseReplacingControl(body);
    if (body.type != static_cast<uint32_t>(expectedType))
        throwInvalidPacket(expectedType, body.type);
    return body;
}

void Packet::receive(int sock)
{
    recv(sock, static_cast<int>(packetType), 0);
    parse();
}

void Packet::adopt(ReceivedBody const& body)
{
    bodyLength = body.length;
    unitCursor = 0;
}

void Packet::fixEndian(int direction)
{
    if (direction != 2)
        return;
    UnitWalker walker(bodyBytes(), bodyLength, unitCursor);
    Unit unit;
    while (walker.next(unit)) {
    }
}

void Packet::set_nlsLang(int lang)
{
    nlsLang = lang;
}
void Packet::set_nlsLang(char const* code)
{
    nlsLang = lang2int(code);
}

UnitWalker Packet::units() const
{
    UnitWalker walker(bodyBytes(), bodyLength, unitCursor);
    Unit first;
    walker.next(first);
    return walker;
}

Unit Packet::firstUnit() const
{
    UnitWalker walker(bodyBytes(), bodyLength, unitCursor);
    Unit first;
    walker.next(first);
    return first;
}

int sendUnchecked(Packet& packet, int sock)
{
    try {
        return packet.send(sock, 0);
    } catch (TCException* e) {
        if (waitRanOut())
            throw;
        delete e;
        return -1;
    }
}
