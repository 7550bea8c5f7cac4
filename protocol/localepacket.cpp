// Code page names of the two ends.
#include "protocol/localepacket.h"

namespace {
const TextPairPacket::Shape LOCALE = {PKT_LOCALE, 601, 602, COMM_REQ_LOCALE};   // client, server
}  // namespace

LocalePacket::LocalePacket(const char* client, const char* server) : TextPairPacket(LOCALE, client, server) {}

LocalePacket::LocalePacket(int sock) : TextPairPacket(LOCALE, sock) {}
