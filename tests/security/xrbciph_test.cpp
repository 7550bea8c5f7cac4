// The packet cipher and its key table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "security/keytable.h"
#include "security/xrbciph.h"

namespace {

std::vector<char> pattern(size_t n)
{
    std::vector<char> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<char>(i * 37 + 11);
    return v;
}

TEST(Cipher, KnownAnswerAndWireByteOrder)
{
    // Worked out independently from the default table: plain bytes 00..07.
    std::vector<char> b = pattern(0);
    for (int i = 0; i < 8; ++i)
        b.push_back(static_cast<char>(i));
    encipher(b.data(), b.size(), 0);
    unsigned char const expected[8] = {0x01, 0x5f, 0x49, 0x26, 0x2b, 0xa8, 0x5b, 0x9f};
    EXPECT_EQ(std::string(b.begin(), b.end()), std::string(reinterpret_cast<char const*>(expected), 8));
}

TEST(Cipher, RoundTripForEveryEvenIndexLeavesTailAlone)
{
    for (unsigned idx = 0; idx <= 250; idx += 2) {
        std::vector<char> plain = pattern(37); // 4 blocks and 5 tail bytes
        std::vector<char> buf = plain;
        encipher(buf.data(), buf.size(), idx);
        EXPECT_NE(std::string(buf.begin(), buf.begin() + 32), std::string(plain.begin(), plain.begin() + 32));
        EXPECT_EQ(std::string(buf.begin() + 32, buf.end()), std::string(plain.begin() + 32, plain.end()));
        decipher(buf.data(), buf.size(), idx);
        ASSERT_EQ(buf, plain) << "index " << idx;
    }
}

TEST(Cipher, TwentyBytesAndShortBuffers)
{
    std::vector<char> plain = pattern(20), buf = plain;
    encipher(buf.data(), buf.size(), 8);
    EXPECT_NE(std::string(buf.begin(), buf.begin() + 16), std::string(plain.begin(), plain.begin() + 16));
    EXPECT_EQ(std::string(buf.begin() + 16, buf.end()), std::string(plain.begin() + 16, plain.end()));
    std::vector<char> tiny = pattern(7), same = tiny;
    encipher(tiny.data(), tiny.size(), 8);
    EXPECT_EQ(tiny, same);
}

TEST(Cipher, OddIndexWritesWordsMostSignificantByteFirst)
{
    std::vector<char> plain = pattern(16), buf = plain;
    encipher(buf.data(), buf.size(), 3);
    decipher(buf.data(), buf.size(), 3);
    for (size_t w = 0; w < 16; w += 4)
        for (size_t k = 0; k < 4; ++k)
            EXPECT_EQ(buf[w + k], plain[w + 3 - k]);
}

TEST(Cipher, NeighbouringIndicesGiveDifferentKeys)
{
    std::vector<char> a = pattern(8), b = a;
    encipher(a.data(), 8, 10);
    encipher(b.data(), 8, 11);
    EXPECT_NE(a, b);
}

TEST(Cipher, IndexIsEvenWithinRangeAndSeededOnce)
{
    for (int i = 0; i < 5000; ++i) {
        unsigned idx = getIndex();
        ASSERT_EQ(idx % 2, 0u);
        ASSERT_LE(idx, 250u);
    }
    srandom(7);
    unsigned expected = static_cast<unsigned>(rand()) % 252u & ~1u;
    srandom(7);
    EXPECT_EQ(getIndex(), expected);
}

TEST(KeyTable, MatchesTheTableFile)
{
    std::ifstream in(std::string(XRB_TEST_SOURCE_DIR) + "/security/keytable.txt");
    ASSERT_TRUE(in.good());
    std::vector<uint32_t> words;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream ss(line);
        std::string tok;
        while (ss >> tok)
            words.push_back(static_cast<uint32_t>(std::stoul(tok, nullptr, 0)));
    }
    ASSERT_EQ(words.size(), 256u);
    for (int i = 0; i < KEYTABLE_WORDS; ++i)
        ASSERT_EQ(keys[i], words[i]) << "word " << i;
}

} // namespace
