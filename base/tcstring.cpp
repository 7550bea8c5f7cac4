#include "base/tcstring.h"

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

char emptyText[] = "";

// A fresh heap array holding n bytes of src (src may be null when n is 0).
char* makeArray(char const* src, std::size_t n)
{
    char* a = new char[n + 1];
    if (n)
        std::memcpy(a, src, n);
    a[n] = '\0';
    return a;
}

inline bool isSep(unsigned char c)
{
    return c >= 1 && c <= 32;
}
inline bool isWordByte(unsigned char c)
{
    return c > 32;
}

// Words are runs of bytes above 32, parted by bytes 1 to 32.
// p moved over the separators: the start of the next word, or the end.
char const* skipSeparators(char const* p)
{
    while (*p && isSep(static_cast<unsigned char>(*p)))
        ++p;
    return p;
}

// Just behind the word that starts at p.
char const* skipWord(char const* p)
{
    while (isWordByte(static_cast<unsigned char>(*p)))
        ++p;
    return p;
}

// Byte-wise ordering with a null pointer counting as the empty string.
int cmpText(char const* a, char const* b)
{
    if (!a)
        a = emptyText;
    if (!b)
        b = emptyText;
    return std::strcmp(a, b);
}

// Offset (0-based) of the first byte of word n (1-based), or -1.
long wordOffset(char const* s, unsigned int n)
{
    if (n == 0)
        return -1;
    unsigned int count = 0;
    for (char const* p = skipSeparators(s); *p; p = skipSeparators(skipWord(p)))
        if (++count == n)
            return p - s;
    return -1;
}

// Leading white space and an optional sign, as the standard conversions
// accept them; returns the first digit's position.
char const* skipBlanksAndSign(char const* s, bool& neg)
{
    while (*s && std::isspace(static_cast<unsigned char>(*s)))
        ++s;
    neg = *s == '-';
    if (*s == '+' || *s == '-')
        ++s;
    return s;
}

// Reads decimal text the way a 32-bit string-to-unsigned-long would, so the
// result does not depend on the width of long.
uint32_t parseUnsigned32(char const* s)
{
    bool neg = false;
    s = skipBlanksAndSign(s, neg);
    uint64_t v = 0;
    bool over = false;
    while (*s >= '0' && *s <= '9') {
        if (!over) {
            v = v * 10 + static_cast<uint64_t>(*s - '0');
            if (v > 0xFFFFFFFFull)
                over = true;
        }
        ++s;
    }
    if (over)
        return 0xFFFFFFFFu;
    uint32_t r = static_cast<uint32_t>(v);
    return neg ? static_cast<uint32_t>(0u - r) : r;
}

} // namespace

// ---- construction, access, assignment ----

TCString::TCString() : data_(makeArray(nullptr, 0)) {}

TCString::TCString(TCString const& o) : data_(makeArray(o.data_, std::strlen(o.data_))) {}

TCString::TCString(char const* s) : data_(makeArray(s, s ? std::strlen(s) : 0)) {}

TCString::TCString(char c) : data_(makeArray(&c, c ? 1 : 0)) {}

TCString::TCString(int v) : data_(nullptr)
{
    char buf[16];
    int n = std::snprintf(buf, sizeof buf, "%d", v);
    data_ = makeArray(buf, static_cast<std::size_t>(n));
}

TCString::TCString(long v) : data_(nullptr)
{
    char buf[32];
    int n = std::snprintf(buf, sizeof buf, "%ld", v);
    data_ = makeArray(buf, static_cast<std::size_t>(n));
}

TCString::TCString(unsigned long v) : data_(nullptr)
{
    char buf[32];
    int n = std::snprintf(buf, sizeof buf, "%lu", v);
    data_ = makeArray(buf, static_cast<std::size_t>(n));
}

TCString::TCString(char const* a, unsigned int na, char const* b, unsigned int nb) : data_(nullptr)
{
    if (!a)
        na = 0;
    if (!b)
        nb = 0;
    std::size_t total = static_cast<std::size_t>(na) + nb;
    data_ = new char[total + 1];
    if (na)
        std::memcpy(data_, a, na);
    if (nb)
        std::memcpy(data_ + na, b, nb);
    data_[total] = '\0';
}

TCString::~TCString()
{
    delete[] data_;
    data_ = nullptr;
}

