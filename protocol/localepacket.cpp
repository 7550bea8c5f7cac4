// Code page names of the two ends.
#include "protocol/localepacket.h"

#include "protocol/commpacket.h"

namespace {
const int TAG_CLIENT_CODEPAGE = 601;
const int TAG_SERVER_CODEPAGE = 602;
}  // namespace

LocalePacket::LocalePacket(const char* client, const char* server) {
    clientCodepage.set(client);
    serverCodepage.set(server);
}

LocalePacket::LocalePacket(int sock) {
    CommPacket(COMM_REQ_LOCALE).send(sock, 0);
    recv(sock, PKT_LOCALE, 0);
    parse();
}

void LocalePacket::buildXmit() {
    xmitInit(PKT_LOCALE);
    xmitAddText(TAG_CLIENT_CODEPAGE, clientCodepage.text(), UNIT_TEXT);
    xmitAddText(TAG_SERVER_CODEPAGE, serverCodepage.text(), UNIT_TEXT);
    xmitAddEnd();
}

int LocalePacket::send(int sock, int encipherBody) {
    buildXmit();
    return Packet::send(sock, encipherBody);
}

void LocalePacket::parse() {
    UnitWalker walker = units();
    Unit u;
    while (walker.next(u)) {
        if (u.tag == TAG_CLIENT_CODEPAGE)
            clientCodepage.setBytes(u.data, u.length);
        else if (u.tag == TAG_SERVER_CODEPAGE)
            serverCodepage.setBytes(u.data, u.length);
    }
}
