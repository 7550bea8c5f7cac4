// AuthPacket: user id and password; the one packet sent enciphered.
#ifndef XRB_PROTOCOL_AUTHPACKET_H
#define XRB_PROTOCOL_AUTHPACKET_H

#include "protocol/textpairpacket.h"

class AuthPacket : public TextPairPacket {
public:
    AuthPacket(const char* userid, const char* password);
    // Asks the peer for credentials (COMM_REQ_AUTH) and receives them.
    explicit AuthPacket(int sock);

    char* get_userid() { return first.get(); }
    char* get_password() { return second.get(); }
};

#endif