TCString::operator char*() const
{
    return data_;
}
TCString::operator unsigned char*() const
{
    return reinterpret_cast<unsigned char*>(data_);
}
char* TCString::getdata() const
{
    return data_;
}
unsigned int TCString::length() const
{
    return static_cast<unsigned int>(std::strlen(data_));
}
unsigned int TCString::size() const
{
    return length();
}

void TCString::setData(char const* s)
{
    char* a = makeArray(s, std::strlen(s));
    delete[] data_;
    data_ = a;
}

void TCString::setData(char const* s, int count, char fill)
{
    std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
    char* a = new char[n + 1];
    std::size_t i = 0;
    for (; i < n && s[i]; ++i)
        a[i] = s[i];
    for (; i < n; ++i)
        a[i] = fill;
    a[n] = '\0';
    delete[] data_;
    data_ = a;
}

char const& TCString::operator[](int pos) const
{
    return data_[pos < 1 ? 0 : pos - 1];
}

char const& TCString::operator[](unsigned int pos) const
{
    return data_[pos < 1 ? 0 : pos - 1];
}

char& TCString::operator[](unsigned int pos)
{
    if (pos < 1)
        pos = 1;
    unsigned int len = length();
    if (pos > len) {
        char* a = new char[static_cast<std::size_t>(pos) + 1];
        std::memcpy(a, data_, len);
        std::memset(a + len, ' ', pos - len);
        a[pos] = '\0';
        delete[] data_;
        data_ = a;
    }
    return data_[pos - 1];
}

char& TCString::operator[](int pos)
{
    return (*this)[static_cast<unsigned int>(pos < 1 ? 1 : pos)];
}

TCString& TCString::operator=(TCString const& o)
{
    if (std::strcmp(data_, o.data_) != 0) {
        char* a = makeArray(o.data_, std::strlen(o.data_));
        delete[] data_;
        data_ = a;
    }
    return *this;
}

TCString& TCString::operator+=(TCString const& o)
{
    return *this += static_cast<char const*>(o.data_);
}

TCString& TCString::operator+=(char const* s)
{
    if (!s || !*s)
        return *this;
    TCString t(data_, length(), s, static_cast<unsigned int>(std::strlen(s)));
    std::swap(data_, t.data_);
    return *this;
}

TCString& TCString::operator+=(char c)
{
    char s[2] = {c, '\0'};
    return *this += static_cast<char const*>(s);
}

TCString TCString::operator+(char const* s) const
{
    return TCString(data_, length(), s, s ? static_cast<unsigned int>(std::strlen(s)) : 0);
}

TCString TCString::operator+(TCString const& o) const
{
    return TCString(data_, length(), o.data_, o.length());
}

TCString operator+(char const* s, TCString const& t)
{
    return TCString(s, s ? static_cast<unsigned int>(std::strlen(s)) : 0, t.getdata(), t.length());
}

// ---- comparisons ----

bool operator==(TCString const& a, TCString const& b)
{
    return cmpText(a.getdata(), b.getdata()) == 0;
}
bool operator!=(TCString const& a, TCString const& b)
{
    return !(a == b);
}
bool operator==(TCString const& a, char const* b)
{
    return cmpText(a.getdata(), b) == 0;
}
bool operator!=(TCString const& a, char const* b)
{
    return !(a == b);
}
bool operator==(char const* a, TCString const& b)
{
    return cmpText(a, b.getdata()) == 0;
}
bool operator!=(char const* a, TCString const& b)
{
    return !(a == b);
}
bool operator==(TCString const& a, char* b)
{
    return a == static_cast<char const*>(b);
}
bool operator!=(TCString const& a, char* b)
{
    return !(a == b);
}
bool operator==(char* a, TCString const& b)
{
    return static_cast<char const*>(a) == b;
}
bool operator!=(char* a, TCString const& b)
{
    return !(a == b);
}

bool operator<(TCString const& a, TCString const& b)
{
    return cmpText(a.getdata(), b.getdata()) < 0;
}
bool operator<=(TCString const& a, TCString const& b)
{
    return cmpText(a.getdata(), b.getdata()) <= 0;
}
bool operator>(TCString const& a, TCString const& b)
{
    return cmpText(a.getdata(), b.getdata()) > 0;
}
bool operator>=(TCString const& a, TCString const& b)
{
    return cmpText(a.getdata(), b.getdata()) >= 0;
}

