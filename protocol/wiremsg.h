// The helpers that raise the protocol layer's messages.
#ifndef XRB_PROTOCOL_WIREMSG_H
#define XRB_PROTOCOL_WIREMSG_H

#include "msg/msgids.h"

// Throws XRBE-015 with the expected and the received value.
[[noreturn]] void throwInvalidPacket(long long expected, long long received);

// Throws XRBE-057 for a block of that size.
[[noreturn]] void throwNoMemory(unsigned long long size);

#endif
