// Packets of two texts.
#include "protocol/textpairpacket.h"

namespace {
TextPairPacket::Shape const AUTH = {PKT_AUTH, 201, 202, COMM_REQ_AUTH};       // user id, password
TextPairPacket::Shape const LOCALE = {PKT_LOCALE, 601, 602, COMM_REQ_LOCALE}; // client, server
} // namespace

TextPairPacket::TextPairPacket(Shape const& s, char const* one, char const* two) : Packet(s.type), shape(s)
{
    first.set(one);
    second.set(two);
}

TextPairPacket::TextPairPacket(Shape const& s, int sock) : Packet(s.type), shape(s)
{
    requestPacket(sock, shape.request);
    receive(sock);
}

void TextPairPacket::fields(UnitFields& f)
{
    f.text(shape.firstTag, UNIT_TEXT, first);
    f.text(shape.secondTag, UNIT_TEXT, second);
}

AuthPacket::AuthPacket(char const* userid, char const* password) : TextPairPacket(AUTH, userid, password) {}
AuthPacket::AuthPacket(int sock) : TextPairPacket(AUTH, sock) {}

LocalePacket::LocalePacket(char const* client, char const* server) : TextPairPacket(LOCALE, client, server) {}
LocalePacket::LocalePacket(int sock) : TextPairPacket(LOCALE, sock) {}
