// The control packet and the version check.
#include "protocol/commpacket.h"

#include "base/tcexp.h"
#include "net/tcpfns.h"
#include "protocol/wiremsg.h"
#include "trace/fhgtrace.h"

namespace {
const int TAG_COMMTYPE = 401;
const int TAG_STRDATA = 402;
const int TAG_INTDATA = 403;
}  // namespace

CommPacket::CommPacket(COMMTYPE_ type) : commtype(type), intdata(0) {
    strdata.set("");
    version.set("");
}

CommPacket::CommPacket(COMMTYPE_ type, const char* text) : commtype(type), intdata(0) {
    strdata.set(text ? text : "");
}

CommPacket::CommPacket(COMMTYPE_ type, int value, const char* text) : commtype(type), intdata(value) {
    strdata.set(text ? text : "");
}

CommPacket::CommPacket(int sock, int timeout) : commtype(COMM_NONE), intdata(0) {
    try {
        recv(sock, PKT_COMM, timeout);
        parse();
    } catch (TCException* e) {
        // A peer that stopped answering is not a packet to act on: the
        // caller reports it and ends the conversation.
        if (waitRanOut())
            throw;
        delete e;
        commtype = COMM_NONE;
    }
}

CommPacket::CommPacket() : commtype(COMM_NONE), intdata(0) {
    adoptCurrentBody();
    parse();
}

void CommPacket::buildXmit() {
    xmitInit(PKT_COMM);
    xmitAddText(TAG_STRDATA, strdata.text(), UNIT_NLSTEXT);
    xmitAddInt(TAG_INTDATA, intdata);
    unsigned char code = static_cast<unsigned char>(commtype & 0xFF);
    xmitAddUnit(TAG_COMMTYPE, 1, &code, UNIT_BINARY);
    xmitAddEnd();
}

int CommPacket::send(int sock, int encipherBody) {
    try {
        buildXmit();
        return Packet::send(sock, encipherBody);
    } catch (TCException* e) {
        if (waitRanOut())
            throw;
        delete e;
        return -1;
    }
}

void CommPacket::parse() {
    Unit first = firstUnit();
    version.setBytes(first.data, first.length);
    UnitWalker walker = units();
    Unit u;
    while (walker.next(u)) {
        switch (u.tag) {
        case TAG_COMMTYPE:
            if (u.length < 1)
                throwInvalidPacket(1, u.length);
            commtype = static_cast<COMMTYPE_>(u.data[0]);
            break;
        case TAG_STRDATA:
            strdata.setBytes(u.data, u.length);
            break;
        case TAG_INTDATA:
            intdata = unitInt(u);
            break;
        default:
            break;
        }
    }
}

void CommPacket::set_strdata(const char* text) {
    if (text)
        strdata.set(text);
}

int checkVersion(TCString peer, TCString own) {
    TCString p(peer), m(own);
    p.change(".", " ", 1, 5);
    m.change(".", " ", 1, 5);
    TCString pw5 = p.word(5), mw5 = m.word(5);
    if (pw5 != mw5) {
        XRB_TRACE_AT("xrbbld", "$$$ p = <%s> m =<%s>", pw5.getdata(), mw5.getdata());
        return -1;
    }
    if (p.word(1) != m.word(1))
        return -2;
    if (p.word(3) != m.word(3))
        return -2;
    return 1;
}
