// Runs sequences of TCString operations with arbitrary texts, positions and
// widths, and checks what each operation promises about its result.
// Input: a list of operations, each an opcode byte, a 16-bit number (0xFFFF
// stands for the largest unsigned value) and a text of up to 255 bytes
// (a length byte, then the bytes).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/tcstring.h"

namespace {

struct Input {
    uint8_t const* p;
    size_t left;

    bool more() const { return left > 0; }
    uint8_t byte()
    {
        if (!left)
            return 0;
        --left;
        return *p++;
    }
    unsigned num()
    {
        unsigned v = byte();
        v = v << 8 | byte();
        return v == 0xFFFF ? 0xFFFFFFFFu : v;
    }
    std::string text()
    {
        size_t n = byte();
        if (n > left)
            n = left;
        std::string s(reinterpret_cast<char const*>(p), n);
        s.erase(std::find(s.begin(), s.end(), '\0'), s.end());
        p += n;
        left -= n;
        return s;
    }
};

void require(bool ok)
{
    if (!ok)
        std::abort();
}

bool isSep(char c)
{
    return static_cast<unsigned char>(c) >= 1 && static_cast<unsigned char>(c) <= 32;
}

void search(TCString const& a, std::string const& t, unsigned n)
{
    unsigned len = a.length();
    unsigned r = a.indexOf(t.c_str(), n);
    if (r != 0) {
        require(r >= (n < 1 ? 1 : n) && r + t.size() - 1 <= len);
        require(std::memcmp(a.getdata() + r - 1, t.data(), t.size()) == 0);
    }
    unsigned l = a.lastIndexOf(t.c_str(), n);
    if (l != 0)
        require(l + t.size() - 1 <= len && std::memcmp(a.getdata() + l - 1, t.data(), t.size()) == 0);
    if (!t.empty()) {
        unsigned c = a.indexOf(t[0], n);
        require(c == 0 || a.getdata()[c - 1] == t[0]);
        c = a.lastIndexOf(t[0], n);
        require(c == 0 || a.getdata()[c - 1] == t[0]);
    }
    unsigned any = a.indexOfAnyOf(t.c_str(), n);
    require(any == 0 || (any <= len && std::strchr(t.c_str(), a.getdata()[any - 1])));
    any = a.lastIndexOfAnyOf(t.c_str(), n);
    require(any == 0 || (any <= len && std::strchr(t.c_str(), a.getdata()[any - 1])));
    TCString pat(t.c_str());
    unsigned occ = a.occurrencesOf(pat, n);
    require(t.empty() ? occ == 0 : occ * t.size() <= len);
    (void)a.includes(t.c_str());
    (void)a.wordIndexOfPhrase(pat, n);
    (void)a.isLike(t.c_str(), '*', '?');
    (void)a.isAbbreviationFor(t.c_str(), static_cast<int>(n & 0xff));
}

void wordsOf(TCString const& a, unsigned n)
{
    unsigned count = a.numWords();
    TCString w = a.word(n);
    require((n >= 1 && n <= count) == (w.length() > 0));
    for (unsigned i = 0; i < w.length(); ++i)
        require(!isSep(w.getdata()[i]));
    TCString rest = a.words(n);
    require(rest.length() <= a.length());
    if (w.length() > 0)
        require(std::strncmp(rest.getdata(), w.getdata(), w.length()) == 0);
    require(a.word(count + 1).length() == 0);
}

// Keeps texts small enough that repeated growth stays cheap.
void bound(TCString& s)
{
    if (s.length() > 65536)
        s = "";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
    if (size > 16384)
        return 0;
    Input in{data, size};
    TCString a, b("x y");
    int steps = 0;
    while (in.more() && ++steps < 200) {
        uint8_t op = in.byte();
        unsigned n = in.num();
        std::string t = in.text();
        char fill = t.empty() ? ' ' : t[0];
        unsigned width = n == 0xFFFFFFFFu ? 70000 : n;
        unsigned len = a.length();
        switch (op % 24) {
        case 0:
            a = t.c_str();
            require(a.length() == t.size());
            break;
        case 1:
            a += t.c_str();
            require(a.length() == len + t.size());
            break;
        case 2: a += b; break;
        case 3:
            b = a + t.c_str();
            require(b.length() == len + t.size());
            break;
        case 4: search(a, t, n); break;
        case 5: wordsOf(a, n); break;
        case 6:
            a.removeWords(static_cast<int>(n & 0xff), static_cast<int>(n >> 8));
            require(a.length() <= len);
            break;
        case 7:
            b = a.subString(n);
            require(b.length() <= len);
            break;
        case 8: {
            unsigned sublen = width > 4096 ? 4096 : width;
            b = a.subString(n & 0xff, sublen, fill);
            require(b.length() <= sublen);
            break;
        }
        case 9: {
            b = a.remove(n & 0xff, n >> 8);
            unsigned start = (n & 0xff) < 1 ? 1 : (n & 0xff);
            if (start > len)
                require(b == a);
            else
                require(b.length() == len - std::min<unsigned>(n >> 8, len - start + 1));
            break;
        }
        case 10: {
            std::string pat = t.substr(0, t.size() / 2), rep = t.substr(t.size() / 2);
            b = a;
            a.change(pat.c_str(), rep.c_str(), static_cast<int>(n & 0xff) - 8, n >> 8 ? n >> 8 : 0xFFFFFFFFu);
            TCString same = b;
            same.change(pat.c_str(), pat.c_str(), 1, 0xFFFFFFFFu);
            require(same == b);
            break;
        }
        case 11:
            a.strip();
            require(a.length() <= len);
            break;
        case 12: a.stripTrailing(fill); break;
        case 13: a.stripTrailing(t.c_str()); break;
        case 14:
            a.center(width, fill);
            require(a.length() == std::max(len, width));
            break;
        case 15:
            a.rightJustify(width, fill);
            require(a.length() == std::max(len, width));
            break;
        case 16:
            a.rightPad(width, fill);
            require(a.length() == std::max(len, width));
            break;
        case 17:
            a.lowerCase();
            require(a.length() == len);
            break;
        case 18:
            a.upperCase();
            require(a.length() == len);
            break;
        case 19: {
            (void)a.asInt();
            unsigned u = a.asUnsigned();
            if (len > 0 && a.isDigits()) {
                char hex[16];
                std::snprintf(hex, sizeof hex, "%X", u);
                a.d2x();
                require(a == hex);
            }
            break;
        }
        case 20: {
            // Writing past the end pads with blanks up to the position.
            unsigned pos = (n & 0xfff) + 1;
            a[pos] = fill ? fill : 'z';
            require(a.length() >= std::min(pos, len) && a.length() == std::max(pos, len) &&
                    a.getdata()[pos - 1] == (fill ? fill : 'z'));
            break;
        }
        case 21: {
            TCString c(t.c_str(), static_cast<unsigned>(t.size()), a.getdata(), len);
            require(c.length() == t.size() + len);
            break;
        }
        case 22: {
            TCString c(a);
            require(c == a && !(c < a) && c <= a && !(c != a));
            (void)(a < b);
            (void)(a > t.c_str());
            (void)(t.c_str() <= a);
            break;
        }
        default: std::swap(a, b); break;
        }
        bound(a);
        bound(b);
    }
    return 0;
}
