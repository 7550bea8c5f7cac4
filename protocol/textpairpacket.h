// TextPairPacket: the shape of a packet that carries two texts of kind 1
// (the credentials, the code pages).
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
        COMMTYPE_ request;   // what asks the peer for the packet
    };

protected:
    TextPairPacket(const Shape& shape, const char* first, const char* second);
    // Asks the peer for the packet and receives it.
    TextPairPacket(const Shape& shape, int sock);
    void fields(UnitFields& f) override;

    OwnedText first;
    OwnedText second;

private:
    const Shape& shape;
};

#endif
