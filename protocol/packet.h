// Packet framing: the 20-byte header, the tagged units of a body, sending
// and receiving a body through the one transmit buffer of the process
// (protocol/xmitbuffer.h), enciphered bodies and the checks made on every
// received packet.
//
// The body is kept in wire form in the transmit buffer at all times: units
// are encoded big-endian when they are added, and received bodies are read
// only through WireReader/UnitWalker, within the received length.
//
// A packet class lists its fields once (fields()); the base class builds a
// body from that list and parses a received body into it.  Classes whose
// body does not fit that shape override buildXmit() and parse().
//
// Errors: every failure throws a heap-allocated TCException carrying a
// message of the table (XRBE-015 invalid packet, XRBE-016 server ended the
// build, XRBE-022 connection broken, XRBE-057 out of memory, and those of
// the transport).
#ifndef XRB_PROTOCOL_PACKET_H
#define XRB_PROTOCOL_PACKET_H

#include <cstdint>
#include <vector>

#include "protocol/ownedtext.h"
#include "protocol/xmitbuffer.h"

class List;

// Packet type codes: the tag of the first unit of every body.
enum { PKT_BUILD = 1, PKT_BUILDRES = 2, PKT_FILEBULK = 3, PKT_COMM = 4, PKT_AUTH = 5, PKT_BINDATA = 6, PKT_LOCALE = 7 };

// Unit kinds.
enum {
    UNIT_TEXT = 1,   // zero-terminated identifier text
    UNIT_BINARY = 2, // raw bytes; integers big-endian
    UNIT_NLSTEXT = 3 // zero-terminated national-language text, reserves 2n
};

constexpr int UNIT_END = 9999;
constexpr uint32_t PKT_MAGIC = 29292929u;
constexpr uint32_t KEY_CLEAR = 257;     // header key index of a clear body
constexpr uint32_t KEY_INDEX_MAX = 252; // highest index naming a whole key
constexpr int XMIT_HEADER_SIZE = 20;
constexpr int UNIT_HEADER_SIZE = 12;
// Length of the first unit of every body (version unit).
constexpr uint32_t FIRST_UNIT_SIZE = 28;
constexpr uint32_t END_UNIT_SIZE = 20;

extern unsigned char xmit_header[XMIT_HEADER_SIZE];

// Reverses count bytes in place.  Kept for completeness of the interface;
// the client does not call it.
void swap(char* bytes, int count);

// Bytes a unit of that kind and data length takes in a body, header included.
uint64_t unitSize(uint32_t kind, uint32_t length);

// One unit of a received body; data points into the transmit buffer.
struct Unit {
    uint32_t tag;
    uint32_t kind;
    uint32_t length;
    unsigned char const* data;
};

// Walks the units of a received body.  next() returns false at the end unit
// and throws XRBE-015 when a unit reaches past the body or the body ends
// without the end unit.
class UnitWalker {
public:
    UnitWalker(unsigned char const* body, uint32_t length, uint32_t start);
    bool next(Unit& unit);

private:
    unsigned char const* body_;
    uint32_t length_;
    uint32_t pos_;
    bool ended_;
};

// Value of a 4-byte big-endian integer unit; XRBE-015 for another length.
int32_t unitInt(Unit const& unit);

// A body as it was received, in wire form in the transmit buffer; bytes
// stay valid until the next packet is built or received.
struct ReceivedBody {
    uint32_t type; // the packet type: the tag of the first unit
    uint32_t key;  // the header's key index; 257 for a body sent in clear
    unsigned char const* bytes;
    uint32_t length;
};

// Reads one packet from sock into the transmit buffer: the header (the
// wait for it bounded by timeout seconds, 0 for none), the body, deciphered
// when the header names a key; its units are checked to chain to the end
// unit within the body.  The type is not checked.
ReceivedBody receiveBody(int sock, int timeout);

class Packet;

