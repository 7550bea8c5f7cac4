// binDataPacket: one block of raw bytes.
#ifndef XRB_PROTOCOL_BINDATAPACKET_H
#define XRB_PROTOCOL_BINDATAPACKET_H

#include "protocol/packet.h"
#include <cstdint>
#include <vector>

class binDataPacket : public Packet {
public:
    binDataPacket(char const* data, unsigned long length);
    binDataPacket();
    explicit binDataPacket(int sock);

    uint32_t get_length() const { return static_cast<uint32_t>(data.size()); }
    char const* get_data() const { return data.empty() ? nullptr : data.data(); }

protected:
    void fields(UnitFields& f) override;

private:
    std::vector<char> data;
};

#endif
