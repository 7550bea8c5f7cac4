// binDataPacket: one block of raw bytes.
#ifndef XRB_PROTOCOL_BINDATAPACKET_H
#define XRB_PROTOCOL_BINDATAPACKET_H

#include <cstdint>
#include <vector>
#include "protocol/packet.h"

class binDataPacket : public Packet {
public:
    binDataPacket(const char* data, unsigned long length);
    binDataPacket();
    explicit binDataPacket(int sock);

    void buildXmit();
    int send(int sock, int encipher);
    void parse();

    uint32_t get_length() const { return length; }
    const char* get_data() const { return length ? data.data() : nullptr; }

private:
    uint32_t length;
    std::vector<char> data;
};

#endif
