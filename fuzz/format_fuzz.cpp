// Runs the positional formatter and message flowing over arbitrary formats.
// Input: one byte for the size of a bounded area, the format, then the
// string arguments, each ended by a zero byte.  Arguments have fixed types
// by position (odd ones strings, 2 and 4 int, 6 and 8 long); formats whose
// directives would take an argument with another type are skipped, since
// the caller's contract is to pass what the format names.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "msg/msg.h"
#include "msg/nrvsprintf.h"

namespace {

enum class Type { Str, Int, Long, Bad };

Type typeOf(int arg)
{
    if (arg < 1 || arg > 9)
        return Type::Bad;
    if (arg % 2 == 1)
        return Type::Str;
    return arg <= 4 ? Type::Int : Type::Long;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A strict subset of the formatter's directives.  stringsOnly treats every
// argument as a string.  Sets positional when any "n$" occurs.
bool acceptable(char const* f, bool stringsOnly, bool& positional)
{
    positional = false;
    int seq = 0;
    for (char const* p = f; *p; ++p) {
        if (*p != '%')
            continue;
        ++p;
        if (*p == '%')
            continue;
        int arg = 0;
        if (isDigit(*p) && p[1] == '$') {
            arg = *p - '0';
            if (arg == 0)
                return false;
            p += 2;
            positional = true;
        } else if (isDigit(*p) && isDigit(p[1]) && p[2] == '$') {
            return false;
        }
        while (*p && std::strchr("-+ #0", *p))
            ++p;
        for (int n = 0; n < 2 && isDigit(*p); ++n)
            ++p;
        if (isDigit(*p))
            return false;
        if (*p == '.') {
            ++p;
            for (int n = 0; n < 2 && isDigit(*p); ++n)
                ++p;
            if (isDigit(*p))
                return false;
        }
        bool isLong = *p == 'l';
        if (isLong)
            ++p;
        if (*p == '\0' || !std::strchr("sdiuxXc", *p))
            return false;
        if (arg == 0)
            arg = ++seq;
        Type want = stringsOnly ? (arg <= 9 ? Type::Str : Type::Bad) : typeOf(arg);
        Type got = *p == 's'   ? (isLong ? Type::Bad : Type::Str)
                   : *p == 'c' ? (isLong ? Type::Bad : Type::Int)
                               : (isLong ? Type::Long : Type::Int);
        if (want == Type::Bad || got != want)
            return false;
    }
    return true;
}

struct Args {
    std::string s[5];
};

constexpr int I2 = -12345;
constexpr int I4 = INT_MIN + 0x41; // also a printable %c
constexpr long L6 = LONG_MIN;
constexpr long L8 = 0x7fffffffL;

int formatInto(char* out, size_t size, char const* f, Args const& a)
{
    return nrvsnprintf(out, size, f, a.s[0].c_str(), I2, a.s[1].c_str(), I4, a.s[2].c_str(), L6, a.s[3].c_str(), L8,
                       a.s[4].c_str());
}

void checkFormat(std::string const& fmt, size_t small, Args const& a)
{
    bool positional;
    if (!acceptable(fmt.c_str(), false, positional))
        return;
    char const* f = fmt.c_str();
    int len = formatInto(nullptr, 0, f, a);
    if (len < 0)
        std::abort();
    std::vector<char> whole(static_cast<size_t>(len) + 1);
    if (formatInto(whole.data(), whole.size(), f, a) != len || std::strlen(whole.data()) != static_cast<size_t>(len))
        std::abort();

    // The unbounded form writes the same text.
    std::vector<char> unbounded(static_cast<size_t>(len) + 1);
    nrvsprintf(unbounded.data(), f, a.s[0].c_str(), I2, a.s[1].c_str(), I4, a.s[2].c_str(), L6, a.s[3].c_str(), L8,
               a.s[4].c_str());
    if (std::strcmp(unbounded.data(), whole.data()) != 0)
        std::abort();

    // A small area holds the start of the text, cut and terminated.
    std::vector<char> cut(small ? small : 1);
    if (formatInto(cut.data(), small, f, a) != len)
        std::abort();
    if (small > 0 && std::strncmp(cut.data(), whole.data(), small - 1) != 0)
        std::abort();

    // Without "n$" the platform's printf is the reference.
    if (!positional) {
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wformat-nonliteral"
        int ref = std::snprintf(nullptr, 0, f, a.s[0].c_str(), I2, a.s[1].c_str(), I4, a.s[2].c_str(), L6,
                                a.s[3].c_str(), L8, a.s[4].c_str());
        std::vector<char> refText(static_cast<size_t>(ref) + 1);
        std::snprintf(refText.data(), refText.size(), f, a.s[0].c_str(), I2, a.s[1].c_str(), I4, a.s[2].c_str(), L6,
                      a.s[3].c_str(), L8, a.s[4].c_str());
#pragma clang diagnostic pop
        if (ref != len || std::strcmp(refText.data(), whole.data()) != 0)
            std::abort();
    }

    // Flowing never reads or writes past its areas, whatever the text.
    char* flowed = msgFlow(whole.data());
    if (flowed == nullptr)
        std::abort();
}

// A table message with arbitrary texts for its values.
void checkMessage(unsigned n, Args const& a)
{
    bool positional;
    if (!acceptable(msgFormat(static_cast<MsgId>(n)), true, positional))
        return;
    char const* s[5] = {a.s[0].c_str(), a.s[1].c_str(), a.s[2].c_str(), a.s[3].c_str(), a.s[4].c_str()};
    char* text = msgGet(static_cast<MsgId>(n), s[0], s[1], s[2], s[3], s[4], s[0], s[1], s[2], s[3]);
    if (text == nullptr)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
    if (size < 2 || size > 8192)
        return 0;
    size_t small = data[0];
    std::vector<std::string> parts(1);
    for (size_t i = 1; i < size; ++i) {
        if (data[i] == 0)
            parts.emplace_back();
        else
            parts.back() += static_cast<char>(data[i]);
    }
    Args a;
    for (size_t i = 0; i < 5 && i + 1 < parts.size(); ++i)
        a.s[i] = parts[i + 1];
    checkFormat(parts[0], small, a);
    checkMessage(1 + small % MSG_COUNT, a);
    return 0;
}
