// Packets of two texts.
#include "protocol/textpairpacket.h"

namespace {
const TextPairPacket::Shape AUTH = {PKT_AUTH, 201, 202, COMM_REQ_AUTH};           // user id, password
const TextPairPacket::Shape LOCALE = {PKT_LOCALE, 601, 602, COMM_REQ_LOCALE};     // client, server
}  // namespace

TextPairPacket::TextPairPacket(const Shape& s, const char* one, const char* two)
    : Packet(s.type), shape(s) {
    first.set(one);
    second.set(two);
}

TextPairPacket::TextPairPacket(const Shape& s, int sock) : Packet(s.type), shape(s) {
    requestPacket(sock, shape.request);
    receive(sock);
}

void TextPairPacket::fields(UnitFields& f) {
    f.text(shape.firstTag, UNIT_TEXT, first);
    f.text(shape.secondTag, UNIT_TEXT, second);
}

AuthPacket::AuthPacket(const char* userid, const char* password) : TextPairPacket(AUTH, userid, password) {}
AuthPacket::AuthPacket(int sock) : TextPairPacket(AUTH, sock) {}

LocalePacket::LocalePacket(const char* client, const char* server) : TextPairPacket(LOCALE, client, server) {}
LocalePacket::LocalePacket(int sock) : TextPairPacket(LOCALE, sock) {}
