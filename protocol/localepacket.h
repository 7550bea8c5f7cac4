// LocalePacket: the names of the client's and the server's code pages.
#ifndef XRB_PROTOCOL_LOCALEPACKET_H
#define XRB_PROTOCOL_LOCALEPACKET_H

#include "protocol/textpairpacket.h"

class LocalePacket : public TextPairPacket {
public:
    LocalePacket(const char* clientCodepage, const char* serverCodepage);
    // Asks the peer for its code pages (COMM_REQ_LOCALE) and receives them.
    explicit LocalePacket(int sock);

    char* get_clientCodepage() { return first.get(); }
    char* get_serverCodepage() { return second.get(); }
};

#endif
