// Received input that must be refused cleanly, never read beyond.
#include <gtest/gtest.h>

#include <string>

#include "peer.h"
#include "protocol/reader.h"
#include "protocol/xrbbld.h"

namespace {

std::string u32(uint32_t v)
{
    unsigned char b[4];
    putU32(b, v);
    return std::string(reinterpret_cast<char*>(b), 4);
}

std::string unit(uint32_t tag, uint32_t kind, std::string const& data, uint32_t declared)
{
    std::string u = u32(tag) + u32(kind) + u32(declared) + data;
    size_t reserved = kind == 3 ? (2 * data.size() + 7) / 8 * 8 : (data.size() + 7) / 8 * 8;
    u.append(reserved - data.size(), '\0');
    return u;
}
std::string unit(uint32_t tag, uint32_t kind, std::string const& data)
{
    return unit(tag, kind, data, static_cast<uint32_t>(data.size()));
}

std::string first(uint32_t type)
{
    return unit(type, 1, std::string("1.0.4.0.QVX", 12));
}
std::string endUnit()
{
    return unit(9999, 1, std::string("END", 4));
}

std::string header(uint32_t len, uint32_t key = 257, uint32_t magic = 29292929)
{
    return u32(magic) + u32(len) + u32(key) + std::string(8, '\0');
}
std::string packet(std::string const& body, uint32_t key = 257)
{
    return header(static_cast<uint32_t>(body.size()), key) + body;
}
std::string commBody(unsigned char code)
{
    return first(PKT_COMM) + unit(402, 3, std::string(1, '\0')) + unit(403, 2, u32(0)) +
           unit(401, 2, std::string(1, static_cast<char>(code))) + endUnit();
}

std::string receiveResult(SocketPair& sp)
{
    return thrownText([&] { BuildResPacket p(sp.b); });
}

TEST(Reject, BadMagicLeavesBodyUnread)
{
    SocketPair sp;
    writeAll(sp.a, header(8, 257, 12345) + "BODYBYTE");
    std::string text = receiveResult(sp);
    EXPECT_NE(text.find("XRBE-015"), std::string::npos);
    EXPECT_NE(text.find("Expecting: 29292929"), std::string::npos);
    EXPECT_NE(text.find("Received: 12345"), std::string::npos);
    EXPECT_EQ(readExactly(sp.b, 8), "BODYBYTE");
}

TEST(Reject, WrongPacketType)
{
    SocketPair sp;
    writeAll(sp.a, packet(first(PKT_BINDATA) + endUnit()));
    std::string text = receiveResult(sp);
    EXPECT_NE(text.find("Expecting: 2 "), std::string::npos);
    EXPECT_NE(text.find("Received: 6"), std::string::npos);
}

TEST(Reject, ReplacingControlPacket)
{
    SocketPair sp;
    writeAll(sp.a, packet(commBody(COMM_ERROR)));
    EXPECT_NE(receiveResult(sp).find("XRBE-016"), std::string::npos);
    writeAll(sp.a, packet(commBody(COMM_END)));
    EXPECT_NE(receiveResult(sp).find("XRBE-022"), std::string::npos);
    // Expecting a control packet never takes the replacing path.
    writeAll(sp.a, packet(commBody(COMM_ERROR)));
    EXPECT_EQ(CommPacket(sp.b, 0).get_commtype(), COMM_ERROR);
}

TEST(Reject, MalformedBodies)
{
    struct Case {
        char const* what;
        std::string body;
    } cases[] = {
        {"unit length past the body", first(PKT_BUILDRES) + unit(302, 3, "ab", 5000) + endUnit()},
        {"unit length near 4 GiB", first(PKT_BUILDRES) + unit(302, 1, "ab", 0xFFFFFFF9u) + endUnit()},
        {"no end unit", first(PKT_BUILDRES) + unit(301, 2, u32(1))},
        {"body cut inside a unit header", first(PKT_BUILDRES) + std::string("\0\0\x01", 3)},
        {"empty body", ""},
        {"integer unit of 2 bytes", first(PKT_BUILDRES) + unit(301, 2, "\0\1") + endUnit()},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.what);
        SocketPair sp;
        writeAll(sp.a, packet(c.body));
        EXPECT_NE(receiveResult(sp).find("XRBE-015"), std::string::npos);
    }
}

TEST(Reject, KeyIndexBeyondTable)
{
    SocketPair sp;
    writeAll(sp.a, packet(first(PKT_BUILDRES) + endUnit(), 253));
    EXPECT_NE(receiveResult(sp).find("XRBE-015"), std::string::npos);
    writeAll(sp.a, packet(first(PKT_BUILDRES) + endUnit(), 0xFFFFFFFFu));
    EXPECT_NE(receiveResult(sp).find("XRBE-015"), std::string::npos);
}

TEST(Reject, BodyLengthNear4GiB)
{
    SocketPair sp;
    writeAll(sp.a, header(0xFFFFFFF0u));
    EXPECT_NE(receiveResult(sp).find("XRBE-057"), std::string::npos);
}

TEST(Reject, LargeAnnouncedBodyThatNeverComes)
{
    SocketPair sp;
    writeAll(sp.a, header(0x70000000u) + "only this");
    sp.closeA();
    EXPECT_NE(receiveResult(sp).find("XRBE-022"), std::string::npos);
    // Memory followed the bytes that came, not the announced length.
    EXPECT_LT(global_xmit_buf_len, 64u << 20);
}

TEST(Reject, PeerClosesMidHeaderOrBody)
{
    {
        SocketPair sp;
        writeAll(sp.a, header(48).substr(0, 11));
        sp.closeA();
        EXPECT_NE(receiveResult(sp).find("XRBE-022"), std::string::npos);
    }
    {
        SocketPair sp;
        writeAll(sp.a, packet(first(PKT_BUILDRES) + endUnit()).substr(0, 40));
        sp.closeA();
        EXPECT_NE(receiveResult(sp).find("XRBE-022"), std::string::npos);
    }
}

TEST(Reject, UnknownTagsAreSkipped)
{
    SocketPair sp;
    writeAll(sp.a, packet(first(PKT_BUILDRES) + unit(777, 3, "zz") + unit(301, 2, u32(1)) + endUnit()));
    BuildResPacket p(sp.b);
    EXPECT_EQ(p.get_result(), 1);
}

TEST(Reject, TextWithoutZeroIsCutAtUnitLength)
{
    SocketPair sp;
    writeAll(sp.a, packet(first(PKT_AUTH) + unit(201, 1, "userXXXX", 4) + unit(202, 1, "pw") + endUnit()));
    writeAll(sp.a, "");
    AuthPacket p(sp.b);
    EXPECT_STREQ(p.get_userid(), "user");
    EXPECT_STREQ(p.get_password(), "pw");
}

} // namespace
