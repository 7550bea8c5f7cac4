// Packets of two texts.
#include "protocol/textpairpacket.h"

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
