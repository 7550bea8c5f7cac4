#include "base/NLSGlobal.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

#include "../support/childproc.h"

namespace {

TEST(NLSGlobal, ByteComparesBeforeInit)
{
    // Nothing in this program calls mcinit; the locale cases run in children.
    ASSERT_EQ(singleByteCP, -1);
    EXPECT_LT(mcstrcmp("abc", "abd"), 0);
    EXPECT_EQ(mcstricmp("ABC", "abc"), 0);
    EXPECT_EQ(mcstrch("ab", "ac"), 1);
    EXPECT_EQ(mcstrch("ab", "bb"), 0);
}

TEST(NLSGlobal, TokensSkipEmptyFields)
{
    char text[] = "a,,b";
    EXPECT_STREQ(mcstrtok(text, ","), "a");
    EXPECT_STREQ(mcstrtok(nullptr, ","), "b");
    EXPECT_EQ(mcstrtok(nullptr, ","), nullptr);
    EXPECT_EQ(mcstrtok(nullptr, ","), nullptr);
    char only[] = ",,,";
    EXPECT_EQ(mcstrtok(only, ","), nullptr);
}

TEST(NLSGlobal, StripSpacesAndChars)
{
    struct Case {
        char const* in;
        unsigned char flags;
        char const* out;
    } spaces[] = {{"  ab  ", 3, "ab"},    {"  ab  ", 1, "ab  "}, {"  ab  ", 2, "  ab"},
                  {"a b c ", 2, "a b c"}, {"   ", 3, ""},        {"", 3, ""}};
    for (Case const& c : spaces) {
        char buf[32];
        std::strcpy(buf, c.in);
        mcStripSpaces(buf, c.flags);
        EXPECT_STREQ(buf, c.out) << "[" << c.in << "] flags " << int(c.flags);
    }
    char x[] = "xxabxx";
    mcStripChars(x, 'x', 2);
    EXPECT_STREQ(x, "xxab");
    char y[] = "xxaxbxx";
    mcStripChars(y, 'x', 3);
    EXPECT_STREQ(y, "axb");
    mcStripSpaces(nullptr, 3);
    mcStripChars(nullptr, 'x', 3);
    EXPECT_EQ(mcSkipSpaces(nullptr), nullptr);
}

TEST(NLSGlobal, SearchingAndSpans)
{
    char const* text = "xxabcxx";
    EXPECT_EQ(mcstristr(text, "ABC"), text + 2);
    EXPECT_EQ(mcstristr(text, ""), nullptr);
    EXPECT_EQ(mcstristr(text, "abd"), nullptr);
    EXPECT_EQ(mcstristr("ab", "abc"), nullptr);
    EXPECT_EQ(mcstrcspn("abc;d", ";,"), 3u);
    EXPECT_EQ(mcstrspn("  \tx", " \t"), 3u);
    EXPECT_EQ(mcstrspn("abc", ""), 0u);
    char const* q = "say \"hi\"";
    EXPECT_EQ(mcFindSpace(q), q + 3);
    EXPECT_EQ(mcFindQuote(q), q + 4);
    EXPECT_EQ(mcFindSpace("none"), nullptr);
    EXPECT_EQ(mclen(""), 1);
    EXPECT_EQ(mcwidth("abc"), 3u);
    char up[] = "MiXed";
    EXPECT_EQ(allUpper(up), up + 5);
    EXPECT_STREQ(up, "MIXED");
    allLower(up);
    EXPECT_STREQ(up, "mixed");
}

TEST(NLSGlobal, CountingQuotes)
{
    EXPECT_EQ(countInstancesOfCharacterNoDups("a'b", '\''), 1);
    EXPECT_EQ(countInstancesOfCharacterNoDups("a''b", '\''), 0);
    EXPECT_EQ(countInstancesOfCharacterNoDups("a'''b", '\''), 1);
    EXPECT_EQ(countInstancesOfCharacter("a'b", '\''), 1);
    EXPECT_EQ(countInstancesOfCharacter("a''b", '\''), 2);
    EXPECT_EQ(countInstancesOfCharacter("a'''b", '\''), 3);
    EXPECT_EQ(wcswidth(L"", 5), 0);
    EXPECT_EQ(wcswidth(L"abc", 2), 2);
    // A character with no multibyte form in this locale makes the whole
    // measure fail rather than shrink the byte count by one.
    EXPECT_EQ(wcwidth(L'\u00e9'), -1);
    EXPECT_EQ(wcswidth(L"a\u00e9b", 9), -1);
}

TEST(NLSGlobal, MultibyteModeInAUtf8Locale)
{
    auto r = childproc::run({{"LC_ALL", "C.UTF-8"}}, [] {
        mcinit();
        if (singleByteCP != 0)
            return 1;
        // U+00E9 takes two bytes; its second byte must not split the count.
        if (countInstancesOfCharacter("\xc3\xa9'\xc3\xa9''", '\'') != 3)
            return 2;
        if (wcwidth(L'\u00e9') != 2 || wcwidth(L'a') != 1)
            return 3;
        if (wcswidth(L"a\u00e9", 10) != 3)
            return 4;
        if (mcstrcmp("\xc3\xa9", "\xc3\xa9") != 0 || mcstrcmp("a", "\xc3\xa9") >= 0)
            return 5;
        if (mcstricmp("\xc3\xa9x", "\xc3\x89X") != 0)
            return 6;
        if (mcstrch("\xc3\xa9z", "\xc3\xa9y") != 1 || mcstrch("\xc3\xa9", "\xc3\xa8") != 0)
            return 7;
        if (mcisspace(" ") != 1 || mcisspace("\xc3\xa9") != 0)
            return 8;
        if (mclen("\xc3\xa9") != 2)
            return 9;
        return 0;
    });
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST(NLSGlobal, InitFailureLogsAndEndsWithStatus101)
{
    auto r = childproc::run({{"LC_ALL", "xx_YY.nosuchcodeset"}}, [] {
        mcinit();
        return 0;
    });
    EXPECT_EQ(r.status, 101);
    EXPECT_NE(r.err.find("XRBE-042"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("NULL"), std::string::npos) << r.err;
}

} // namespace
