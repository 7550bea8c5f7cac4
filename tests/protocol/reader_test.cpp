// The reader's own bounds: every take refuses what lies past the end of its
// data, even when the memory behind it is readable, and the unit walker
// relies on them.
#include <gtest/gtest.h>

#include <string>

#include "peer.h"
#include "protocol/reader.h"
#include "protocol/xrbbld.h"

namespace {

unsigned char const* bytesOf(std::string const& s)
{
    return reinterpret_cast<unsigned char const*>(s.data());
}

std::string be(uint32_t v)
{
    unsigned char b[4];
    putU32(b, v);
    return std::string(reinterpret_cast<char*>(b), 4);
}

// Each take within the data succeeds and moves on; one that reaches past it
// fails, clears its result and leaves the reader where it was.  The memory
// behind the reader's data is readable, so only the bound can refuse.
TEST(WireReader, TakesStopAtTheEndOfTheData)
{
    std::string memory = be(0x01020304) + be(0xFFFFFFFEu) + "abcdefgh" + "BEYOND-THE-END!!";
    WireReader r(bytesOf(memory), 15);

    uint32_t u = 0;
    ASSERT_TRUE(r.takeU32(u));
    EXPECT_EQ(u, 0x01020304u);
    int32_t i = 0;
    ASSERT_TRUE(r.takeI32(i));
    EXPECT_EQ(i, -2);
    EXPECT_EQ(r.remaining(), 7u);

    unsigned char const* p = bytesOf(memory);
    EXPECT_FALSE(r.takeBytes(8, p));
    EXPECT_EQ(p, nullptr);
    EXPECT_FALSE(r.takeBytes(uint64_t(1) << 40, p));
    EXPECT_FALSE(r.takeBytes(~uint64_t(0), p));
    EXPECT_FALSE(r.skip(8));
    EXPECT_FALSE(r.skip(~uint64_t(0)));
    EXPECT_EQ(r.offset(), 8u);

    ASSERT_TRUE(r.takeBytes(4, p));
    EXPECT_EQ(std::string(reinterpret_cast<char const*>(p), 4), "abcd");
    // Three bytes are left: a word does not fit.
    u = 99;
    EXPECT_FALSE(r.takeU32(u));
    EXPECT_EQ(u, 0u);
    i = 99;
    EXPECT_FALSE(r.takeI32(i));
    EXPECT_EQ(r.offset(), 12u);

    ASSERT_TRUE(r.skip(2));
    ASSERT_TRUE(r.takeBytes(1, p));
    EXPECT_EQ(*p, 'g');
    EXPECT_EQ(r.remaining(), 0u);
    EXPECT_TRUE(r.takeBytes(0, p));
    EXPECT_FALSE(r.takeBytes(1, p));
    EXPECT_FALSE(r.skip(1));
    EXPECT_FALSE(r.takeU32(u));
}

TEST(WireReader, NoDataIsEmpty)
{
    WireReader r(nullptr, 100);
    uint32_t u = 5;
    unsigned char const* p = nullptr;
    EXPECT_EQ(r.remaining(), 0u);
    EXPECT_FALSE(r.takeU32(u));
    EXPECT_FALSE(r.takeBytes(1, p));
    EXPECT_FALSE(r.skip(1));
}

std::string unitOf(uint32_t tag, uint32_t kind, uint32_t length, std::string const& data)
{
    return be(tag) + be(kind) + be(length) + data;
}

// The walker hands out no unit whose data or padding reach past the body,
// even when the bytes behind the body are there to read.
TEST(WireReader, WalkerHandsOutNoUnitPastTheBody)
{
    // The version and its zero, padded to 16.
    std::string first = unitOf(PKT_BUILDRES, UNIT_TEXT, 12, std::string("1.0.4.0.QVX\0\0\0\0\0", 16));
    struct Case {
        char const* what;
        std::string unit;
    } cases[] = {
        {"data past the body", unitOf(302, UNIT_TEXT, 40, "only eight")},
        {"padding past the body", unitOf(302, UNIT_NLSTEXT, 8, "eightbyt")},
        {"header cut short", std::string("\0\0\x01\x2e\0\0\0\x01\0\0", 10)},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.what);
        std::string body = first + c.unit;
        std::string memory = body + std::string(64, '\0') + unitOf(UNIT_END, UNIT_TEXT, 4, std::string("END\0", 4));
        UnitWalker walker(bytesOf(memory), static_cast<uint32_t>(body.size()), 0);
        Unit unit;
        ASSERT_TRUE(walker.next(unit));
        EXPECT_EQ(unit.tag, static_cast<uint32_t>(PKT_BUILDRES));
        bool handedOut = false;
        std::string refusal = thrownText([&] { handedOut = walker.next(unit); });
        EXPECT_FALSE(handedOut);
        EXPECT_NE(refusal.find("XRBE-015"), std::string::npos);
    }
}

} // namespace
