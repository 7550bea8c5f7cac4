// Credentials packet; the framing enciphers its body when asked to.
#include "protocol/authpacket.h"

namespace {
const TextPairPacket::Shape AUTH = {PKT_AUTH, 201, 202, COMM_REQ_AUTH};   // user id, password
}  // namespace

AuthPacket::AuthPacket(const char* userid, const char* password) : TextPairPacket(AUTH, userid, password) {}

AuthPacket::AuthPacket(int sock) : TextPairPacket(AUTH, sock) {}
