// Packet framing: the 20-byte header, the tagged units of a body, the one
// transmit buffer that every packet of the process shares, enciphered bodies
// and the checks made on every received packet.
//
// The body is kept in wire form in the shared buffer at all times: units are
// encoded big-endian when they are added, and received bodies are read only
// through WireReader/UnitWalker, within the received length.
//
// Errors: every failure throws a heap-allocated TCException carrying a
// message of the table (XRBE-015 invalid packet, XRBE-016 server ended the
// build, XRBE-022 connection broken, XRBE-057 out of memory, and those of
// the transport).
#ifndef XRB_PROTOCOL_PACKET_H
#define XRB_PROTOCOL_PACKET_H

#include <cstdint>

// Packet type codes: the tag of the first unit of every body.
enum {
    PKT_BUILD = 1,
    PKT_BUILDRES = 2,
    PKT_FILEBULK = 3,
    PKT_COMM = 4,
    PKT_AUTH = 5,
    PKT_BINDATA = 6,
    PKT_LOCALE = 7
};

// Unit kinds.
enum {
    UNIT_TEXT = 1,      // zero-terminated identifier text
    UNIT_BINARY = 2,    // raw bytes; integers big-endian
    UNIT_NLSTEXT = 3    // zero-terminated national-language text, reserves 2n
};

constexpr int UNIT_END = 9999;
constexpr uint32_t PKT_MAGIC = 29292929u;
constexpr uint32_t KEY_CLEAR = 257;        // header key index of a clear body
constexpr uint32_t KEY_INDEX_MAX = 252;    // highest index naming a whole key
constexpr int XMIT_HEADER_SIZE = 20;
constexpr int UNIT_HEADER_SIZE = 12;
constexpr uint32_t XMIT_INITIAL_SIZE = 1024;
constexpr uint32_t XMIT_RESET_ABOVE = 10000000;
// Largest body accepted or built; keeps every size within the transport's int.
constexpr uint32_t XMIT_MAX_BODY = 0x7FFF0000u;
// Length of the first unit of every body (version unit).
constexpr uint32_t FIRST_UNIT_SIZE = 28;
constexpr uint32_t END_UNIT_SIZE = 20;

extern char* global_xmit_buffer;          // the shared body buffer
extern uint32_t global_xmit_buf_len;      // its capacity in bytes
extern unsigned char xmit_header[XMIT_HEADER_SIZE];

// Reverses count bytes in place.
void swap(char* bytes, int count);

// Bytes a unit of that kind and data length takes in a body, header included.
uint64_t unitSize(uint32_t kind, uint32_t length);

// One unit of a received body; data points into the shared buffer.
struct Unit {
    uint32_t tag;
    uint32_t kind;
    uint32_t length;
    const unsigned char* data;
};

// Walks the units of a received body.  next() returns false at the end unit
// and throws XRBE-015 when a unit reaches past the body or the body ends
// without the end unit.
class UnitWalker {
public:
    UnitWalker(const unsigned char* body, uint32_t length, uint32_t start);
    bool next(Unit& unit);

private:
    const unsigned char* body_;
    uint32_t length_;
    uint32_t pos_;
    bool ended_;
};

// Value of a 4-byte big-endian integer unit; XRBE-015 for another length.
int32_t unitInt(const Unit& unit);

class Packet {
public:
    Packet();
    ~Packet() {}

    void xmitInit(unsigned type);
    void xmitAddUnit(int tag, unsigned length, const void* data, int kind);
    void xmitAddInt(int tag, int32_t value);                  // kind 2, 4 bytes
    void xmitAddText(int tag, const char* text, int kind);    // text and its zero
    void xmitAddEnd();
    void bumpXmitBuf(uint64_t size);
    void resetXmitBuf();

    int send(int sock, int encipher);
    int recv(int sock, int expectedType, int timeout);
    // The body stays in wire form; direction 2 checks that the units of a
    // received body chain to the end unit within its length.
    void fixEndian(int direction);

    static void set_nlsLang(int lang);
    static void set_nlsLang(const char* code);
    static int nlsLang;
    static void* _handleAscii2Ebcdic;
    static void* _handleEbcdic2Ascii;

    uint32_t get_bodyLength() const { return bodyLength; }
    char* get_buffer() const { return buffer; }

protected:
    // Units after the first one, from the unit cursor.
    UnitWalker units() const;
    // The first unit (packet type and version).
    Unit firstUnit() const;
    // Adopts the body now in the shared buffer (a replacing control packet).
    void adoptCurrentBody();

    char* buffer;
    uint32_t bodyLength;
    uint32_t unitCursor;
};

#endif
