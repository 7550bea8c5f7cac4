#include "base/tcstring.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string S(TCString const& t)
{
    return std::string(t.getdata());
}

TEST(TCString, ConstructionGivesValidText)
{
    EXPECT_EQ(S(TCString()), "");
    EXPECT_EQ(S(TCString(static_cast<char const*>(nullptr))), "");
    EXPECT_EQ(S(TCString('\0')), "");
    EXPECT_EQ(S(TCString('x')), "x");
    EXPECT_EQ(S(TCString(-5)), "-5");
    EXPECT_EQ(S(TCString(-2147483647 - 1)), "-2147483648");
    EXPECT_EQ(S(TCString(4294967295ul)), "4294967295");
    EXPECT_EQ(S(TCString("abcdef", 2, "xyz", 1)), "abx");
    EXPECT_EQ(S(TCString(nullptr, 3, "xyz", 2)), "xy");
    EXPECT_EQ(S(TCString(nullptr, 3, nullptr, 2)), "");
}

TEST(TCString, AssignmentAndConcatenation)
{
    TCString a("ab");
    TCString& self = a;
    a = self;
    EXPECT_EQ(S(a), "ab");
    a += a;
    EXPECT_EQ(S(a), "abab");
    a += static_cast<char const*>(nullptr);
    a += '\0';
    a += 'c';
    EXPECT_EQ(S(a), "ababc");
    EXPECT_EQ(S("x" + TCString("y")), "xy");
    EXPECT_EQ(S(static_cast<char const*>(nullptr) + TCString("y")), "y");
    EXPECT_EQ(S(TCString("y") + static_cast<char const*>(nullptr)), "y");
    TCString b;
    b.setData("abc", 5, '.');
    EXPECT_EQ(S(b), "abc..");
    b.setData("abcdef", 2, '.');
    EXPECT_EQ(S(b), "ab");
}

TEST(TCString, WritableSubscriptLengthensWithBlanks)
{
    TCString s("ab");
    s[5] = 'z';
    EXPECT_EQ(S(s), "ab  z");
    TCString const& c = s;
    EXPECT_EQ(c[0], 'a');
    EXPECT_EQ(c[2u], 'b');
    EXPECT_EQ(c[6], '\0');
}

TEST(TCString, NullPlainStringComparisons)
{
    TCString e;
    char const* n = nullptr;
    EXPECT_TRUE(e == n);
    EXPECT_TRUE(n == e);
    EXPECT_FALSE(e != n);
    EXPECT_TRUE(e > n);
    EXPECT_TRUE(e >= n);
    EXPECT_FALSE(e < n);
    EXPECT_FALSE(e <= n);
    EXPECT_TRUE(n < e);
    EXPECT_TRUE(n <= e);
    EXPECT_FALSE(n > e);
    EXPECT_FALSE(n >= e);
    // Bytes compare unsigned: 0xE9 sorts after 'z'.
    EXPECT_TRUE(TCString("\xE9") > "z");
    EXPECT_TRUE(TCString("ab") < TCString("b"));
    char buf[] = "ab";
    EXPECT_TRUE(TCString("ab") == buf);
    EXPECT_TRUE(buf != TCString("abc"));
}