// A null plain string orders before every TCString, the empty one included.
bool operator<(TCString const& a, char const* b)
{
    return b && std::strcmp(a.getdata(), b) < 0;
}
bool operator<=(TCString const& a, char const* b)
{
    return b && std::strcmp(a.getdata(), b) <= 0;
}
bool operator>(TCString const& a, char const* b)
{
    return !b || std::strcmp(a.getdata(), b) > 0;
}
bool operator>=(TCString const& a, char const* b)
{
    return !b || std::strcmp(a.getdata(), b) >= 0;
}
bool operator<(char const* a, TCString const& b)
{
    return b > a;
}
bool operator<=(char const* a, TCString const& b)
{
    return b >= a;
}
bool operator>(char const* a, TCString const& b)
{
    return b < a;
}
bool operator>=(char const* a, TCString const& b)
{
    return b <= a;
}

// ---- searching ----

unsigned int TCString::indexOf(char const* pat, unsigned int start) const
{
    if (start < 1)
        start = 1;
    unsigned int len = length();
    std::size_t plen = std::strlen(pat);
    for (unsigned int off = start - 1; off < len; ++off)
        if (len - off >= plen && std::memcmp(data_ + off, pat, plen) == 0)
            return off + 1;
    return 0;
}

unsigned int TCString::indexOf(TCString const& pat, unsigned int start) const
{
    return indexOf(static_cast<char const*>(pat.data_), start);
}

unsigned int TCString::indexOf(char c, unsigned int start) const
{
    char s[2] = {c, '\0'};
    if (!c)
        return 0;
    return indexOf(static_cast<char const*>(s), start);
}

unsigned int TCString::lastIndexOf(char const* pat, unsigned int start) const
{
    unsigned int len = length();
    if (start == 0 || start == 0xFFFFFFFFu)
        start = len;
    std::size_t plen = std::strlen(pat);
    unsigned int found = 0;
    for (unsigned int off = 0; off < len; ++off) {
        if (len - off >= plen && std::memcmp(data_ + off, pat, plen) == 0) {
            if (off + 1 > start)
                break;
            found = off + 1;
        }
    }
    return found;
}

unsigned int TCString::lastIndexOf(TCString const& pat, unsigned int start) const
{
    return lastIndexOf(static_cast<char const*>(pat.data_), start);
}

unsigned int TCString::lastIndexOf(char c, unsigned int start) const
{
    if (!c)
        return 0;
    char s[2] = {c, '\0'};
    return lastIndexOf(static_cast<char const*>(s), start);
}

unsigned int TCString::indexOfAnyOf(char const* set, unsigned int start) const
{
    if (start < 1)
        start = 1;
    unsigned int len = length();
    for (unsigned int off = start - 1; off < len; ++off)
        if (std::strchr(set, data_[off]))
            return off + 1;
    return 0;
}

unsigned int TCString::lastIndexOfAnyOf(char const* set, unsigned int start) const
{
    unsigned int len = length();
    if (start > len)
        start = len;
    for (unsigned int pos = start; pos >= 1; --pos)
        if (std::strchr(set, data_[pos - 1]))
            return pos;
    return 0;
}

unsigned int TCString::occurrencesOf(TCString const& pat, unsigned int start) const
{
    unsigned int plen = pat.length();
    if (plen == 0)
        return 0; // an empty pattern would never advance
    unsigned int count = 0;
    unsigned int pos = indexOf(pat, start);
    while (pos) {
        ++count;
        pos = indexOf(pat, pos + plen);
    }
    return count;
}

unsigned int TCString::includes(char const* s) const
{
    return indexOf(s, 1);
}

unsigned int TCString::wordIndexOfPhrase(TCString const& phrase, unsigned int first) const
{
    std::size_t plen = std::strlen(phrase.data_);
    unsigned int n = 0;
    for (char const* p = skipSeparators(data_); *p; p = skipSeparators(skipWord(p)))
        if (++n >= first && std::strncmp(p, phrase.data_, plen) == 0)
            return n;
    return 0;
}

// ---- words ----

unsigned int TCString::numWords() const
{
    unsigned int n = 0;
    for (char const* p = skipSeparators(data_); *p; p = skipSeparators(skipWord(p)))
        ++n;
    return n;
}

