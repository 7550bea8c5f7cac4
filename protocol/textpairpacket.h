// The packets that carry two texts of kind 1: AuthPacket (user id and
// password; the one packet sent enciphered) and LocalePacket (the names of
// the client's and the server's code pages).
#ifndef XRB_PROTOCOL_TEXTPAIRPACKET_H
#define XRB_PROTOCOL_TEXTPAIRPACKET_H

#include "protocol/commpacket.h"
#include "protocol/ownedtext.h"
#include "protocol/packet.h"

class TextPairPacket : public Packet {
public:
    struct Shape {
        unsigned type;
        int firstTag;
        int secondTag;
        COMMTYPE_ request; // what asks the peer for the packet
    };

protected:
    TextPairPacket(Shape const& shape, char const* first, char const* second);
    // Asks the peer for the packet and receives it.
    TextPairPacket(Shape const& shape, int sock);
    void fields(UnitFields& f) override;

    OwnedText first;
    OwnedText second;

private:
    Shape const& shape;
};

// The second constructor of each asks the peer for the packet
// (COMM_REQ_AUTH, COMM_REQ_LOCALE) and receives it.
struct AuthPacket : TextPairPacket {
    AuthPacket(char const* userid, char const* password);
    explicit AuthPacket(int sock);
    char* get_userid() { return first.get(); }
    char* get_password() { return second.get(); }
};

struct LocalePacket : TextPairPacket {
    LocalePacket(char const* clientCodepage, char const* serverCodepage);
    explicit LocalePacket(int sock);
    char* get_clientCodepage() { return first.get(); }
    char* get_serverCodepage() { return second.get(); }
};

#endif
