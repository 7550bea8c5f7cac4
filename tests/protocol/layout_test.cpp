// Byte layout of packets on the wire.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "peer.h"
#include "protocol/reader.h"
#include "protocol/xrbbld.h"

namespace {

std::string hex(std::string const& bytes)
{
    static char const* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty())
            out += ' ';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

uint32_t be32(std::string const& s, size_t off)
{
    WireReader r(reinterpret_cast<unsigned char const*>(s.data()) + off, s.size() - off);
    uint32_t v = 0;
    EXPECT_TRUE(r.takeU32(v));
    return v;
}

// Reads one packet sent on sp.a from sp.b: header and body.
void readPacket(SocketPair& sp, std::string& header, std::string& body)
{
    header = readExactly(sp.b, 20);
    ASSERT_EQ(header.size(), 20u);
    body = readExactly(sp.b, be32(header, 4));
}

// Tags of the units of a wire body, walked independently of the framing code.
std::vector<uint32_t> tagsOf(std::string const& body)
{
    std::vector<uint32_t> tags;
    size_t pos = 0;
    while (pos + 12 <= body.size()) {
        uint32_t tag = be32(body, pos), kind = be32(body, pos + 4), len = be32(body, pos + 8);
        tags.push_back(tag);
        uint64_t reserved = kind == 3 ? (2ull * len + 7) / 8 * 8 : (len + 7ull) / 8 * 8;
        pos += 12 + reserved;
        if (tag == 9999)
            break;
    }
    return tags;
}

TEST(Layout, RequestResultPacketByteForByte)
{
    SocketPair sp;
    CommPacket(COMM_REQ_RESULT).send(sp.a, 0);
    std::string header, body;
    readPacket(sp, header, body);
    EXPECT_EQ(hex(header.substr(0, 12)), "01 BE F9 81 00 00 00 6C 00 00 01 01");
    ASSERT_EQ(body.size(), 108u);
    EXPECT_EQ(hex(body.substr(0, 28)),
              "00 00 00 04 00 00 00 01 00 00 00 0C 31 2E 30 2E 34 2E 30 2E 51 56 58 00 00 00 00 00");
    EXPECT_EQ(hex(body.substr(28, 20)), "00 00 01 92 00 00 00 03 00 00 00 01 00 00 00 00 00 00 00 00");
    EXPECT_EQ(hex(body.substr(48, 20)), "00 00 01 93 00 00 00 02 00 00 00 04 00 00 00 00 00 00 00 00");
    EXPECT_EQ(hex(body.substr(68, 20)), "00 00 01 91 00 00 00 02 00 00 00 01 05 00 00 00 00 00 00 00");
    EXPECT_EQ(hex(body.substr(88, 20)), "00 00 27 0F 00 00 00 01 00 00 00 04 45 4E 44 00 00 00 00 00");
}

TEST(Layout, EmptyBodyIsFirstAndEndUnit)
{
    SocketPair sp;
    binDataPacket().send(sp.a, 0);
    std::string header, body;
    readPacket(sp, header, body);
    EXPECT_EQ(be32(header, 0), 29292929u);
    EXPECT_EQ(be32(header, 4), 48u);
    EXPECT_EQ(be32(header, 8), 257u);
    EXPECT_EQ(tagsOf(body), (std::vector<uint32_t>{PKT_BINDATA, 9999}));
}

TEST(Layout, UnitSizesFollowKind)
{
    EXPECT_EQ(unitSize(UNIT_TEXT, 12), 28u);
    EXPECT_EQ(unitSize(UNIT_BINARY, 4), 20u);
    EXPECT_EQ(unitSize(UNIT_NLSTEXT, 3), 20u);
    EXPECT_EQ(unitSize(UNIT_TEXT, 3), 20u);
    EXPECT_EQ(unitSize(UNIT_TEXT, 5), 20u);
    EXPECT_EQ(unitSize(UNIT_NLSTEXT, 5), 28u);
    EXPECT_EQ(unitSize(UNIT_NLSTEXT, 1), 20u);
    // Never wraps, whatever the length.
    EXPECT_EQ(unitSize(UNIT_NLSTEXT, 0xFFFFFFFFu), 12u + 0x200000000ull);
}

TEST(Layout, CommPacketIs108BytesAndCodeTravelsAsLowByte)
{
    SocketPair sp;
    CommPacket(static_cast<COMMTYPE_>(300)).send(sp.a, 0);
    std::string header, body;
    readPacket(sp, header, body);
    ASSERT_EQ(body.size(), 108u);
    EXPECT_EQ(static_cast<unsigned char>(body[80]), 44);
}

TEST(Layout, BuildPacketUnitOrder)
{
    SocketPair sp;
    {
        BuildPacket p("script", "", 25, "/loc", "EQ", 0, 10, 0);
        p.set_parms("");
        p.send(sp.a, 0);
    }
    std::string header, body;
    readPacket(sp, header, body);
    EXPECT_EQ(tagsOf(body), (std::vector<uint32_t>{1, 101, 102, 106, 107, 116, 105, 109, 108, 115, 9999}));

    {
        BuildPacket p("script", "", 25, "/loc", "EQ", 0, 10, 0);
        p.add_input("a");
        p.add_input("b");
        p.add_input("c");
        p.add_dep("h");
        p.add_output("o");
        p.add_var("v=1");
        p.set_proclib("");
        p.set_proclib("LIB");
        p.send(sp.a, 0);
    }
    readPacket(sp, header, body);
    EXPECT_EQ(tagsOf(body), (std::vector<uint32_t>{1, 111, 111, 111, 110, 112, 113, 101, 102, 106, 107, 116, 105, 109,
                                                   108, 117, 115, 9999}));
    // The three inputs keep the order in which they were added.
    EXPECT_EQ(body.substr(28 + 12, 1), "a");
    EXPECT_EQ(body.substr(28 + 20 + 12, 1), "b");
    EXPECT_EQ(body.substr(28 + 40 + 12, 1), "c");
}

TEST(Layout, TransmitBufferShrinksAfterHugeChunk)
{
    SocketPair sp;
    std::vector<char> big(12000000, 'x');
    pid_t pid = runPeer(sp, [](int fd) {
        std::string header = readExactly(fd, 20);
        uint32_t len = be32(header, 4);
        return readExactly(fd, len).size() == len ? 0 : 1;
    });
    FileBulkPacket p("big.BIN", big.size(), big.data());
    p.send(sp.a, 0);
    EXPECT_EQ(global_xmit_buf_len, 1024u);
    EXPECT_EQ(waitPeer(pid), 0);
}

TEST(Layout, BufferGrowthAtLeastDoubles)
{
    Packet p;
    p.xmitInit(PKT_BINDATA);
    uint32_t before = global_xmit_buf_len;
    std::vector<char> data(before, 'y');
    p.xmitAddUnit(501, static_cast<unsigned>(data.size()), data.data(), UNIT_BINARY);
    EXPECT_GE(global_xmit_buf_len, 2 * before);
    EXPECT_GE(global_xmit_buf_len, p.get_bodyLength());
    p.resetXmitBuf();
}

} // namespace