// The fields of a packet and the units that carry them, listed once by
// Packet::fields for both directions: building adds one unit a field in
// the order listed; parsing hands one received unit to the field with its
// tag.  Texts are copied out of the unit (at most its length, stopping at
// a zero byte).
class UnitFields {
public:
    void text(int tag, int kind, OwnedText& field);
    // A text whose unit is left out while the text is none.
    void optionalText(int tag, int kind, OwnedText& field);
    // A 4-byte big-endian integer.
    void number(int tag, int& field);
    // One byte: the low byte of the value.
    void octet(int tag, int& field);
    // Raw bytes; no unit while there are none.
    void optionalBytes(int tag, std::vector<char>& field);
    // One text unit for each element, in list order; a received one is
    // appended.
    void list(int tag, int kind, List* field);

private:
    friend class Packet;
    UnitFields(Packet& packet, Unit const* unit) : packet_(packet), unit_(unit) {}
    bool received(int tag) const { return unit_ && unit_->tag == static_cast<uint32_t>(tag); }

    Packet& packet_;
    Unit const* unit_; // the unit being parsed; none while building
};

class Packet {
public:
    // A bare packet: its body is built by hand with the xmit calls and
    // send() sends it as it stands.
    Packet();
    virtual ~Packet() {}

    // Builds the body (buildXmit) and sends the header and the body; a
    // non-zero encipher enciphers the body first.  Returns the transport's
    // result; throws on every failure.  A send never leaves the transmit
    // buffer above 10,000,000 bytes behind.
    int send(int sock, int encipher);
    // Receives one packet (receiveBody) and checks its type.  A control
    // packet where another type was expected ends the receive: XRBE-016
    // when its code is COMM_ERROR, XRBE-022 otherwise; any other type
    // than the expected one is XRBE-015.  Returns the body, which this
    // packet's parse() then reads.
    ReceivedBody recv(int sock, int expectedType, int timeout);

    // The body of this packet's fields; a bare packet keeps what was built.
    virtual void buildXmit();
    // Reads the received body into the fields.
    virtual void parse();

    void xmitInit(unsigned type);
    void xmitAddUnit(int tag, unsigned length, void const* data, int kind);
    void xmitAddInt(int tag, int32_t value);               // kind 2, 4 bytes
    void xmitAddText(int tag, char const* text, int kind); // text and its zero
    void xmitAddEnd();
    // Room in the transmit buffer for a unit of size data bytes.
    void bumpXmitBuf(uint64_t size);
    void resetXmitBuf() { xmitBuffer.shrink(); }
    // The body stays in wire form; direction 2 checks that the units of a
    // received body chain to the end unit within its length.
    void fixEndian(int direction);

    // The language setters are kept for completeness of the interface; the
    // client does not call them.
    static void set_nlsLang(int lang);
    static void set_nlsLang(char const* code);
    static int nlsLang;
    static void* _handleAscii2Ebcdic;
    static void* _handleEbcdic2Ascii;

    uint32_t get_bodyLength() const { return bodyLength; }
    char* get_buffer() const { return xmitBuffer.body(); }

protected:
    // A packet of a class: its type is the first unit of its bodies.
    explicit Packet(unsigned type);
    // The fields of the class, for buildXmit and parse; none for a bare packet.
    virtual void fields(UnitFields&) {}
    // Receives a packet of this class's type, with no wait limit, and parses it.
    void receive(int sock);
    // Takes a body received by another packet as its own.
    void adopt(ReceivedBody const& body);
    // A unit of raw bytes (kind 2).  While send() builds a body in clear
    // they stay where they are and go to the connection from there, between
    // the units around them, so a large block is not copied; otherwise they
    // are copied in like any unit.  They must stay put until send() returns.
    void xmitAddBytes(int tag, uint32_t length, void const* data);
    // Units after the first one, from the unit cursor.
    UnitWalker units() const;
    // The first unit (packet type and version).
    Unit firstUnit() const;

private:
    int transmit(int sock, int encipher);

    unsigned packetType;
    uint32_t bodyLength;
    uint32_t unitCursor;
    // The block of an xmitAddBytes unit that stays outside the buffer: its
    // data would start at offset at of the body.
    struct Outside {
        uint32_t at;
        char const* data;
        uint32_t length;
    } outside;
    bool mayLeaveOutside;
};

// Sends the packet in clear the way control packets travel: a failure is
// not reported here but shows at the next receive on the socket; only a
// wait that ran out throws.  The transport's result, or -1.
int sendUnchecked(Packet& packet, int sock);

#endif