TEST(TCString, Searching)
{
    EXPECT_EQ(TCString("a=b").indexOf('=', 1), 2u);
    EXPECT_EQ(TCString("ab").indexOf('=', 1), 0u);
    EXPECT_EQ(TCString("abcabc").indexOf("bc", 3), 5u);
    EXPECT_EQ(TCString("abc").indexOf("", 4), 0u);
    EXPECT_EQ(TCString("abc").indexOf("cd", 1), 0u);
    EXPECT_NE(TCString("ab").includes("ab"), 0u);
    EXPECT_EQ(TCString("aba").lastIndexOf('a', 0), 3u);
    EXPECT_EQ(TCString("aba").lastIndexOf('a', 2), 1u);
    EXPECT_EQ(TCString("aba").lastIndexOf("ab", 0xFFFFFFFFu), 1u);
    EXPECT_EQ(TCString("aba").lastIndexOf("x", 0), 0u);
    EXPECT_EQ(TCString("x y").indexOfAnyOf(" =", 1), 2u);
    EXPECT_EQ(TCString("x y").lastIndexOfAnyOf(" =", 0), 0u);
    EXPECT_EQ(TCString("x=y ").lastIndexOfAnyOf(" =", 99), 4u);
    EXPECT_EQ(TCString("aaaa").occurrencesOf(TCString("aa"), 1), 2u);
    EXPECT_EQ(TCString("aaaa").occurrencesOf(TCString(""), 1), 0u);
    EXPECT_EQ(TCString("one two three").wordIndexOfPhrase(TCString("two th"), 1), 2u);
    EXPECT_EQ(TCString("ab abc").wordIndexOfPhrase(TCString("ab"), 2), 2u);
    EXPECT_EQ(TCString("one two").wordIndexOfPhrase(TCString("two  x"), 1), 0u);
}

TEST(TCString, WordsSplitOnBytesUpTo32)
{
    TCString t("  a  b ");
    EXPECT_EQ(t.numWords(), 2u);
    EXPECT_EQ(S(t.word(2)), "b");
    EXPECT_EQ(S(t.word(3)), "");
    EXPECT_EQ(S(t.word(0)), "");
    EXPECT_EQ(S(TCString("a b c ").words(2)), "b c ");
    EXPECT_EQ(TCString("a\tb\x01"
                       "c\xC3\xA9")
                  .numWords(),
              3u);
}

TEST(TCString, RemoveWordsTakesFollowingSeparators)
{
    TCString a("a b c");
    EXPECT_EQ(S(a.removeWords(2, 1)), "a c");
    TCString b("a b c");
    EXPECT_EQ(S(b.removeWords(3, 1)), "a b ");
    TCString c("a  b   c d");
    EXPECT_EQ(S(c.removeWords(2, 2)), "a  d");
    TCString d("a b");
    EXPECT_EQ(S(d.removeWords(2, 9)), "a ");
    EXPECT_EQ(S(d.removeWords(5, 1)), "a ");
    EXPECT_EQ(S(d.removeWords(1, 0)), "a ");
}

TEST(TCString, SubstringsAndRemove)
{
    TCString t("abc");
    EXPECT_EQ(S(t.subString(2)), "bc");
    EXPECT_EQ(S(t.subString(4)), "");
    EXPECT_EQ(S(t.subString(2, 4, '*')), "bc**");
    EXPECT_EQ(S(t.subString(7, 2, '*')), "**");
    TCString r("abcde");
    EXPECT_EQ(S(r.remove(2, 1)), "acde");
    EXPECT_EQ(S(r), "abcde");
    EXPECT_EQ(S(r.remove(2, 10)), "a");
    EXPECT_EQ(S(r.remove(9, 1)), "abcde");
}

TEST(TCString, ChangeReplacesWithoutRescanning)
{
    TCString a("a b  c");
    EXPECT_EQ(S(a.change(" ", "%20", 1, 0xFFFFFFFFu)), "a%20b%20%20c");
    TCString b("a b  c");
    EXPECT_EQ(S(b.change(" ", "%20", 1, 1)), "a%20b  c");
    TCString c("a b");
    EXPECT_EQ(S(c.change(" ", "%20", 1, 0)), "a b");
    EXPECT_EQ(S(c.change(" ", "%20", 4, 0xFFFFFFFFu)), "a b");
    TCString d("aa");
    EXPECT_EQ(S(d.change("a", "aa", 1, 0xFFFFFFFFu)), "aaaa");
    EXPECT_EQ(S(TCString::change("x y z", " ", "", 3, 0xFFFFFFFFu)), "x yz");
    // An empty pattern would loop forever.
    TCString e("ab");
    EXPECT_EQ(S(e.change("", "x", 1, 0xFFFFFFFFu)), "ab");
    // Long lists are never cut.
    std::string big(20000, ' ');
    TCString f(big.c_str());
    EXPECT_EQ(f.change(" ", "%20", 1, 0xFFFFFFFFu).length(), 60000u);
}

