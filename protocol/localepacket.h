// LocalePacket: the names of the client's and the server's code pages.
#ifndef XRB_PROTOCOL_LOCALEPACKET_H
#define XRB_PROTOCOL_LOCALEPACKET_H

#include "protocol/ownedtext.h"
#include "protocol/packet.h"

class LocalePacket : public Packet {
public:
    LocalePacket(const char* clientCodepage, const char* serverCodepage);
    // Asks the peer for its code pages (COMM_REQ_LOCALE) and receives them.
    explicit LocalePacket(int sock);

    void buildXmit();
    int send(int sock, int encipher);
    void parse();

    char* get_clientCodepage() { return clientCodepage.get(); }
    char* get_serverCodepage() { return serverCodepage.get(); }

private:
    OwnedText clientCodepage;
    OwnedText serverCodepage;
};

#endif
