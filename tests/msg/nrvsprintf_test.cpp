#include "msg/nrvsprintf.h"

#include <climits>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>

namespace {

template <class... A>
std::string F(char const* fmt, A... args)
{
    char buf[4096];
    int n = nrvsprintf(buf, fmt, args...);
    EXPECT_EQ(n, static_cast<int>(std::string(buf).size())) << fmt;
    return buf;
}

TEST(Nrvsprintf, PositionalAndSequentialMix)
{
    EXPECT_EQ(F("%1$s-%2$s", "a", "b"), "a-b");
    EXPECT_EQ(F("%2$s-%1$s", "a", "b"), "b-a");
    EXPECT_EQ(F("%2$s %s", "x", "y"), "y x");
    EXPECT_EQ(F("%1$s and %1$s", "x"), "x and x");
    EXPECT_EQ(F("Expecting: %d   Received: %d ", 3, 4), "Expecting: 3   Received: 4 ");
    EXPECT_EQ(F("%2$s and %1$d", 7, "two"), "two and 7");
}

TEST(Nrvsprintf, WidthPrecisionStarAndPercent)
{
    EXPECT_EQ(F("%2$6.6x", 0, 255), "0000ff");
    EXPECT_EQ(F("%2$-4s|", "a", "b"), "b   |");
    EXPECT_EQ(F("100%% %s", "done"), "100% done");
    EXPECT_EQ(F("%*d", 5, 42), "   42");
    EXPECT_EQ(F("%*d|", -4, 42), "42  |");
    EXPECT_EQ(F("%.*s|%s", 2, "abcdef", "z"), "ab|z");
    EXPECT_EQ(F("%1$*2$d", 7, 4), "   7");
    EXPECT_EQ(F("tail %"), "tail %");
}

TEST(Nrvsprintf, NullStringPrintsNothing)
{
    char const* none = nullptr;
    EXPECT_EQ(F("[%1$s]", none), "[]");
    EXPECT_EQ(F("[%s][%3s]", none, none), "[][   ]");
    EXPECT_EQ(F("%1$d", 0), "0");
}

// Each argument is read with the type its directive names; on a 64-bit host
// reading a long long or a double as one 32-bit word would shift the rest.
TEST(Nrvsprintf, ArgumentsKeepTheirRealTypes)
{
    long long big = 1234567890123LL;
    EXPECT_EQ(F("%2$s %1$lld", big, "x"), "x 1234567890123");
    EXPECT_EQ(F("%3$s %2$.2f %1$ld", 42L, 2.5, "s"), "s 2.50 42");
    EXPECT_EQ(F("%zu %s", static_cast<size_t>(SIZE_MAX), "after"),
              std::to_string(static_cast<size_t>(SIZE_MAX)) + " after");
    EXPECT_EQ(F("%2$s%1$c", 'q', "p"), "pq");
    EXPECT_EQ(F("%u %x", UINT_MAX, 0xABCDu), "4294967295 abcd");
    EXPECT_EQ(F("%hhd %hd", 300, 70000), "44 4464");
    int x = 0;
    EXPECT_EQ(F("%p", static_cast<void*>(nullptr)), F("%s", "(nil)"));
    EXPECT_NE(F("%p", static_cast<void*>(&x)), "(nil)");
    // An argument number the format skips is stepped over.
    EXPECT_EQ(F("%3$s", 1, 2, "third"), "third");
}

TEST(Nrvsprintf, BoundsAreGuarded)
{
    EXPECT_EQ(F("%101$s|%0$s|%s", "a"), "%101$s|%0$s|a");
    EXPECT_EQ(F("%y %s", "v"), "%y v");
    EXPECT_EQ(F("%n%s", static_cast<int*>(nullptr), "ok"), "ok");

    // 100 directives fit; the 101st is written as it stands.
    std::string fmt;
    for (int i = 0; i < 101; ++i)
        fmt += "%1$s";
    std::string out = F(fmt.c_str(), "z");
    EXPECT_EQ(out, std::string(100, 'z') + "%1$s");
}

TEST(Nrvsprintf, BoundedFormsCutAndReportTheFullLength)
{
    char buf[8];
    EXPECT_EQ(nrvsnprintf(buf, sizeof buf, "%2$s-%1$s", "abcdef", "123"), 10);
    EXPECT_STREQ(buf, "123-abc");
    EXPECT_EQ(nrvsnprintf(buf, sizeof buf, "%s%s", "abcdefgh", "ij"), 10);
    EXPECT_STREQ(buf, "abcdefg");
    char one[1] = {'x'};
    EXPECT_EQ(nrvsnprintf(one, 1, "abc"), 3);
    EXPECT_EQ(one[0], '\0');
    EXPECT_EQ(nrvsnprintf(nullptr, 0, "%d", 12345), 5);
}

} // namespace