TEST(TCString, StripAndPadding)
{
    TCString s(" \t a b \n");
    EXPECT_EQ(S(s.strip()), "a b");
    EXPECT_EQ(S(TCString::stripBlanks("\x01x\x1f")), "x");
    TCString t("a//");
    EXPECT_EQ(S(t.stripTrailing('/')), "a");
    TCString u("a/.//.");
    EXPECT_EQ(S(u.stripTrailing("./")), "a");
    TCString c("ab");
    EXPECT_EQ(S(c.center(5, '*')), "*ab**");
    TCString c2("abc");
    EXPECT_EQ(S(c2.center(2, '*')), "abc");
    TCString c3("ab");
    EXPECT_EQ(S(c3.center(6, '-')), "--ab--");
    TCString r("42");
    EXPECT_EQ(S(r.rightJustify(5, '0')), "00042");
    TCString p("42");
    EXPECT_EQ(S(p.rightPad(5, '.')), "42...");
    TCString q("123456");
    EXPECT_EQ(S(q.rightPad(3, '.').rightJustify(3, '0')), "123456");
    TCString m("MiXed");
    EXPECT_EQ(S(m.upperCase()), "MIXED");
    EXPECT_EQ(S(m.lowerCase()), "mixed");
}

TEST(TCString, NumbersAreThirtyTwoBitOnEveryHost)
{
    EXPECT_EQ(TCString("  -42x").asInt(), -42);
    EXPECT_EQ(TCString("abc").asInt(), 0);
    EXPECT_EQ(TCString("99999999999").asInt(), 2147483647);
    EXPECT_EQ(TCString("-99999999999").asInt(), -2147483647 - 1);
    EXPECT_EQ(TCString("4294967295").asUnsigned(), 4294967295u);
    EXPECT_EQ(TCString("4294967296").asUnsigned(), 4294967295u);
    EXPECT_EQ(TCString("-1").asUnsigned(), 4294967295u);
    EXPECT_TRUE(TCString("").isDigits());
    EXPECT_FALSE(TCString("1 2").isDigits());
}

TEST(TCString, D2x)
{
    // Not a number: unchanged; beyond 32 bits: the largest.
    struct {
        char const* decimal;
        char const* hex;
    } const cases[] = {{"255", "FF"}, {"0", "0"}, {"4294967296", "FFFFFFFF"}, {"12a", "12a"}, {"", ""}, {"0016", "10"}};
    for (auto const& c : cases) {
        TCString t(c.decimal);
        EXPECT_EQ(S(t.d2x()), c.hex) << c.decimal;
    }
}

TEST(TCString, IsLikeBacktracks)
{
    EXPECT_TRUE(TCString("abcbc").isLike("a*bc", '*', '?'));
    EXPECT_TRUE(TCString("ac").isLike("a*c", '*', '?'));
    EXPECT_TRUE(TCString("ab").isLike("ab*", '*', '?'));
    EXPECT_FALSE(TCString("ab").isLike("ab?", '*', '?'));
    EXPECT_TRUE(TCString("abxbxc").isLike("a*b?c", '*', '?'));
    EXPECT_FALSE(TCString("abcbd").isLike("a*bc", '*', '?'));
    EXPECT_TRUE(TCString("a.b.c").isLike("a%.c", '%', '_'));
    EXPECT_TRUE(TCString("*").isLike("*", '*', '?'));
    EXPECT_TRUE(TCString("").isLike("*", '*', '?'));
    // Only the given length of the pattern counts.
    EXPECT_TRUE(TCString("ab").isLike("abzz", 2, '*', '?'));
}

TEST(TCString, IsAbbreviationFor)
{
    EXPECT_TRUE(TCString("verb").isAbbreviationFor("verbose", 1));
    EXPECT_FALSE(TCString("verbs").isAbbreviationFor("verbose", 1));
    EXPECT_FALSE(TCString("v").isAbbreviationFor("verbose", 2));
}

} // namespace