TCString TCString::word(unsigned int n) const
{
    long off = wordOffset(data_, n);
    if (off < 0)
        return TCString();
    char const* b = data_ + off;
    return TCString(b, static_cast<unsigned int>(skipWord(b) - b), nullptr, 0);
}

TCString TCString::words(unsigned int n) const
{
    long off = wordOffset(data_, n);
    if (off < 0)
        return TCString();
    return TCString(data_ + off);
}

TCString& TCString::removeWords(int first, int count)
{
    if (first < 1 || count <= 0)
        return *this;
    long off = wordOffset(data_, static_cast<unsigned int>(first));
    if (off < 0)
        return *this;
    char const* p = data_ + off;
    for (int i = 0; i < count && *p; ++i)
        p = skipSeparators(skipWord(p));
    unsigned int n = static_cast<unsigned int>(p - (data_ + off));
    TCString r = remove(static_cast<unsigned int>(off) + 1, n);
    std::swap(data_, r.data_);
    return *this;
}

// ---- substrings and editing ----

TCString TCString::subString(unsigned int start) const
{
    if (start < 1)
        start = 1;
    if (start > length())
        return TCString();
    return TCString(data_ + start - 1);
}

TCString TCString::subString(unsigned int start, unsigned int len, char fill) const
{
    if (start < 1)
        start = 1;
    unsigned int tl = length();
    char const* src = start <= tl ? data_ + start - 1 : emptyText;
    TCString r;
    r.setData(src, static_cast<int>(len), fill);
    return r;
}

TCString TCString::remove(unsigned int start, unsigned int count) const
{
    return remove(*this, start, count);
}

TCString TCString::remove(TCString const& s, unsigned int start, unsigned int count)
{
    if (start < 1)
        start = 1;
    unsigned int len = s.length();
    if (start > len)
        return s;
    unsigned int head = start - 1;
    unsigned int avail = len - head;
    if (count >= avail)
        return TCString(s.data_, head, nullptr, 0);
    return TCString(s.data_, head, s.data_ + head + count, avail - count);
}

// The text before the start position is kept as it is.  The result grows as
// needed rather than living in a fixed area, so a long list is never cut.
TCString& TCString::change(char const* pat, char const* rep, int start, unsigned int count)
{
    unsigned int len = length();
    if (static_cast<unsigned int>(start) > len || count == 0)
        return *this;
    std::size_t plen = std::strlen(pat);
    if (plen == 0)
        return *this;
    if (start < 1)
        start = 1;
    std::string out(data_, static_cast<std::size_t>(start - 1));
    std::size_t rlen = rep ? std::strlen(rep) : 0;
    std::size_t i = static_cast<std::size_t>(start - 1);
    while (i < len) {
        if (count && len - i >= plen && std::memcmp(data_ + i, pat, plen) == 0) {
            out.append(rep ? rep : "", rlen);
            i += plen;
            if (count != 0xFFFFFFFFu)
                --count;
        } else {
            out.push_back(data_[i++]);
        }
    }
    char* a = makeArray(out.data(), out.size());
    delete[] data_;
    data_ = a;
    return *this;
}

TCString TCString::change(char const* text, char const* pat, char const* rep, int start, unsigned int count)
{
    TCString r(text);
    r.change(pat, rep, start, count);
    return r;
}

TCString& TCString::strip()
{
    unsigned char* b = reinterpret_cast<unsigned char*>(data_);
    while (*b && isSep(*b))
        ++b;
    std::size_t n = std::strlen(reinterpret_cast<char*>(b));
    while (n > 0 && isSep(b[n - 1]))
        --n;
    std::memmove(data_, b, n);
    data_[n] = '\0';
    return *this;
}

TCString& TCString::stripBlanks()
{
    return strip();
}

TCString TCString::stripBlanks(char const* s)
{
    TCString r(s);
    r.strip();
    return r;
}

TCString& TCString::stripTrailing(char c)
{
    if (!c)
        return *this;
    std::size_t n = std::strlen(data_);
    while (n > 0 && data_[n - 1] == c)
        --n;
    data_[n] = '\0';
    return *this;
}

TCString& TCString::stripTrailing(char const* set)
{
    std::size_t n = std::strlen(data_);
    while (n > 0 && std::strchr(set, data_[n - 1]))
        --n;
    data_[n] = '\0';
    return *this;
}

