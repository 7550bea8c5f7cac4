// The control packet and the version check.
#include "protocol/commpacket.h"

#include "base/tcexp.h"
#include "net/tcpfns.h"
#include "trace/fhgtrace.h"

namespace {
int const TAG_COMMTYPE = 401;
int const TAG_STRDATA = 402;
int const TAG_INTDATA = 403;
} // namespace

CommPacket::CommPacket(COMMTYPE_ type) : Packet(PKT_COMM), commtype(type), intdata(0)
{
    strdata.set("");
    version.set("");
}

CommPacket::CommPacket(COMMTYPE_ type, char const* text) : Packet(PKT_COMM), commtype(type), intdata(0)
{
    strdata.set(text ? text : "");
}

CommPacket::CommPacket(COMMTYPE_ type, int value, char const* text) : Packet(PKT_COMM), commtype(type), intdata(value)
{
    strdata.set(text ? text : "");
}

CommPacket::CommPacket(int sock, int timeout) : Packet(PKT_COMM), commtype(COMM_NONE), intdata(0)
{
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

CommPacket::CommPacket(ReceivedBody const& body) : Packet(PKT_COMM), commtype(COMM_NONE), intdata(0)
{
    adopt(body);
    parse();
}

void CommPacket::fields(UnitFields& f)
{
    f.text(TAG_STRDATA, UNIT_NLSTEXT, strdata);
    f.number(TAG_INTDATA, intdata);
    f.octet(TAG_COMMTYPE, commtype);
}

void CommPacket::parse()
{
    Unit first = firstUnit();
    version.setBytes(first.data, first.length);
    Packet::parse();
}

COMMTYPE_ controlCodeOf(ReceivedBody const& body)
{
    return CommPacket(body).get_commtype();
}

void requestPacket(int sock, COMMTYPE_ request)
{
    CommPacket ask(request);
    sendUnchecked(ask, sock);
}

void CommPacket::set_strdata(char const* text)
{
    if (text)
        strdata.set(text);
}

int checkVersion(TCString peer, TCString own)
{
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
