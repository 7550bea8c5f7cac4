// The transmit buffer: one block for every packet, which may move whenever
// a packet grows it, and the body a receive hands back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "peer.h"
#include "protocol/xrbbld.h"

namespace {

// A body built by one packet stays valid while another packet makes room
// in the buffer (the block keeps its contents when it moves): the first
// packet must find and send it where it is now, not where it was.
TEST(XmitBuffer, GrowthThroughOnePacketLeavesNoOtherBehind)
{
    SocketPair sp;
    Packet built;
    built.xmitInit(PKT_COMM);
    built.xmitAddText(402, "after growth", UNIT_NLSTEXT);
    built.xmitAddInt(403, 7);
    unsigned char code = COMM_MESSAGE;
    built.xmitAddUnit(401, 1, &code, UNIT_BINARY);
    built.xmitAddEnd();

    Packet other;
    other.bumpXmitBuf(4u << 20); // the block moves to grow this much

    EXPECT_EQ(built.get_buffer(), global_xmit_buffer);
    built.send(sp.a, 0);
    CommPacket got(sp.b, 0);
    EXPECT_EQ(got.get_commtype(), COMM_MESSAGE);
    EXPECT_STREQ(got.get_strdata(), "after growth");
    EXPECT_EQ(got.get_intdata(), 7);
}

TEST(XmitBuffer, GrowsByNeedPlusCapacityAndShrinksOnlyWhenLarge)
{
    XmitBuffer buffer;
    buffer.allocate();
    EXPECT_EQ(buffer.capacity(), 1024u);
    buffer.reserve(1000);
    EXPECT_EQ(buffer.capacity(), 1024u);
    std::memcpy(buffer.body(), "kept", 4);
    // A body of 28 bytes and a unit of 1,000,000: 1,000,040 are needed.
    buffer.reserve(1000040);
    EXPECT_EQ(buffer.capacity(), 1000040u + 1024u + 1024u);
    EXPECT_EQ(std::string(buffer.body(), 4), "kept");
    buffer.shrink();
    EXPECT_EQ(buffer.capacity(), 1002088u);
    buffer.reserve(12000000);
    buffer.shrink();
    EXPECT_EQ(buffer.capacity(), 1024u);
    // Beyond the largest body nothing is allocated and the block stays.
    char* before = buffer.body();
    EXPECT_NE(thrownText([&] { buffer.reserve(uint64_t(XMIT_MAX_BODY) + 4096); }).find("XRBE-057"), std::string::npos);
    EXPECT_EQ(buffer.body(), before);
    EXPECT_EQ(buffer.capacity(), 1024u);
}

// What a receive hands back is the body as it arrived: its type, the key
// it was enciphered with, and its bytes, deciphered, in the buffer.
TEST(XmitBuffer, ReceiveReturnsTheBody)
{
    SocketPair sp;
    AuthPacket("builder", "pw").send(sp.a, 1);
    Packet raw;
    ReceivedBody body = raw.recv(sp.b, PKT_AUTH, 0);
    EXPECT_EQ(body.type, static_cast<uint32_t>(PKT_AUTH));
    EXPECT_NE(body.key, KEY_CLEAR);
    EXPECT_EQ(body.length, raw.get_bodyLength());
    EXPECT_EQ(reinterpret_cast<char const*>(body.bytes), global_xmit_buffer);
    std::string bytes(reinterpret_cast<char const*>(body.bytes), body.length);
    EXPECT_NE(bytes.find("builder"), std::string::npos);

    CommPacket(COMM_ERROR, "stopped").send(sp.a, 0);
    body = raw.recv(sp.b, PKT_COMM, 0);
    EXPECT_EQ(body.key, KEY_CLEAR);
    EXPECT_EQ(controlCodeOf(body), COMM_ERROR);
}

} // namespace
