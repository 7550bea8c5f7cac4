// CommPacket: the control packet that steers the conversation, and the
// version check of a ping reply.
#ifndef XRB_PROTOCOL_COMMPACKET_H
#define XRB_PROTOCOL_COMMPACKET_H

#include "base/tcstring.h"
#include "protocol/ownedtext.h"
#include "protocol/packet.h"

// Control codes; one byte on the wire, so only 0 to 255 travel.
enum COMMTYPE_ : int {
    COMM_NONE = 0, // what a failed receive leaves
    COMM_ERROR = 1,
    COMM_END = 2,
    COMM_REQ_AUTH = 3,
    COMM_REQ_BUILD = 4,
    COMM_REQ_RESULT = 5,
    COMM_REQ_FILE = 6,
    COMM_START = 7,
    COMM_PING = 8,
    COMM_MESSAGE = 10,
    COMM_FILE_NEXT = 15,
    COMM_FILE_ABORT = 16,
    COMM_BUSY = 17,
    COMM_REQ_LOCALE = 18
};

class CommPacket : public Packet {
public:
    explicit CommPacket(COMMTYPE_ type); // string data and version ""
    CommPacket(COMMTYPE_ type, char const* strdata);
    CommPacket(COMMTYPE_ type, int intdata, char const* strdata);
    // Receives one control packet.  A failed receive or parse leaves
    // COMM_NONE; only a wait that ran out (a socket with a wait limit)
    // throws.
    CommPacket(int sock, int timeout);
    // Reads a control body that was received in place of another packet.
    explicit CommPacket(ReceivedBody const& body);

    void parse() override;

    COMMTYPE_ get_commtype() const { return static_cast<COMMTYPE_>(commtype); }
    char* get_strdata() { return strdata.get(); }
    int get_intdata() const { return intdata; }
    char* get_version() { return version.get(); }
    void set_strdata(char const* text);
    void set_intdata(int value) { intdata = value; }

protected:
    void fields(UnitFields& f) override;

private:
    int commtype;
    OwnedText strdata;
    int intdata;
    OwnedText version;
};

// The control code of a received control body, read as CommPacket reads it.
COMMTYPE_ controlCodeOf(ReceivedBody const& body);
// Asks the peer for a packet (COMM_REQ_AUTH, ...), sent unchecked: a failed
// request shows when the packet does not come.
void requestPacket(int sock, COMMTYPE_ request);

// 1 compatible, -1 another product word, -2 first or third number differs.
int checkVersion(TCString peer, TCString own);

#endif
