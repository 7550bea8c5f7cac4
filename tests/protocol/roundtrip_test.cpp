// Every packet class sent by one end and received by the other.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "peer.h"
#include "protocol/reader.h"
#include "protocol/xrbbld.h"

namespace {

TEST(RoundTrip, CommPacketFields)
{
    SocketPair sp;
    CommPacket(COMM_START, 42, "enu").send(sp.a, 0);
    CommPacket got(sp.b, 0);
    EXPECT_EQ(got.get_commtype(), COMM_START);
    EXPECT_EQ(got.get_intdata(), 42);
    EXPECT_STREQ(got.get_strdata(), "enu");
    EXPECT_STREQ(got.get_version(), "1.0.4.0.QVX");

    CommPacket end(COMM_END);
    end.set_strdata(nullptr); // keeps the empty text
    end.set_intdata(-7);
    end.send(sp.a, 0);
    CommPacket got2(sp.b, 0);
    EXPECT_EQ(got2.get_commtype(), COMM_END);
    EXPECT_STREQ(got2.get_strdata(), "");
    EXPECT_EQ(got2.get_intdata(), -7);
}

TEST(RoundTrip, CommPacketOnClosedConnectionIsNone)
{
    SocketPair sp;
    sp.closeA();
    CommPacket got(sp.b, 0);
    EXPECT_EQ(got.get_commtype(), COMM_NONE);
    // Sent unchecked on a dead connection, it does not throw either: the
    // failure shows at the next receive.  Sent plainly, it does.
    CommPacket end(COMM_END);
    EXPECT_EQ(thrownText([&] { EXPECT_EQ(sendUnchecked(end, sp.b), -1); }), "");
    EXPECT_NE(thrownText([&] { end.send(sp.b, 0); }), "");
}

TEST(RoundTrip, AuthPacketIsEncipheredOnTheWire)
{
    SocketPair sp;
    AuthPacket("builder", "s3cret-pass").send(sp.a, 1);
    std::string header = readExactly(sp.b, 20);
    ASSERT_EQ(header.size(), 20u);
    WireReader r(reinterpret_cast<unsigned char const*>(header.data()), 20);
    uint32_t magic, len, key;
    ASSERT_TRUE(r.takeU32(magic) && r.takeU32(len) && r.takeU32(key));
    EXPECT_NE(key, 257u);
    EXPECT_EQ(key % 2, 0u);
    EXPECT_LE(key, 250u);
    std::string body = readExactly(sp.b, len);
    ASSERT_EQ(body.size(), len);
    EXPECT_EQ(len % 8, 0u);
    EXPECT_EQ(body.find("builder"), std::string::npos);
    EXPECT_EQ(body.find("s3cret"), std::string::npos);
    EXPECT_EQ(body.find("1.0.4.0.QVX"), std::string::npos);

    // The requesting end asks first, then deciphers what arrives.
    writeAll(sp.a, header + body);
    AuthPacket got(sp.b);
    EXPECT_STREQ(got.get_userid(), "builder");
    EXPECT_STREQ(got.get_password(), "s3cret-pass");
    CommPacket request(sp.a, 0);
    EXPECT_EQ(request.get_commtype(), COMM_REQ_AUTH);
}

TEST(RoundTrip, LocalePacket)
{
    SocketPair sp;
    LocalePacket("ISO8859-1", "QVX-1047").send(sp.a, 0);
    LocalePacket got(sp.b);
    EXPECT_STREQ(got.get_clientCodepage(), "ISO8859-1");
    EXPECT_STREQ(got.get_serverCodepage(), "QVX-1047");
    EXPECT_EQ(CommPacket(sp.a, 0).get_commtype(), COMM_REQ_LOCALE);
}

TEST(RoundTrip, BuildPacket)
{
    SocketPair sp;
    {
        BuildPacket p("dir\\script", "file.TXT", 26, "/build/here", "LE", 4, 30, 5);
        p.add_input("a.c.TXT");
        p.add_input("b.c.TXT");
        p.add_dep("h.h.TXT");
        p.add_output("a.o.BIN");
        p.add_var("X=1");
        p.set_parms("-O2");
        p.set_parms("ignored");
        p.set_proclib("PROC.LIB");
        p.send(sp.a, 0);
    }
    BuildPacket got(sp.b);
    EXPECT_STREQ(got.get_buildScriptName(), "dir/script");
    EXPECT_STREQ(got.get_buildScriptFileName(), "file.TXT");
    EXPECT_EQ(got.get_buildScriptType(), 26);
    EXPECT_STREQ(got.get_buildLoc(), "/build/here");
    EXPECT_STREQ(got.get_goodCond(), "LE");
    EXPECT_EQ(got.get_goodRc(), 4);
    EXPECT_EQ(got.get_timeout(), 30);
    EXPECT_EQ(got.get_opts(), 5);
    EXPECT_STREQ(got.get_buildParms(), "-O2");
    EXPECT_STREQ(got.get_proclib(), "PROC.LIB");
    EXPECT_STREQ(got.get_firstInput(), "a.c.TXT");
    EXPECT_STREQ(got.get_nextInput(), "b.c.TXT");
    EXPECT_EQ(got.get_nextInput(), nullptr);
    EXPECT_STREQ(got.get_firstInclude(), "h.h.TXT");
    EXPECT_STREQ(got.get_firstOutput(), "a.o.BIN");
    EXPECT_STREQ(got.get_firstVar(), "X=1");
    EXPECT_EQ(got.get_nextVar(), nullptr);
    EXPECT_EQ(CommPacket(sp.a, 0).get_commtype(), COMM_REQ_BUILD);
}

TEST(RoundTrip, BuildPacketWithoutOptionalTexts)
{
    SocketPair sp;
    BuildPacket("s", "", 25, "", "EQ", 0, 0, 0).send(sp.a, 0);
    BuildPacket got(sp.b);
    EXPECT_STREQ(got.get_buildParms(), "");
    EXPECT_EQ(got.get_proclib(), nullptr);
    EXPECT_EQ(got.get_firstInput(), nullptr);
}

TEST(RoundTrip, BuildResPacket)
{
    SocketPair sp;
    {
        BuildResPacket p;
        p.set_result(1);
        p.set_msg("ab", 0);
        p.set_msg("cde", 2);
        EXPECT_STREQ(p.get_builderMsg(), "abcd");
        p.send(sp.a, 0);
    }
    {
        BuildResPacket got(sp.b);
        EXPECT_EQ(got.get_result(), 1);
        EXPECT_STREQ(got.get_builderMsg(), "abcd");
        EXPECT_EQ(got.get_msgfiles(), nullptr);
    }
    {
        BuildResPacket p;
        p.set_result(-3);
        p.set_msgfiles("A.MSG B.OUT");
        p.send(sp.a, 0);
    }
    BuildResPacket got(sp.b);
    EXPECT_EQ(got.get_result(), -3);
    EXPECT_STREQ(got.get_builderMsg(), "");
    EXPECT_STREQ(got.get_msgfiles(), "A.MSG B.OUT");
}

TEST(RoundTrip, BinDataPacket)
{
    SocketPair sp;
    char const bytes[] = {0, 1, 2, '\xff', 0, 9};
    binDataPacket(bytes, sizeof bytes).send(sp.a, 0);
    binDataPacket got(sp.b);
    ASSERT_EQ(got.get_length(), sizeof bytes);
    EXPECT_EQ(std::memcmp(got.get_data(), bytes, sizeof bytes), 0);

    binDataPacket().send(sp.a, 0);
    binDataPacket none(sp.b);
    EXPECT_EQ(none.get_length(), 0u);
}

TEST(RoundTrip, FileBulkPacketFromMemory)
{
    SocketPair sp;
    FileBulkPacket("x.BIN", 5, "hello").send(sp.a, 0);
    FileBulkPacket got("", static_cast<FILE*>(nullptr));
    got.recv(sp.b, PKT_FILEBULK, 0);
    got.parse();
    EXPECT_STREQ(got.get_name(), "x.BIN");
    EXPECT_EQ(got.get_lastChunk(), 1);
    ASSERT_EQ(got.get_length(), 5u);
    EXPECT_EQ(std::string(got.get_data(), 5), "hello");
}

// A chunk goes out from its own buffer, not through the packet buffer: the
// bytes on the wire must still be exactly those of the built packet, for
// every padding and for chunks longer than one socket call.
TEST(RoundTrip, ChunkOnTheWireIsTheBuiltPacket)
{
    for (unsigned n : {1u, 5u, 8u, 13u, 31744u, 70001u}) {
        SCOPED_TRACE(n);
        std::string data(n, '\0');
        for (unsigned i = 0; i < n; ++i)
            data[i] = static_cast<char>(i * 31 + 7);
        SocketPair sp;
        std::string wire;
        std::thread reader([&] {
            std::string head = readExactly(sp.b, 20);
            uint32_t len = (uint32_t(uint8_t(head[4])) << 24) | (uint32_t(uint8_t(head[5])) << 16) |
                           (uint32_t(uint8_t(head[6])) << 8) | uint8_t(head[7]);
            wire = head + readExactly(sp.b, len);
        });
        FileBulkPacket chunk("c.BIN", n, data.data());
        chunk.send(sp.a, 0);
        reader.join();
        chunk.buildXmit();
        std::string built(chunk.get_buffer(), chunk.get_bodyLength());
        ASSERT_EQ(wire.size(), 20 + built.size());
        EXPECT_EQ(wire.substr(0, 4), std::string("\x01\xbe\xf9\x81", 4));
        EXPECT_EQ(wire.substr(8, 12), std::string("\0\0\x01\x01\0\0\0\0\0\0\0\0", 12));
        EXPECT_TRUE(wire.compare(20, std::string::npos, built) == 0);
    }
}

TEST(RoundTrip, CheckVersion)
{
    EXPECT_EQ(checkVersion("1.0.4.0.QVX", "1.0.4.0.QVX"), 1);
    EXPECT_EQ(checkVersion("1.9.4.7.QVX", "1.0.4.0.QVX"), 1);
    EXPECT_EQ(checkVersion("2.0.4.0.QVX", "1.0.4.0.QVX"), -2);
    EXPECT_EQ(checkVersion("1.0.5.0.QVX", "1.0.4.0.QVX"), -2);
    EXPECT_EQ(checkVersion("9.9.9.9.ABC", "1.0.4.0.QVX"), -1);
}

} // namespace
