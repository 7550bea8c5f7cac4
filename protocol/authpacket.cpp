// Credentials packet; the framing enciphers its body when asked to.
#include "protocol/authpacket.h"

#include "protocol/commpacket.h"

namespace {
const int TAG_USERID = 201;
const int TAG_PASSWORD = 202;
}  // namespace

AuthPacket::AuthPacket(const char* user, const char* pass) {
    userid.set(user);
    password.set(pass);
}

AuthPacket::AuthPacket(int sock) {
    CommPacket(COMM_REQ_AUTH).send(sock, 0);
    recv(sock, PKT_AUTH, 0);
    parse();
}

void AuthPacket::buildXmit() {
    xmitInit(PKT_AUTH);
    xmitAddText(TAG_USERID, userid.text(), UNIT_TEXT);
    xmitAddText(TAG_PASSWORD, password.text(), UNIT_TEXT);
    xmitAddEnd();
}

int AuthPacket::send(int sock, int encipherBody) {
    buildXmit();
    return Packet::send(sock, encipherBody);
}

void AuthPacket::parse() {
    UnitWalker walker = units();
    Unit u;
    while (walker.next(u)) {
        if (u.tag == TAG_USERID)
            userid.setBytes(u.data, u.length);
        else if (u.tag == TAG_PASSWORD)
            password.setBytes(u.data, u.length);
    }
}
