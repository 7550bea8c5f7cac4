#include "trace/tracefmt.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

std::string fmt(size_t cap, char const* format, ...)
{
    char buf[256];
    va_list ap;
    va_start(ap, format);
    size_t n = traceFormatChecked(buf, cap, format, ap);
    va_end(ap);
    EXPECT_EQ(n, std::string(buf).size());
    return buf;
}

TEST(TraceCheckedFormat, ArgumentsAreFetchedByTheirRealType)
{
    int x = 0;
    char ptrText[32];
    std::snprintf(ptrText, sizeof ptrText, "%p", static_cast<void*>(&x));
    // Pointer-sized and 64-bit values between ints must not shift the rest.
    EXPECT_EQ(fmt(256, "%d %p %lld %s %lu %c %x", 7, static_cast<void*>(&x), 1LL << 40, "mid",
                  static_cast<unsigned long>(UINT32_MAX), 'q', 255u),
              std::string("7 ") + ptrText + " 1099511627776 mid 4294967295 q ff");
    EXPECT_EQ(fmt(256, "[%-5s|%5d|%.2s|%*d]", "ab", 42, "xyz", 4, 9), "[ab   |   42|xy|   9]");
    EXPECT_EQ(fmt(256, "%zu %hd %%", static_cast<size_t>(12), static_cast<short>(-3)), "12 -3 %");
}

TEST(TraceCheckedFormat, NullStringsAndFloats)
{
    char const* none = nullptr;
    EXPECT_EQ(fmt(256, "a=%s b=%f c=%s", none, 1.5, "ok"), "a=<bad pointer> b=% c=ok");
    EXPECT_EQ(fmt(256, "%e %G|%d", 1.0, 2.0, 5), "% %|5");
}

TEST(TraceCheckedFormat, CutAtTheAreaEndAndUnknownDirectivesKept)
{
    EXPECT_EQ(fmt(8, "%s", "abcdefghijkl"), "abcdefg");
    EXPECT_EQ(fmt(6, "abc%d", 123456), "abc12");
    EXPECT_EQ(fmt(256, "%y %d %", 4), "%y 4 %");
}

TEST(TraceCheckedFormat, AtMostFiftyArgumentsAreTaken)
{
    std::string format;
    for (int i = 0; i < 51; ++i)
        format += "%d";
    // 50 ones are printed; the 51st directive is left as written.
    std::string out = fmt(256, format.c_str(), 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                          1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1);
    EXPECT_EQ(out, std::string(50, '1') + "%d");
}

} // namespace
