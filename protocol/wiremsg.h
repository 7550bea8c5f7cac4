// Message numbers the protocol layer reports, and the helpers that raise them.
#ifndef XRB_PROTOCOL_WIREMSG_H
#define XRB_PROTOCOL_WIREMSG_H

constexpr int MSG_INVALID_PACKET = 46;     // XRBE-015
constexpr int MSG_BUILD_ABORTED = 47;      // XRBE-016
constexpr int MSG_CONNECTION_BROKEN = 53;  // XRBE-022
constexpr int MSG_WRITE_FAILED = 85;       // XRBE-055
constexpr int MSG_NO_MEMORY = 87;          // XRBE-057
constexpr int MSG_NO_DIRECTORY = 103;      // XRBE-073

// Throws XRBE-015 with the expected and the received value.
[[noreturn]] void throwInvalidPacket(long long expected, long long received);

// Throws XRBE-057 for a block of that size.
[[noreturn]] void throwNoMemory(unsigned long long size);

#endif
