// One block of raw bytes.
#include "protocol/bindatapacket.h"

#include <new>

#include "protocol/wiremsg.h"

namespace {
const int TAG_DATA = 501;
}  // namespace

binDataPacket::binDataPacket(const char* bytes, unsigned long len) : length(0) {
    if (bytes && len) {
        data.assign(bytes, bytes + len);
        length = static_cast<uint32_t>(len);
    }
}

binDataPacket::binDataPacket() : length(0) {}

binDataPacket::binDataPacket(int sock) : length(0) {
    recv(sock, PKT_BINDATA, 0);
    parse();
}

void binDataPacket::buildXmit() {
    xmitInit(PKT_BINDATA);
    if (length)
        xmitAddUnit(TAG_DATA, length, data.data(), UNIT_BINARY);
    xmitAddEnd();
}

int binDataPacket::send(int sock, int encipherBody) {
    buildXmit();
    return Packet::send(sock, encipherBody);
}

void binDataPacket::parse() {
    UnitWalker walker = units();
    Unit u;
    while (walker.next(u)) {
        if (u.tag != TAG_DATA)
            continue;
        try {
            data.assign(u.data, u.data + u.length);
        } catch (std::bad_alloc&) {
            throwNoMemory(u.length);
        }
        length = u.length;
    }
}
