// AuthPacket: user id and password; the one packet sent enciphered.
#ifndef XRB_PROTOCOL_AUTHPACKET_H
#define XRB_PROTOCOL_AUTHPACKET_H

#include "protocol/ownedtext.h"
#include "protocol/packet.h"

class AuthPacket : public Packet {
public:
    AuthPacket(const char* userid, const char* password);
    // Asks the peer for credentials (COMM_REQ_AUTH) and receives them.
    explicit AuthPacket(int sock);

    void buildXmit();
    int send(int sock, int encipher);
    void parse();

    char* get_userid() { return userid.get(); }
    char* get_password() { return password.get(); }

private:
    OwnedText userid;
    OwnedText password;
};

#endif