TCString& TCString::center(unsigned int width, char fill)
{
    long long d = static_cast<long long>(width) - length();
    if (d <= 0)
        return *this;
    unsigned int left = static_cast<unsigned int>(d / 2);
    unsigned int right = static_cast<unsigned int>(d) - left;
    std::string out(left, fill);
    out += data_;
    out.append(right, fill);
    char* a = makeArray(out.data(), out.size());
    delete[] data_;
    data_ = a;
    return *this;
}

TCString& TCString::rightJustify(unsigned int width, char fill)
{
    unsigned int len = length();
    if (len >= width)
        return *this;
    std::string out(width - len, fill);
    out += data_;
    char* a = makeArray(out.data(), out.size());
    delete[] data_;
    data_ = a;
    return *this;
}

TCString TCString::rightJustify(TCString const& s, unsigned int width, char fill)
{
    TCString r(s);
    r.rightJustify(width, fill);
    return r;
}

TCString& TCString::leftPad(unsigned int width, char fill)
{
    return rightJustify(width, fill);
}

TCString& TCString::rightPad(unsigned int width, char fill)
{
    unsigned int len = length();
    if (len >= width)
        return *this;
    std::string out(data_);
    out.append(width - len, fill);
    char* a = makeArray(out.data(), out.size());
    delete[] data_;
    data_ = a;
    return *this;
}

// Kept identical to rightJustify: fill goes in front of a short text.
TCString& TCString::leftJustify(unsigned int width, char fill)
{
    return rightJustify(width, fill);
}

TCString& TCString::lowerCase()
{
    for (char* p = data_; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (std::isupper(c))
            *p = static_cast<char>(std::tolower(c));
    }
    return *this;
}

TCString& TCString::upperCase()
{
    for (char* p = data_; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (std::islower(c))
            *p = static_cast<char>(std::toupper(c));
    }
    return *this;
}

TCString TCString::upperCase(TCString const& s)
{
    TCString r(s);
    r.upperCase();
    return r;
}

// ---- conversion and tests ----

int TCString::asInt() const
{
    char const* s = data_;
    bool neg = false;
    s = skipBlanksAndSign(s, neg);
    int64_t v = 0;
    while (*s >= '0' && *s <= '9') {
        if (v <= static_cast<int64_t>(INT32_MAX) + 1)
            v = v * 10 + (*s - '0');
        ++s;
    }
    if (neg)
        v = -v;
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return static_cast<int>(v);
}

unsigned int TCString::asUnsigned() const
{
    return parseUnsigned32(data_);
}

bool TCString::isDigits() const
{
    for (char const* p = data_; *p; ++p)
        if (*p < '0' || *p > '9')
            return false;
    return true;
}

TCString& TCString::d2x()
{
    if (!*data_ || !isDigits())
        return *this;
    uint32_t v = parseUnsigned32(data_);
    static char const hex[] = "0123456789ABCDEF";
    char tmp[9];
    int n = 0;
    do {
        tmp[n++] = hex[v & 0xF];
        v >>= 4;
    } while (v);
    for (int i = 0; i < n; ++i)
        data_[i] = tmp[n - 1 - i];
    data_[n] = '\0';
    return *this;
}

bool TCString::isLike(char const* pat, unsigned int plen, char anyStr, char anyChar) const
{
    if (std::strcmp(data_, pat) == 0)
        return true;
    unsigned int tlen = length();
    unsigned int t = 0, p = 0, r = 0;
    while (p < plen) {
        char c = pat[p++];
        if (c == anyStr) {
            if (p >= plen)
                return true;
            r = p;
            continue;
        }
        if (t >= tlen)
            return false;
        char x = data_[t++];
        bool backtrack;
        if (c == anyChar || c == x)
            backtrack = r && p >= plen && t < tlen;
        else if (!r)
            return false;
        else
            backtrack = true;
        if (backtrack) {
            t -= p - r - 1;
            p = r;
        }
    }
    return t >= tlen;
}

bool TCString::isLike(char const* pat, char anyStr, char anyChar) const
{
    return isLike(pat, static_cast<unsigned int>(std::strlen(pat)), anyStr, anyChar);
}

bool TCString::isAbbreviationFor(char const* full, int minLen) const
{
    unsigned int len = length();
    if (minLen > 0 && len < static_cast<unsigned int>(minLen))
        return false;
    return std::strncmp(full, data_, len) == 0;
}
