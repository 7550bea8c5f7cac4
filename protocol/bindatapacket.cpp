// One block of raw bytes.
#include "protocol/bindatapacket.h"

namespace {
int const TAG_DATA = 501;
} // namespace

binDataPacket::binDataPacket(char const* bytes, unsigned long len) : Packet(PKT_BINDATA)
{
    if (bytes && len)
        data.assign(bytes, bytes + len);
}

binDataPacket::binDataPacket() : Packet(PKT_BINDATA) {}

binDataPacket::binDataPacket(int sock) : Packet(PKT_BINDATA)
{
    receive(sock);
}

void binDataPacket::fields(UnitFields& f)
{
    f.optionalBytes(TAG_DATA, data);
}
